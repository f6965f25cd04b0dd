#pragma once

#include "slotmachine/Machine.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace sm {

// A win rule, known by what it pays: PerStake * stake + Plus.
struct TRule {
    int32_t PerStake = 0;
    int32_t Plus = 0;
    bool operator==(const TRule&) const = default;
};

// Digits 1..9; index 0 unused.
using TDigitCounts = std::array<int64_t, 10>;

struct TExactOdds {
    // The frames a spinning barrel passes, each equally likely to be the one it stops on.
    int32_t Frames = 0;
    std::array<TDigitCounts, 3> DigitFrames{}; // per barrel: frames that settle on each digit
    int64_t Triples = 0;                       // Frames^3
    std::vector<TRule> Rules;                  // the richest first
    std::vector<int64_t> RuleTriples;          // per rule: triples of frames it pays for
    struct TReturn {
        int32_t Stake;
        int64_t Won;    // all wins over all triples of frames
        int64_t Staked; // Triples * Stake
        double Share() const { return double(Won) / double(Staked); }
    };
    std::vector<TReturn> Returns;
};

// Counts every triple of frames through the machine's own rules (SymbolOfFrame, WinFor).
TExactOdds ExactOdds(const std::vector<int32_t>& Stakes);

// Fewer games make no interval claim: the wins are too skewed for a normal approximation.
inline constexpr int64_t GamesForInterval = 100;

struct TMeasuredOdds {
    int64_t Games = 0;
    int32_t Stake = 1;
    uint32_t Seed = 0;
    std::vector<int64_t> RuleGames; // per rule of the exact odds; one more for any other win
    std::array<TDigitCounts, 3> Digits{};
    double Return = 0;     // mean win per game as a share of the stake
    bool Interval = false; // enough games for the interval below to mean anything
    double Low = 0;        // its 95 % interval
    double High = 0;
    double Seconds = 0;
};

// Plays the games in virtual time with the real timing: each from the start-up accounts, the
// stake in coins, «Игра» and at once «Игра» again, then time runs until the third barrel stops.
// The generator is seeded once and runs on from game to game.
TMeasuredOdds MeasureOdds(const TMachine& StartUp, const TExactOdds& Exact, int64_t Games,
                          int32_t Stake, uint32_t Seed);

QString OddsText(const TExactOdds& Exact, const TMeasuredOdds& Measured);

} // namespace sm
