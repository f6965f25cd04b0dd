#pragma once

#include "sessions/Coverage.h"
#include "sessions/PlayerActions.h"
#include "slotmachine/Machine.h"

#include <QString>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace sm {

// What can happen to the machine next: a player's action, or a stop or pay-out timer firing.
struct TMove {
    enum TKind : uint8_t { Player, StopB1, StopB2, StopB3, PayTick };
    TKind Kind = Player;
    TPlayerAction Action = TPlayerAction::Play; // a player's
    bool operator==(const TMove&) const = default;
};

struct TExploreStep {
    TMove Move;
    // For a stop: the digits the three barrels show as it fires; 0 where they did not matter.
    std::array<int8_t, 3> Symbols{};
};

struct TViolation {
    QString What;
    std::vector<TExploreStep> Path; // from start-up, shortest
    uint32_t Seed = 0;              // of the script, when there is one
    QString Script;                 // a replay script that reaches it; empty where real time
                                    // does not allow the path
};

using TTriple = std::array<int32_t, 3>;

struct TExploreReport {
    size_t States = 0;
    size_t Transitions = 0;
    std::map<TTriple, size_t> Triples; // states per (A0, A1, A2)
    // Per automaton, by row: whether a step from some state found took it.
    std::array<std::vector<bool>, 3> RowsTaken;
    double Seconds = 0;
    std::optional<TViolation> Violation;
};

struct TExploreOptions {
    // A machine whose space grows past this is reported instead of filling the memory.
    size_t StateLimit = 20'000'000;
    // Seeds tried for a replay script whose stops land on the path's digits.
    uint32_t ScriptSeeds = 5000;
};

// Explores every state the automata and the accounts can reach from the start-up machine, on
// that machine's own code, and checks each step. Holds when Violation is empty.
TExploreReport Explore(const TMachine& StartUp, const TExploreOptions& Options = {});

// The step in words, e.g. "«Игра»" or "остановка барабана 3 на цифрах 7 7 7".
QString StepText(const TExploreStep& Step);

// The report as the command prints it.
QString ReportText(const TExploreReport& Report, const TMachine& StartUp);

// The rows the search took and the states its keys hold: what some session can reach.
TReachable ReachableOf(const TExploreReport& Report);
// The rows and states that no step from a state found takes or enters, as --coverage prints them.
QString UnreachableText(const TExploreReport& Report, const TMachine& StartUp);

} // namespace sm
