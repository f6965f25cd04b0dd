#pragma once

#include "sessions/Coverage.h"
#include "sessions/Explore.h"
#include "sessions/Script.h"
#include "slotmachine/Machine.h"
#include "slotmachine/VirtualTime.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace sm {

// A session that takes a target: its script, and what it costs.
struct TWay {
    TScript Script; // a script replay accepts: seed, the commands; from start-up, or a continuation
    QString Text;   // the script as the companion prints it, with a first comment line saying
                    // what it reaches
    int PlayerMoves = 0;
    int64_t Milliseconds = 0; // machine time it takes
    // The explorer's steps, when its search found the way; empty when the real machine's did.
    std::vector<TExploreStep> Path;
};

struct TWayOptions {
    // Seeds tried for a way from start-up whose stops must land on given digits.
    uint32_t Seeds = 2000;
    // Ways of the fewest player's moves tried in real time before those of one move more.
    int Candidates = 64;
    // States of a running session's real machine searched when no way of the fewest moves plays
    // with the session's own generator.
    size_t RealStates = 20'000;
};

// The shortest session from the start-up machine (fewest player's moves, then least machine
// time) that enters the target state or takes the target row; none when no session can.
std::optional<TWay> WayFromStartUp(const TMachine& StartUp, const TTarget& Target,
                                   const TWayOptions& Options = {});
// The same from the present moment of a running session (its machine in virtual time, timers due
// where they are): the commands to append.
std::optional<TWay> WayFrom(const TVirtualTime& Present, const TTarget& Target,
                            const TWayOptions& Options = {});

// The target's name as the coverage report prints it, e.g. "A0 row 2 e5 #2".
QString TargetName(const TMachine& Machine, const TTarget& Target);

} // namespace sm
