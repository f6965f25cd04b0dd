#pragma once

#include "sessions/Door.h"
#include "sessions/Script.h"
#include "slotmachine/VirtualTime.h"

#include <QString>

#include <functional>
#include <optional>

namespace sm {

// A script played on the door's machine as its clock goes, not all at once: each call runs script
// and machine on to a given moment, or to the next event. The player's and log commands go in
// through the door, as a user's would. The moments are the replay's: a command runs at the moment
// the one before it ended, a wait ends where it began plus its milliseconds, and a settle ends
// with the stop or pay-out timer after which none runs.
class TPlayback {
public:
    TPlayback(TCommandList Commands, TInputDoor& Door);

    // Runs the script and the machine on to the moment Until; the commands due by then are
    // taken, every timer due by then fires. Stops at a command that cannot be taken.
    // A stop asked for ends it before the next command or time goes on: a breakpoint was hit.
    void RunTo(int64_t Until, const std::function<bool()>& Stop = {});
    // Runs the script to its end at once, the machine with it: to the moment its last command
    // ends, or to a command that cannot be taken, or to a stop asked for.
    void RunToEnd(const std::function<bool()>& Stop = {});
    // Runs on to the next moment at which an automaton receives an event, the script's action or
    // the machine's stop or pay-out timer, whichever comes first, and stops after it; spin ticks
    // pass on the way. False when nothing is ahead (the script has ended and no such timer runs,
    // or a command could not be taken).
    bool Step();

    // When the wait the script stands at ends, once it has begun.
    std::optional<int64_t> WaitEnd() const { return Finished() ? std::nullopt : FWaitEnd; }
    bool Finished() const { return !(FAt != FEnd) || FError.has_value(); }
    // The command that could not be taken, with why.
    const std::optional<TScriptError>& Error() const { return FError; }

private:
    // What the command at hand needs before the next one can run.
    enum class TNeed { Nothing, Time, Failed };
    // Takes the command at hand as far as the moment Until allows.
    TNeed Run(TVirtualTime& Time, int64_t Until);
    void Fail(const QString& Why);
    void Next();
    // When the wait at hand ends: where it began, when first reached, plus its milliseconds.
    int64_t WaitFrom(const TVirtualTime& Time, const TCommand& Wait);
    // True, the playback failed, when settling would never end.
    bool CannotSettle(const TVirtualTime& Time);
    // The command taken, or the playback failed with why not.
    bool Took(const TCommand& Command);

    TCommandList FCommands;
    TCommandList::TIterator FAt;
    TCommandList::TIterator FEnd;
    TInputDoor& FDoor;
    std::optional<int64_t> FWaitEnd; // the wait at hand ends then
    std::optional<TScriptError> FError;
};

} // namespace sm
