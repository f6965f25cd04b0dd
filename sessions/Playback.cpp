#include "sessions/Playback.h"

#include "sessions/Session.h"

#include <limits>
#include <utility>

namespace sm {

TPlayback::TPlayback(TCommandList Commands, TInputDoor& Door)
    : FCommands(std::move(Commands)), FAt(FCommands.begin()), FEnd(FCommands.end()), FDoor(Door) {}

void TPlayback::Fail(const QString& Why) {
    FError = TScriptError{(*FAt).Line, 0, Why};
}

void TPlayback::Next() {
    ++FAt;
    FWaitEnd.reset();
}

int64_t TPlayback::WaitFrom(const TVirtualTime& Time, const TCommand& Wait) {
    if (!FWaitEnd)
        FWaitEnd = Time.Now() + Wait.Milliseconds;
    return *FWaitEnd;
}

bool TPlayback::CannotSettle(const TVirtualTime& Time) {
    QString Never = WhyNotSettle(Time.Machine());
    if (!Never.isEmpty())
        Fail(Never);
    return !Never.isEmpty();
}

bool TPlayback::Took(const TCommand& Command) {
    QString Refused = FDoor.Take(Command);
    if (!Refused.isEmpty())
        Fail(Refused);
    return Refused.isEmpty();
}

TPlayback::TNeed TPlayback::Run(TVirtualTime& Time, int64_t Until) {
    const TCommand Command = *FAt;
    switch (Command.Kind) {
    case TCommandKind::Wait: {
        const int64_t End = WaitFrom(Time, Command);
        if (End > Until)
            return TNeed::Time;
        Time.Advance(End - Time.Now());
        return TNeed::Nothing;
    }
    case TCommandKind::Settle:
        if (CannotSettle(Time))
            return TNeed::Failed;
        while (!Settled(Time.Machine())) {
            const auto Event = Time.NextEvent();
            if (!Event || *Time.Due(*Event) > Until)
                return TNeed::Time;
            Time.FireNextEvent();
        }
        return TNeed::Nothing;
    case TCommandKind::Show:
        return TNeed::Nothing;
    case TCommandKind::Player:
    case TCommandKind::Log:
        break;
    }
    return Took(Command) ? TNeed::Nothing : TNeed::Failed;
}

void TPlayback::RunTo(int64_t Until, const std::function<bool()>& Stop) {
    TVirtualTime& Time = FDoor.Time();
    const auto Stopped = [&Stop] { return Stop && Stop(); };
    while (!Finished() && !Stopped()) {
        const TNeed Need = Run(Time, Until);
        if (Need != TNeed::Nothing)
            break;
        Next();
    }
    if (Stopped())
        return;
    if (Until > Time.Now())
        Time.Advance(Until - Time.Now());
}

void TPlayback::RunToEnd(const std::function<bool()>& Stop) {
    TVirtualTime& Time = FDoor.Time();
    // No moment is too late: only the end of a wait or a timer moves the time.
    while (!Finished() && !(Stop && Stop()) &&
           Run(Time, std::numeric_limits<int64_t>::max()) == TNeed::Nothing)
        Next();
}

bool TPlayback::Step() {
    TVirtualTime& Time = FDoor.Time();
    while (!Finished()) {
        const TCommand Command = *FAt;
        switch (Command.Kind) {
        case TCommandKind::Wait: {
            const int64_t End = WaitFrom(Time, Command);
            // A timer due when the wait ends fires before the command after it.
            const auto Event = Time.NextEvent();
            if (Event && *Time.Due(*Event) <= End)
                return Time.FireNextEvent();
            Time.Advance(End - Time.Now());
            break;
        }
        case TCommandKind::Settle:
            if (CannotSettle(Time))
                return false;
            if (!Settled(Time.Machine()))
                return Time.FireNextEvent();
            break;
        case TCommandKind::Show:
            break;
        case TCommandKind::Player:
        case TCommandKind::Log:
            if (!Took(Command))
                return false;
            // A switch is no event: the step goes on to one.
            if (Command.Kind == TCommandKind::Player) {
                Next();
                return true;
            }
            break;
        }
        Next();
    }
    return !FError && Time.FireNextEvent();
}

} // namespace sm
