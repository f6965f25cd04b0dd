#pragma once

#include "slotmachine/Machine.h"

#include <array>
#include <cstdint>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace sm {

// What the state key keeps of a machine between two inputs, and what it leaves out.
// Kept: the three states, the four accounts and both flags, every number field, the coins and
// the counterfeit token shown, the slot indicator, the spin and pay-out intervals, and whether
// each stop timer is armed. Left out, since no future step depends on them:
// - the barrels' frames. Frames of one digit snap alike, and the digits count only through the
//   win computed at the third stop. So every stop is tried with the three barrels on digits for
//   each win the rules give at the stake: a spinning barrel may stop on any frame, and the
//   barrels at rest stopped where earlier stops, tried the same way, put them.
// - the stop delays and the generator: they decide when a stop timer fires, and every armed
//   timer is tried as the next to fire.
// - the timers' generations and phases, bookkeeping of the drivers; the switches, fixed here.
struct TKey {
    std::array<int16_t, 3> States;
    uint16_t Flags;
    int16_t Bank, User, Win, Stake;
    int16_t ShownBank, ShownStake, ShownWin, ShownUser;
    std::array<int16_t, 3> Spin;
    int16_t Pay;
    bool operator==(const TKey&) const = default;
};
static_assert(std::has_unique_object_representations_v<TKey>, "hashed as bytes");

enum TFlag : uint16_t {
    FlagTrayClosed = 1,
    FlagTokenGood = 2,
    FlagBadCoinShown = 4,
    FlagSlotShownClosed = 8,
    FlagB1 = 16, // and FlagB1 << 1, << 2 for TimerB2 and TimerB3
};

// The key of a machine's state; none when a number does not fit the key.
std::optional<TKey> Pack(const TMachineSnapshot& M);

// What the window shows in the state.
TDisplays DisplaysOf(const TKey& Key);
// Makes the machine the key's state; what the key leaves out stays as it was, except the
// barrels, which rest on a digit.
void Load(TMachine& M, const TKey& Key);

// The states found so far, each once, numbered in the order found. Each slot keeps the upper
// half of its key's hash beside the number, so that a probe seldom reads a key that differs.
class TStateTable {
public:
    TStateTable() : FSlots(size_t{1} << 16, 0) {}

    const TKey& operator[](uint32_t Index) const { return FKeys[Index]; }
    size_t Size() const { return FKeys.size(); }

    // The key's number, and whether it is new.
    std::pair<uint32_t, bool> Insert(const TKey& Key);

private:
    void Grow();

    std::vector<TKey> FKeys;
    std::vector<uint64_t> FSlots; // 0 for free, else the hash's upper half | the number + 1
};

} // namespace sm
