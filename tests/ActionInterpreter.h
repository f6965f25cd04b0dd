#pragma once

#include "sessions/PlayerActions.h"
#include "slotmachine/Invariants.h"
#include "slotmachine/VirtualTime.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sm {

// What a player, the clock or the window system can do to the machine.
enum class TActionKind : uint8_t {
    Player, // Target: the player's action; Value: for a coin, its number in the stack, 1..100
    Tick,   // Target: 0..2 TimerSync1..3, 3..5 TimerB1..3, 6 JackTimer; fires now, out of turn
    Toggle, // Target: automaton * 5 + switch, 0..14
    Frame,  // Target: barrel 1..3, Value: frame 0..60; where a spinning barrel is when it stops
    Close,  // the machine is dropped and a fresh one started
    Wait,   // Value: milliseconds of virtual time, 1..60000; due timers fire on the way
    Copy,   // the run goes on in a copy; the original is dropped
};

struct TMachineAction {
    TActionKind Kind = TActionKind::Player;
    int Target = 0;
    int Value = 0;
    bool operator==(const TMachineAction&) const = default;
};

// A player's click; a coin by its number in the stack.
constexpr TMachineAction PlayerMove(TPlayerAction Action, int Coin = 1) {
    return {TActionKind::Player, static_cast<int>(Action),
            Action == TPlayerAction::Coin ? Coin : 0};
}

using TMachineActions = std::vector<TMachineAction>;

// The text form is what a regression table holds: words such as "coin:7 play tick:B1 frame:2=40
// wait:500 copy" separated by blanks.
QString ActionText(const TMachineAction& Action);
QString ActionsText(std::span<const TMachineAction> Actions);
// Nothing for a word that names no action.
std::optional<TMachineActions> ParseActions(const QString& Text);

// Every byte string is some sequence, so a fuzzer's mutations always mean something.
TMachineActions DecodeActions(std::span<const uint8_t> Bytes);

struct TFailure {
    int Step = -1; // index of the action after which the check failed
    QString What;  // the broken invariant
    explicit operator bool() const { return Step >= 0; }
};

// Plays actions on a machine in virtual time the way its user and its timers would: the player's
// clicks and toggles go in through the window's door, only shown coins are dropped and only
// running timers tick; whatever cannot happen now is skipped.
class TActionInterpreter {
public:
    TActionInterpreter();
    TActionInterpreter(const TActionInterpreter&) = delete;
    TActionInterpreter& operator=(const TActionInterpreter&) = delete;

    TVirtualTime& Time() { return *FTime; }
    TMachine& Machine() { return FTime->Machine(); }
    const TMachine& Machine() const { return FTime->Machine(); }

    // Whether the action can happen in the machine's present state.
    bool Possible(const TMachineAction& Action) const;
    // Applies the action when possible, then checks; the broken invariant or an empty string.
    QString Apply(const TMachineAction& Action);
    // The state's invariants, then the protocol written since the machine started.
    QString Check() const;
    // Plays the actions on a fresh machine until the first broken invariant.
    TFailure Run(std::span<const TMachineAction> Actions);
    // Starts a fresh machine with a fixed seed, so that every replay draws the same delays.
    void Open();

private:
    // Keeps the first message that must never be written.
    class TProtocolCheck final : public TProtocolSink {
    public:
        void Message(const std::string& Text) override;
        QString FBroken;
    };

    QString Reopen();
    QString Copy();

    std::unique_ptr<TVirtualTime> FTime;
    TProtocolCheck FProtocol;
};

// The broken invariant without its numbers: a shorter sequence may break it with other counts.
QString FailureKind(const QString& What);

// Drops chunks of actions, then single actions, while the sequence still breaks the same kind of
// invariant. Fails returns the broken invariant of a sequence or an empty string.
TMachineActions Shrink(TMachineActions Actions,
                       const std::function<QString(std::span<const TMachineAction>)>& Fails);

// Shrinks a sequence that fails in a fresh interpreter.
TMachineActions ShrinkFailure(TMachineActions Actions);

} // namespace sm
