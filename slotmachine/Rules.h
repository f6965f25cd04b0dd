#pragma once

#include <array>
#include <cstdint>

namespace sm {

// The barrel picture has 61 frames; a spinning barrel cycles through 1..60.
inline constexpr int32_t BarrelFrameCount = 61;

// The frame on which each digit stands centred: element 0 for the 1, 8 for the 9, and 9 for the
// 1 again after a full turn.
inline constexpr std::array<int32_t, 10> BarrelDigitFrames = {0, 7, 14, 21, 27, 34, 40, 47, 54, 60};

inline constexpr int32_t StartFrame = BarrelDigitFrames[7 - 1]; // a barrel starts on the 7

// The timers' periods in milliseconds: each barrel spins at its own speed; a stop comes
// ShortestStopDelay plus a draw below StopDelayDraws after the last; the win is paid a token a
// period.
inline constexpr int32_t SpinIntervals[3] = {10, 1, 6};
inline constexpr int32_t ShortestStopDelay = 1000;
inline constexpr int32_t StopDelayDraws = 1000;
inline constexpr int32_t PayOutInterval = 250;

// The symbol (digit 1..9) a stopped barrel on this frame settles on.
int32_t SymbolOfFrame(int32_t Frame);

// The frame on which the digit stands centred.
int32_t SnapFrameOf(int32_t Symbol);

// The next frame of the spin cycle.
int32_t NextSpinFrame(int32_t Frame);

// The win for three symbols in barrel order and a stake: the first rule that holds.
int32_t WinFor(int32_t S1, int32_t S2, int32_t S3, int32_t Stake);

} // namespace sm
