#pragma once

#include "slotmachine/Machine.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace sm {

// What a breakpoint waits for: an automaton entering a state from another, taking a row of its
// table, or receiving an event whatever row it then takes.
enum class TBreakKind : uint8_t { State, Row, Event };

// The values a condition may compare: the machine's accounts and the automata's states, never
// what the lagging displays show.
enum class TWatched : uint8_t { Bank, Stake, Win, Player, StateA0, StateA1, StateA2 };
enum class TComparison : uint8_t { Equal, NotEqual, Less, LessOrEqual, Greater, GreaterOrEqual };

struct TCondition {
    TWatched Value = TWatched::Bank;
    TComparison Comparison = TComparison::Equal;
    int64_t Number = 0;
    bool operator==(const TCondition&) const = default;
};

struct TBreakpoint {
    TBreakKind Kind = TBreakKind::State;
    int32_t Automaton = A0;
    int32_t Index = 0;                  // the state, the row's index in the table, or the event
    std::vector<TCondition> Conditions; // all must hold
    bool Enabled = true;
    int64_t Hits = 0;
    QString Text; // as a script's break line has it after "break": "A1 state 2 if bank = 0"
    int Line = 0; // of the script that set it; 0 for the user's own
};

// The watched value as the machine holds it now.
int64_t WatchedValue(const TMachine& Machine, TWatched Value);
// "bank", "A1", ...
QString WatchedName(TWatched Value);
bool Holds(const TMachine& Machine, const std::vector<TCondition>& Conditions);
// Whether the step, just taken, hits the breakpoint, its condition read from the machine now.
bool Hits(const TBreakpoint& Breakpoint, const TStep& Step, const TMachine& Machine);

// The words after "break": "A1 state 2", "A0 event e5" or "A0 row 2 e5 [#N]", then optionally
// "if" and comparisons joined by "and" ("bank = 0 and A1 != 2"; =, !=, <, <=, >, >=). The tables
// are the machine's. None, with why and the character where the trouble starts (from 0), when
// the words are not a breakpoint.
std::optional<TBreakpoint> ParseBreakpoint(const TMachine& Machine, const QString& Text,
                                           QString& Problem, int& At);
// The breakpoint on a state or a row as its break line names it, with no condition.
TBreakpoint StateBreakpoint(int32_t Automaton, int32_t State);
TBreakpoint RowBreakpoint(const TMachine& Machine, int32_t Automaton, int Row);
// What the strip says when it hits: «A1 вошёл в состояние 2 "Жетон не распознан"».
QString HitText(const TMachine& Machine, const TBreakpoint& Breakpoint);

// Tests every step the machine takes against the enabled breakpoints, counts their hits, and
// once the input that set the hitting steps off has been handled whole, tells of them, in the
// order of the steps.
class TBreakpoints final : public TStepListener {
public:
    explicit TBreakpoints(TMachine& Machine);
    ~TBreakpoints() override;
    TBreakpoints(const TBreakpoints&) = delete;
    TBreakpoints& operator=(const TBreakpoints&) = delete;

    std::vector<TBreakpoint>& List() { return FList; }
    const std::vector<TBreakpoint>& List() const { return FList; }
    // Indices into the list of the breakpoints hit by one input, a breakpoint once per step.
    std::function<void(const std::vector<size_t>& Hit)> OnHit;

private:
    void EventReceived(const TAutomaton&, int32_t) override {}
    void EventHandled(const TAutomaton&, int32_t) override {}
    void StepTaken(const TStep& Step) override;
    void Message(const std::string&) override {}
    void InputHandled() noexcept override;

    TMachine& FMachine;
    std::vector<TBreakpoint> FList;
    std::vector<size_t> FPending;
};

} // namespace sm
