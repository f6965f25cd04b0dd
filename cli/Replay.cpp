#include "cli/Replay.h"

#include "cli/Streams.h"
#include "slotmachine/Protocol.h"
#include "slotmachine/Rules.h"

#include <QTimeZone>

#include <exception>
#include <string>

namespace {

// More stop and pay-out timers than any session can need: a machine that never comes to rest
// ends the settling instead of the replay hanging.
constexpr int64_t SettleLimit = 1'000'000;

// Protocol lines as UTF-8 into a stream, in large writes.
class TStreamLines final : public TLineSink {
public:
    explicit TStreamLines(std::ostream& Out) : FOut(Out) {}
    ~TStreamLines() override = default;
    TStreamLines(const TStreamLines&) = delete;
    TStreamLines& operator=(const TStreamLines&) = delete;

    void AppendLine(const QString& Line) override {
        // The same stamp comes for every message of a second: encoded once.
        if (Line.isEmpty()) {
            FBuffer += '\n';
        } else if (Line == FLastStamp) {
            FBuffer += FLastStampBytes;
        } else {
            const QByteArray Bytes = Line.toUtf8();
            FBuffer.append(Bytes.constData(), static_cast<size_t>(Bytes.size()));
            FBuffer += '\n';
            if (Line.endsWith(u':')) {
                FLastStamp = Line;
                FLastStampBytes.assign(Bytes.constData(), static_cast<size_t>(Bytes.size()));
                FLastStampBytes += '\n';
            }
        }
        FlushWhenFull();
    }
    void AppendRaw(const QString& Text) {
        const QByteArray Bytes = Text.toUtf8();
        FBuffer.append(Bytes.constData(), static_cast<size_t>(Bytes.size()));
        FlushWhenFull();
    }
    // False once a write has failed: nothing more is written.
    bool Flush() {
        if (FWriteError == 0)
            FWriteError = WriteBytes(FOut, FBuffer.data(), FBuffer.size());
        FBuffer.clear();
        return FWriteError == 0;
    }
    int WriteError() const { return FWriteError; }

private:
    void FlushWhenFull() {
        if (FBuffer.size() >= 1 << 20)
            Flush();
    }

    std::ostream& FOut;
    int FWriteError = 0;
    std::string FBuffer;
    QString FLastStamp;
    std::string FLastStampBytes;
};

// The stamp of the present virtual moment, composed once per second.
class TVirtualStamp {
public:
    TVirtualStamp(const TReplayOptions& Options, const TVirtualTime& Time)
        : FStart(Options.Start), FLocale(Options.Locale), FTime(Time) {}

    QString Now() {
        const int64_t Second = FTime.Now() / 1000;
        if (Second != FSecond || FStamp.isEmpty()) {
            FStamp = Stamp(FLocale, FStart.addMSecs(FTime.Now()));
            FSecond = Second;
        }
        return FStamp;
    }

private:
    QDateTime FStart;
    QLocale FLocale;
    const TVirtualTime& FTime;
    int64_t FSecond = -1;
    QString FStamp;
};

bool Running(const TMachine& Machine, TTimerId Timer) {
    return Machine.Interval(Timer) != 0;
}

} // namespace

QDateTime TReplayOptions::DefaultStart() {
    return {QDate(2000, 1, 1), QTime(0, 0), QTimeZone::utc()};
}

TSession::TSession(const TMachine& StartUp, uint32_t Seed) : FTime(StartUp) {
    Machine().Seed(Seed);
}

QString TSession::Run(const TCommand& Command) {
    const TDisplays& Shown = Machine().Displays();
    switch (Command.Kind) {
    case TCommandKind::Player:
        if (QString Refused = WhyNot(Shown, Command.Action); !Refused.isEmpty())
            return Refused;
        FTime.Do([&Command](TMachine& M) { Take(M, Command.Action); });
        break;
    case TCommandKind::Log:
        // A user's click turns a tick over; a tick already as asked needs no click.
        if (Machine().LogSwitches(Command.Automaton)[static_cast<size_t>(Command.Item)] !=
            Command.On)
            FTime.Do([&Command](TMachine& M) {
                M.SetLogSwitch(Command.Automaton, Command.Item, Command.On);
            });
        break;
    case TCommandKind::Wait:
        FTime.Advance(Command.Milliseconds);
        break;
    case TCommandKind::Settle:
        return Settle();
    case TCommandKind::Show:
        break;
    }
    return {};
}

