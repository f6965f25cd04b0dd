#pragma once

#include <cstdint>

namespace sm {

// The machine's pseudo-random generator: a linear congruential sequence over 32 bits. A value,
// so that a copy of a machine draws what the original would.
struct TRandom {
    uint32_t RandSeed = 0;

    // Advances the seed and returns a number from 0 to Range - 1 (0 for a Range of 0 or less).
    int32_t Random(int32_t Range);
    // Seeds from the low 32 bits of a high-resolution counter.
    void Randomize();

    bool operator==(const TRandom&) const = default;
};

} // namespace sm
