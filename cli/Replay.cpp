#include "cli/Replay.h"

#include "cli/Streams.h"
#include "slotmachine/Protocol.h"

#include <QTimeZone>

#include <exception>
#include <string>

namespace sm {

namespace {

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

} // namespace

QDateTime TReplayOptions::DefaultStart() {
    return {QDate(2000, 1, 1), QTime(0, 0), QTimeZone::utc()};
}

QDateTime TReplayOptions::StartOf(const TScript& Script) const {
    return Start.value_or(Script.Start.value_or(DefaultStart()));
}

TReplayOutcome Replay(const TScript& Script, const TReplayOptions& Options, std::ostream& Out) {
    return Replay(Script, Options, Out, TMachine());
}

TReplayOutcome Replay(const TScript& Script, const TReplayOptions& Options, std::ostream& Out,
                      const TMachine& StartUp) {
    TSession Session(StartUp, Script.Seed);
    TStreamLines Lines(Out);
    TVirtualStamp Stamp(Options.StartOf(Script), Options.Locale, Session.Time());
    TProtocolWriter Writer(Lines, [&Stamp] { return Stamp.Now(); });
    Session.Machine().SetSink(&Writer);
    std::optional<TCoverage> Coverage;
    if (Options.Coverage)
        Coverage.emplace(Session.Machine());
    TReplayOutcome Outcome;
    for (const TCommand& Command : Script.Commands) {
        try {
            if (Command.Kind == TCommandKind::Show) {
                Lines.AppendRaw(Session.ShowLine() + u'\n');
            } else if (QString Refused = Session.Run(Command); !Refused.isEmpty()) {
                Outcome = {ExitRefused, Command.Line, std::move(Refused), {}};
                break;
            }
            // A reader that went away ends the replay at once, not after the whole script.
            if (Lines.WriteError() != 0) {
                Outcome.Line = Command.Line;
                break;
            }
        } catch (const std::exception& Error) {
            Outcome = {ExitFault,
                       Command.Line,
                       QStringLiteral("машина выбросила исключение: %1")
                           .arg(QString::fromUtf8(Error.what())),
                       {}};
            break;
        }
    }
    Session.Machine().SetSink(nullptr);
    if (!Lines.Flush())
        Outcome = {ExitOutput,
                   Outcome.Line,
                   QStringLiteral("не удаётся записать протокол в стандартный вывод: %1")
                       .arg(SystemReason(Lines.WriteError())),
                   {}};
    if (Coverage)
        Outcome.Coverage = Coverage->Counts();
    return Outcome;
}

} // namespace sm
