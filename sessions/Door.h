#pragma once

#include "sessions/PlayerActions.h"
#include "sessions/Script.h"
#include "sessions/SessionRecorder.h"
#include "slotmachine/VirtualTime.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <utility>

namespace sm {

// The one way in for what a user does: a click, a key, a check list's tick and a played command
// all pass here. The door checks that the window could take the input now, takes it into the
// machine at the present moment of its virtual time and records it at that moment.
class TInputDoor {
public:
    // Told after every input taken: a driver that paces the machine plans its next frame.
    using TTaken = std::function<void()>;

    explicit TInputDoor(TVirtualTime& Time, TTaken Taken = {});

    TVirtualTime& Time() { return FTime; }
    // Where the inputs are written down from now on; none, nothing is.
    void Record(TSessionRecorder* Recorder) { FRecorder = Recorder; }

    // Empty, or why the window could not take the action now: then nothing happens.
    QString Take(TPlayerAction Action);
    // An automaton's switches as a check list shows them ticked; the items that changed are
    // recorded.
    void SetSwitches(int32_t Automaton, const TLogSwitches& Switches);
    // One switch turned as a click on its tick would; a switch already as asked needs none.
    void Turn(int32_t Automaton, TLogItem Item, bool On);
    // A player's or log command of a script; empty, or why it could not be taken. Waits and
    // settles are the driver's.
    QString Take(const TCommand& Command);

private:
    template <class TInput> void Do(TInput&& Input) {
        FTime.Do(std::forward<TInput>(Input));
        if (FTaken)
            FTaken();
    }

    TVirtualTime& FTime;
    TTaken FTaken;
    TSessionRecorder* FRecorder = nullptr;
};

} // namespace sm
