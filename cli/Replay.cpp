#include "cli/Replay.h"

#include "cli/Streams.h"
#include "sessions/Breakpoints.h"
#include "slotmachine/Protocol.h"

#include <QTimeZone>

#include <exception>
#include <string>

namespace sm {

namespace {

// Protocol lines as UTF-8 into a stream, in large writes.
class TStreamLines final : public TLineSink, public TBufferedOut {
public:
    explicit TStreamLines(std::ostream& Out) : TBufferedOut(Out) {}

    void AppendLine(const QString& Line) override {
        std::string& Bytes = Buffer();
        // The same stamp comes for every message of a second: encoded once.
        if (Line.isEmpty()) {
            Bytes += '\n';
        } else if (Line == FLastStamp) {
            Bytes += FLastStampBytes;
        } else {
            const QByteArray Encoded = Line.toUtf8();
            Bytes.append(Encoded.constData(), static_cast<size_t>(Encoded.size()));
            Bytes += '\n';
            if (Line.endsWith(u':')) {
                FLastStamp = Line;
                FLastStampBytes.assign(Encoded.constData(), static_cast<size_t>(Encoded.size()));
                FLastStampBytes += '\n';
            }
        }
        FlushWhenFull();
    }
    void AppendRaw(const QString& Text) {
        const QByteArray Encoded = Text.toUtf8();
        Buffer().append(Encoded.constData(), static_cast<size_t>(Encoded.size()));
        FlushWhenFull();
    }

private:
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
    TBreakpoints Breakpoints(Session.Machine());
    Breakpoints.List() = Script.Breakpoints;
    bool Stopped = false;
    Breakpoints.OnHit = [&](const std::vector<size_t>& Hit) {
        if (Stopped)
            return;
        for (const size_t Index : Hit)
            Lines.AppendRaw(QStringLiteral("=== break %1\n%2\n")
                                .arg(Breakpoints.List()[Index].Text, Session.ShowLine()));
        if (!Options.StopAtBreak)
            return;
        // The rest of the command still runs in virtual time, but shows nothing.
        Stopped = true;
        Session.Machine().SetSink(nullptr);
        // The counts have not yet taken this input's steps: its observers are told after.
        if (Coverage) {
            Outcome.Coverage = Coverage->Counts();
            for (const TStep& Step : Session.Machine().Steps())
                CountStep(*Outcome.Coverage, Step);
        }
    };
    for (const TCommand& Command : Script.Commands) {
        try {
            if (Command.Kind == TCommandKind::Show) {
                Lines.AppendRaw(Session.ShowLine() + u'\n');
            } else if (QString Refused = Session.Run(Command); !Refused.isEmpty()) {
                Outcome = {ExitRefused, Command.Line, std::move(Refused), {}};
                break;
            }
            // A reader that went away ends the replay at once, not after the whole script.
            if (Lines.WriteError() != 0 || Stopped) {
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
    if (Coverage && !Outcome.Coverage)
        Outcome.Coverage = Coverage->Counts();
    return Outcome;
}

} // namespace sm
