#pragma once

#include "slotmachine/Diagram.h"
#include "slotmachine/Machine.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace sm {

// How often a session took each row of one automaton's table and entered each of its states.
struct TAutomatonCoverage {
    std::vector<int64_t> Rows;   // by the index in the table the automaton runs
    std::vector<int64_t> States; // by state
    bool operator==(const TAutomatonCoverage&) const = default;
};
using TCoverageCounts = std::array<TAutomatonCoverage, 3>;

// A zero for every row and state of the machine's automata, with the states it starts in
// entered once.
TCoverageCounts StartCounts(const TMachine& Machine);
// A state counts as entered when a step leaves another for it, as when its entry actions run: a
// row that leads back to its own state enters nothing. A step with no row counts no row.
void CountStep(TCoverageCounts& Counts, const TStep& Step);

// Counts a session from the machine's own step notices, from the moment it is made. Cheap: a few
// increments an input.
class TCoverage final : public TMachineObserver {
public:
    explicit TCoverage(TMachine& Machine);
    ~TCoverage() override;
    TCoverage(const TCoverage&) = delete;
    TCoverage& operator=(const TCoverage&) = delete;

    const TCoverageCounts& Counts() const { return FCounts; }
    void MachineChanged(unsigned Changes) noexcept override;

private:
    TMachine& FMachine;
    TCoverageCounts FCounts;
};

// The rows and states that some session can take and enter; an automaton with empty lists has
// all of them reachable.
struct TReachable {
    std::array<std::vector<bool>, 3> Rows;
    std::array<std::vector<bool>, 3> States;
};

// The names of targets, as the coverage report prints them and a command can take them back:
// "A1 state 2" for a state; "A0 row 2 e5" for the row from state 2 on event e5, with "#N" added,
// counted from 1 in table order, where several rows (told apart by their guards) share that state
// and event: "A0 row 2 e5 #2".
QString StateTarget(int32_t Automaton, int32_t State);
QString RowTarget(const TMachine& Machine, int32_t Automaton, int Row);
QString RowTarget(const TDiagram& Diagram, int Row);
// The row as its diagram labels the arrow: "2 Игра — e5 [выигрыш=0] → 0 Ожидание".
QString RowText(const TDiagram& Diagram, int Row);

struct TTarget {
    int32_t Automaton = 0;
    bool IsRow = false;
    int Index = 0; // the state, or the row's index in the table
    bool operator==(const TTarget&) const = default;
};
// A target's words back (spaces between them, letters in either case); none when the machine's
// tables have no such state or row.
std::optional<TTarget> ParseTarget(const TMachine& Machine, const QString& Words);

// The report: for each automaton its shares of reachable rows and states taken, then every row
// and state with its count, the unreachable ones marked.
QString CoverageText(const TMachine& Machine, const TCoverageCounts& Counts,
                     const TReachable& Reachable);

} // namespace sm
