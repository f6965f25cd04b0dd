#pragma once

#include "sessions/PlayerActions.h"
#include "slotmachine/VirtualTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sm {

// Who sent an event: the player by an action, a timer, or an automaton whose transition or entry
// action sent it. Unknown only for an event delivered outside any input (a test's direct call).
struct TStepSender {
    enum class TKind : uint8_t { Unknown, Player, Timer, Automaton };
    TKind Kind = TKind::Unknown;
    TPlayerAction Action = TPlayerAction::Coin; // with Player
    TTimerId Timer = TimerCount;                // with Timer
    int32_t Automaton = -1;                     // with Automaton
    bool operator==(const TStepSender&) const = default;
};

// "player", "TimerB1", "A0"; empty when unknown.
std::string SenderName(const TStepSender& Sender);

// One event one automaton received, as the record keeps it.
struct TRecordedStep {
    int64_t Moment = 0; // the machine's milliseconds since start-up
    int32_t Automaton = 0;
    int32_t Event = 0;
    int32_t From = 0;       // the state it came in
    int32_t To = 0;         // the state when it had handled the event, entry actions included
    std::optional<int> Row; // the row of its table taken, counted from 0
    TStepSender Sender;
    int Depth = 0; // 0 for the input's own event, 1 for one sent while handling it, ...
    // How many of the steps nested in this one came before its row's change of state; the rest
    // were sent by entry actions.
    size_t SentBeforeChange = 0;
    // The protocol messages this step itself wrote, as the switches let them; those of the steps
    // nested in it belong to those.
    std::vector<std::string> Messages;
};

// One record of a session's steps, in the order the events were received, built from the
// machine's own notices. It attaches itself to the machine of the given time while it lives; with
// no record attached the machine pays only for a test of a null pointer.
class TStepRecord final : private TStepListener {
public:
    explicit TStepRecord(TVirtualTime& Time);
    ~TStepRecord() override;
    TStepRecord(const TStepRecord&) = delete;
    TStepRecord& operator=(const TStepRecord&) = delete;

    const std::vector<TRecordedStep>& Steps() const { return FSteps; }
    // Hands over every step whose cascade has ended and forgets it, so that a long session can be
    // written out as it goes with flat memory.
    std::vector<TRecordedStep> TakeFinished();

private:
    void EventReceived(const TAutomaton& Automaton, int32_t Event) override;
    void EventHandled(const TAutomaton& Automaton, int32_t Event) override;
    void StepTaken(const TStep& Step) override;
    void Message(const std::string& Text) override;
    // An exception may have left steps open; they end with their input.
    void InputHandled() noexcept override { FOpen.clear(); }
    TStepSender OutsideSender() const;

    TVirtualTime& FTime;
    std::vector<TRecordedStep> FSteps;
    std::vector<size_t> FOpen; // the steps being handled, innermost last
};

} // namespace sm
