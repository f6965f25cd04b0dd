#include "slotmachine/Random.h"

#include <chrono>

namespace sm {

int32_t TRandom::Random(int32_t Range) {
    RandSeed = RandSeed * 134775813u + 1u;
    if (Range <= 0)
        return 0;
    // The upper half of the 64-bit product lies in 0 .. Range - 1.
    return static_cast<int32_t>((uint64_t{RandSeed} * static_cast<uint32_t>(Range)) >> 32);
}

void TRandom::Randomize() {
    const auto Ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    RandSeed = static_cast<uint32_t>(Ticks);
}

} // namespace sm
