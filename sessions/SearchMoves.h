#pragma once

#include "sessions/Explore.h"
#include "sessions/StateStore.h"
#include "slotmachine/Rules.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

// What the explorer's search and the search for the way to a target share: the moves, when each
// is possible, and the digits a stop is tried on.

namespace sm::search {

// Every player's action, then every timer that may fire.
inline constexpr std::array<TMove, PlayerActions.size() + 4> Moves = [] {
    std::array<TMove, PlayerActions.size() + 4> All{};
    size_t At = 0;
    for (const TPlayerAction Action : PlayerActions)
        All[At++] = {TMove::Player, Action};
    for (const auto Kind : {TMove::StopB1, TMove::StopB2, TMove::StopB3, TMove::PayTick})
        All[At++] = {Kind};
    return All;
}();

inline std::optional<TTimerId> TimerOf(TMove Move) {
    switch (Move.Kind) {
    case TMove::StopB1:
        return TimerB1;
    case TMove::StopB2:
        return TimerB2;
    case TMove::StopB3:
        return TimerB3;
    case TMove::PayTick:
        return JackTimer;
    default:
        return std::nullopt;
    }
}

inline bool IsStop(TMove Move) {
    return Move.Kind == TMove::StopB1 || Move.Kind == TMove::StopB2 || Move.Kind == TMove::StopB3;
}

// Moves other than stops have a single outcome, with no digits.
inline const std::vector<std::array<int8_t, 3>> NoDigits = {{0, 0, 0}};

// Whether the window could take the action, or the timer runs.
inline bool Possible(const TKey& Key, TMove Move) {
    switch (Move.Kind) {
    case TMove::Player:
        return CanTake(DisplaysOf(Key), Move.Action);
    case TMove::StopB1:
    case TMove::StopB2:
    case TMove::StopB3:
        return (Key.Flags & (FlagB1 << (int(Move.Kind) - int(TMove::StopB1)))) != 0;
    case TMove::PayTick:
        return Key.Pay != 0;
    }
    return false;
}

// Digits on the three barrels, one for each win the rules give at this stake: frames of one
// digit snap alike, and after a stop the digits count only through the win.
class TOutcomes {
public:
    const std::vector<std::array<int8_t, 3>>& For(int32_t Stake) {
        auto [Found, Inserted] = FByStake.try_emplace(Stake);
        if (Inserted) {
            std::vector<int32_t> Wins;
            for (int8_t S1 = 1; S1 <= 9; ++S1)
                for (int8_t S2 = 1; S2 <= 9; ++S2)
                    for (int8_t S3 = 1; S3 <= 9; ++S3) {
                        const int32_t Win = WinFor(S1, S2, S3, Stake);
                        if (std::find(Wins.begin(), Wins.end(), Win) != Wins.end())
                            continue;
                        Wins.push_back(Win);
                        Found->second.push_back({S1, S2, S3});
                    }
        }
        return Found->second;
    }

private:
    std::unordered_map<int32_t, std::vector<std::array<int8_t, 3>>> FByStake;
};

// What each state on the way from the first state to Index holds, following each state's parent
// back: the move that reached it, or its key.
template <class TItem, class TAt>
std::vector<TItem> WayBack(uint32_t Index, const std::vector<uint32_t>& Parent, TAt At) {
    std::vector<TItem> Items;
    for (; Index != 0; Index = Parent[Index])
        Items.push_back(At(Index));
    std::reverse(Items.begin(), Items.end());
    return Items;
}

} // namespace sm::search
