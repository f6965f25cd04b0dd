#pragma once

#include "sessions/Coverage.h"
#include "sessions/SessionRecorder.h"
#include "sessions/StepRecord.h"
#include "slotmachine/VirtualTime.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace sm {

// One moment of a session: an input (a player's action or a stop or pay-out timer) that set off
// automata's events, all handled in one millisecond. Moment 0 is where the session began.
struct THistoryMoment {
    int64_t Ms = 0;         // the machine's milliseconds since start-up
    int32_t Place = 0;      // events received earlier in the same millisecond
    int32_t Events = 0;     // events the input set off, its own included
    size_t Messages = 0;    // protocol messages written up to and including this moment
    size_t Commands = 0;    // commands recorded up to and including its input
    TStepSender Sender;     // what set it off; none for the start
    int32_t Automaton = -1; // who received the input's own event, and which
    int32_t Event = -1;
};

// The whole session of one machine: the moments it went through, and snapshots taken as it went,
// so that any moment can be rebuilt from the nearest earlier snapshot by re-running the
// recorder's commands in virtual time. Past a bound every other snapshot is dropped; the commands
// and moments never are. It listens to the machine of the given time while it lives.
class THistory final : private TStepListener {
public:
    static constexpr size_t FirstSnapshotEvery = 16;    // moments
    static constexpr size_t DefaultMaxSnapshots = 4096; // some 2 MB

    // From the machine as it stands now; the recorder writes down the commands it is given.
    THistory(TVirtualTime& Time, const TSessionRecorder& Recorder,
             size_t MaxSnapshots = DefaultMaxSnapshots);
    ~THistory() override;
    THistory(const THistory&) = delete;
    THistory& operator=(const THistory&) = delete;

    size_t Count() const { return FMoments.size(); }
    size_t Latest() const { return FMoments.size() - 1; }
    const THistoryMoment& Moment(size_t Index) const { return FMoments.at(Index); }
    const std::vector<THistoryMoment>& Moments() const { return FMoments; }

    // The machine just after the input of moment Index (at start-up for 0), with no sink and no
    // listener of its own.
    TVirtualTime Rebuild(size_t Index) const;
    // The latest moment, the commands recorded after it taken and time run on to Until.
    TVirtualTime RebuildEnd(int64_t Until) const;
    // How often the session took each row and entered each state from start-up to moment Index,
    // counted on a run of its own: what a fork keeps.
    TCoverageCounts CountsTo(size_t Index) const;

    // The last moment the machine has passed.
    size_t Present() const { return FPresent; }
    // The machine now stands at moment Index and re-runs what follows: nothing is recorded until
    // it runs past the latest moment, and then Recording is told, before that input writes.
    void Rewind(size_t Index);
    bool Replaying() const { return FReplaying; }
    std::function<void()> Recording;
    // Forgets what followed moment Index and records again from there on.
    void DropAfter(size_t Index);

    // The moment that wrote the protocol message Message (from 0); the latest past the end.
    size_t MomentOfMessage(size_t Message) const;
    // The moment nearest to the millisecond Ms, the earlier one of two as near.
    size_t MomentNear(int64_t Ms) const;
    // Bytes held for going back: moments, snapshots, the start and the recorded commands.
    size_t Bytes() const;
    size_t Snapshots() const { return FSnapshots.size(); }

private:
    struct TSnapshot {
        size_t Moment;
        TVirtualTime::TState State;
    };

    void EventReceived(const TAutomaton& Automaton, int32_t Event) override;
    void EventHandled(const TAutomaton&, int32_t) override {}
    void StepTaken(const TStep&) override {}
    void Message(const std::string& Text) override;
    void InputHandled() noexcept override;
    void Keep();
    // Runs the machine on from moment From to moment To along the recorded commands.
    void RunOn(TVirtualTime& Time, size_t From, size_t To) const;

    TVirtualTime& FTime;
    const TSessionRecorder& FRecorder;
    TVirtualTime FStart;
    std::vector<THistoryMoment> FMoments;
    std::vector<TSnapshot> FSnapshots;
    size_t FMaxSnapshots;
    size_t FSnapshotEvery = FirstSnapshotEvery;
    size_t FPresent = 0;
    bool FReplaying = false;
    size_t FMessages = 0;
    THistoryMoment FInput; // the input being handled
};

} // namespace sm