QString TSession::Settle() {
    const TMachine& M = Machine();
    const auto StopArmed = [&M] {
        return Running(M, TimerB1) || Running(M, TimerB2) || Running(M, TimerB3);
    };
    const bool Spinning =
        Running(M, TimerSync1) || Running(M, TimerSync2) || Running(M, TimerSync3);
    if (Spinning && !StopArmed())
        return QStringLiteral("барабаны крутятся, а таймер остановки не взведён: они крутились "
                              "бы вечно (остановку взводит «Игра»)");
    for (int64_t Events = 0; StopArmed() || Running(M, JackTimer); ++Events) {
        if (Events == SettleLimit)
            return QStringLiteral("машина не приходит в покой: сработало %1 таймеров остановки "
                                  "и выдачи")
                .arg(SettleLimit);
        FTime.FireNextEvent();
    }
    return {};
}

QString TSession::ShowLine() const {
    const TMachine& M = Machine();
    const TDisplays& Shown = M.Displays();
    return QStringLiteral("=== bank=%1 stake=%2 win=%3 player=%4 slot=%5 barrels=%6,%7,%8 "
                          "A0=%9 A1=%10 A2=%11")
        .arg(Shown.edBank)
        .arg(Shown.edStake)
        .arg(Shown.edJackPot)
        .arg(Shown.edUser)
        .arg(Shown.Shape1 == TBrushStyle::bsSolid ? QStringLiteral("open")
                                                  : QStringLiteral("closed"))
        .arg(SymbolOfFrame(Shown.Barrels[0]))
        .arg(SymbolOfFrame(Shown.Barrels[1]))
        .arg(SymbolOfFrame(Shown.Barrels[2]))
        .arg(M.State(A0))
        .arg(M.State(A1))
        .arg(M.State(A2));
}

TReplayOutcome Replay(const TScript& Script, const TReplayOptions& Options, std::ostream& Out) {
    return Replay(Script, Options, Out, TMachine());
}

TReplayOutcome Replay(const TScript& Script, const TReplayOptions& Options, std::ostream& Out,
                      const TMachine& StartUp) {
    TSession Session(StartUp, Script.Seed);
    TStreamLines Lines(Out);
    TVirtualStamp Stamp(Options, Session.Time());
    TProtocolWriter Writer(Lines, [&Stamp] { return Stamp.Now(); });
    Session.Machine().SetSink(&Writer);
    TReplayOutcome Outcome;
    for (const TCommand& Command : Script.Commands) {
        try {
            if (Command.Kind == TCommandKind::Show) {
                Lines.AppendRaw(Session.ShowLine() + u'\n');
            } else if (QString Refused = Session.Run(Command); !Refused.isEmpty()) {
                Outcome = {ExitRefused, Command.Line, std::move(Refused)};
                break;
            }
            // A reader that went away ends the replay at once, not after the whole script.
            if (Lines.WriteError() != 0) {
                Outcome.Line = Command.Line;
                break;
            }
        } catch (const std::exception& Error) {
            Outcome = {ExitFault, Command.Line,
                       QStringLiteral("машина выбросила исключение: %1")
                           .arg(QString::fromUtf8(Error.what()))};
            break;
        }
    }
    Session.Machine().SetSink(nullptr);
    if (!Lines.Flush())
        Outcome = {ExitOutput, Outcome.Line,
                   QStringLiteral("не удаётся записать протокол в стандартный вывод: %1")
                       .arg(SystemReason(Lines.WriteError()))};
    return Outcome;
}
