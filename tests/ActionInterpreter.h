#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class TSlotMachine;

// What a player, the clock or the window system can do to the machine.
enum class TActionKind : uint8_t {
    Coin,    // Target: the coin's number, 1..100
    BadCoin, // the counterfeit token
    Play,
    Return,
    Reset,
    Tick,   // Target: 0..2 TimerSync1..3, 3..5 TimerB1..3, 6 JackTimer
    Toggle, // Target: list * 5 + item, 0..14
    Frame,  // Target: barrel 1..3, Value: frame 0..60; where a spinning barrel is when it stops
    Close,  // the window is closed and a fresh one opened
};

struct TMachineAction {
    TActionKind Kind = TActionKind::Play;
    int Target = 0;
    int Value = 0;
    bool operator==(const TMachineAction&) const = default;
};

using TMachineActions = std::vector<TMachineAction>;

// The text form is what a regression table holds: words such as "coin:7 play tick:B1 frame:2=40"
// separated by blanks.
QString ActionText(const TMachineAction& Action);
QString ActionsText(std::span<const TMachineAction> Actions);
// Nothing for a word that names no action.
std::optional<TMachineActions> ParseActions(const QString& Text);

// Every byte string is some sequence, so a fuzzer's mutations always mean something.
TMachineActions DecodeActions(std::span<const uint8_t> Bytes);

// The first broken invariant of the machine, or an empty string. Only the protocol lines past
// ProtocolMark are read for their layout; the mark is then moved to the end.
QString CheckInvariants(const TSlotMachine& Machine, qsizetype& ProtocolMark);

struct TFailure {
    int Step = -1; // index of the action after which the check failed
    QString What;  // the broken invariant
    explicit operator bool() const { return Step >= 0; }
};

// Plays actions on a window the way its user and its timers would: only visible coins are
// clicked and only running timers tick; whatever cannot happen now is skipped.
class TActionInterpreter {
public:
    TActionInterpreter();
    ~TActionInterpreter();
    TActionInterpreter(const TActionInterpreter&) = delete;
    TActionInterpreter& operator=(const TActionInterpreter&) = delete;

    // The window, opened if there is none.
    TSlotMachine& Machine();

    // Whether the action can happen in the machine's present state.
    bool Possible(const TMachineAction& Action);
    // Applies the action when possible, then checks; the broken invariant or an empty string.
    QString Apply(const TMachineAction& Action);
    QString Check();
    // Plays the actions on a fresh window until the first broken invariant, then closes the
    // window, which must leave nothing behind (a failure there has Step = Actions.size()).
    TFailure Run(std::span<const TMachineAction> Actions);
    // Opens a fresh window; an open one is dropped unchecked.
    void Open();
    // Closes the window and checks that nothing is left behind.
    QString Close();
    // Closes the window and opens a fresh one, which must start from scratch.
    QString Reopen();

private:
    std::unique_ptr<TSlotMachine> FMachine;
    qsizetype FProtocolMark = 0;
    qsizetype FTopLevels = 0; // before the window was opened
};

// The broken invariant without its numbers: a shorter sequence may break it with other counts.
QString FailureKind(const QString& What);

// Drops chunks of actions, then single actions, while the sequence still breaks the same kind of
// invariant. Fails returns the broken invariant of a sequence or an empty string.
TMachineActions Shrink(TMachineActions Actions,
                       const std::function<QString(std::span<const TMachineAction>)>& Fails);

// Shrinks a sequence that fails in a fresh interpreter.
TMachineActions ShrinkFailure(TMachineActions Actions);
