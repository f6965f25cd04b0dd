#include "sessions/StateStore.h"

#include "slotmachine/Rules.h"

#include <functional>
#include <limits>
#include <string_view>

namespace sm {

namespace {

// A stop timer armed in a loaded machine: any delay will do, it is fired when chosen.
constexpr int32_t StandInDelay = 1000;

struct THashKey {
    size_t operator()(const TKey& Key) const {
        return std::hash<std::string_view>()(
            std::string_view(reinterpret_cast<const char*>(&Key), sizeof Key));
    }
};

template <class T> bool Fits(int32_t Value) {
    return Value >= std::numeric_limits<T>::min() && Value <= std::numeric_limits<T>::max();
}

} // namespace

std::optional<TKey> Pack(const TMachineSnapshot& M) {
    const TDisplays& Shown = M.FDisplays;
    const auto Interval = [&M](TTimerId Timer) { return M.FTimers[Timer].Interval; };
    const std::array<int32_t, 3> States = {M.Automata[A0].FState, M.Automata[A1].FState,
                                           M.Automata[A2].FState};
    const std::array<int32_t, 12> Numbers = {M.FBank,
                                             M.FUserTokens,
                                             M.FJackPot,
                                             M.FStake,
                                             Shown.edBank,
                                             Shown.edStake,
                                             Shown.edJackPot,
                                             Shown.edUser,
                                             Interval(TimerSync1),
                                             Interval(TimerSync2),
                                             Interval(TimerSync3),
                                             Interval(JackTimer)};
    for (const int32_t State : States)
        if (!Fits<int16_t>(State))
            return std::nullopt;
    for (const int32_t Number : Numbers)
        if (!Fits<int16_t>(Number))
            return std::nullopt;
    TKey Key{};
    for (size_t A = 0; A < 3; ++A)
        Key.States[A] = static_cast<int16_t>(States[A]);
    Key.Flags = static_cast<uint16_t>(
        (M.FTrayClosed ? FlagTrayClosed : 0) | (M.FTokenGood ? FlagTokenGood : 0) |
        (Shown.iBadCoin ? FlagBadCoinShown : 0) |
        (Shown.Shape1 == TBrushStyle::bsSolid ? 0 : FlagSlotShownClosed));
    for (int32_t Stop = 0; Stop < 3; ++Stop)
        if (Interval(TTimerId(TimerB1 + Stop)) != 0)
            Key.Flags = static_cast<uint16_t>(Key.Flags | (FlagB1 << Stop));
    const auto Short = [&Numbers](size_t Index) { return static_cast<int16_t>(Numbers[Index]); };
    Key.Bank = Short(0);
    Key.User = Short(1);
    Key.Win = Short(2);
    Key.Stake = Short(3);
    Key.ShownBank = Short(4);
    Key.ShownStake = Short(5);
    Key.ShownWin = Short(6);
    Key.ShownUser = Short(7);
    Key.Spin = {Short(8), Short(9), Short(10)};
    Key.Pay = Short(11);
    return Key;
}

TDisplays DisplaysOf(const TKey& Key) {
    TDisplays Shown;
    Shown.edBank = Key.ShownBank;
    Shown.edStake = Key.ShownStake;
    Shown.edJackPot = Key.ShownWin;
    Shown.edUser = Key.ShownUser;
    Shown.iBadCoin = (Key.Flags & FlagBadCoinShown) != 0;
    Shown.Shape1 =
        (Key.Flags & FlagSlotShownClosed) ? TBrushStyle::bsDiagCross : TBrushStyle::bsSolid;
    Shown.Barrels.fill(SnapFrameOf(SymbolOfFrame(StartFrame)));
    return Shown;
}

void Load(TMachine& M, const TKey& Key) {
    TMachineSnapshot State = M.Snapshot();
    for (size_t A = A0; A <= A2; ++A) {
        State.Automata[A].FState = Key.States[A];
        State.Automata[A].FBusy = false;
    }
    State.FBank = Key.Bank;
    State.FUserTokens = Key.User;
    State.FJackPot = Key.Win;
    State.FStake = Key.Stake;
    State.FTrayClosed = (Key.Flags & FlagTrayClosed) != 0;
    State.FTokenGood = (Key.Flags & FlagTokenGood) != 0;
    State.FDisplays = DisplaysOf(Key);
    for (size_t Spin = 0; Spin < 3; ++Spin)
        State.FTimers[TimerSync1 + Spin].Interval = Key.Spin[Spin];
    for (size_t Stop = 0; Stop < 3; ++Stop)
        State.FTimers[TimerB1 + Stop].Interval = (Key.Flags & (FlagB1 << Stop)) ? StandInDelay : 0;
    State.FTimers[JackTimer].Interval = Key.Pay;
    M.Restore(State);
}

std::pair<uint32_t, bool> TStateTable::Insert(const TKey& Key) {
    if (2 * (FKeys.size() + 1) > FSlots.size())
        Grow();
    const uint64_t Hash = THashKey()(Key);
    const uint64_t Mark = Hash & ~uint64_t{UINT32_MAX};
    size_t Slot = Hash & (FSlots.size() - 1);
    for (; FSlots[Slot] != 0; Slot = (Slot + 1) & (FSlots.size() - 1)) {
        const auto Index = static_cast<uint32_t>(FSlots[Slot]) - 1;
        if ((FSlots[Slot] & ~uint64_t{UINT32_MAX}) == Mark && FKeys[Index] == Key)
            return {Index, false};
    }
    FKeys.push_back(Key);
    FSlots[Slot] = Mark | FKeys.size();
    return {static_cast<uint32_t>(FKeys.size() - 1), true};
}

void TStateTable::Grow() {
    std::vector<uint64_t> Slots(FSlots.size() * 2, 0);
    for (const uint64_t Taken : FSlots) {
        if (Taken == 0)
            continue;
        size_t Slot = THashKey()(FKeys[static_cast<uint32_t>(Taken) - 1]) & (Slots.size() - 1);
        while (Slots[Slot] != 0)
            Slot = (Slot + 1) & (Slots.size() - 1);
        Slots[Slot] = Taken;
    }
    FSlots = std::move(Slots);
}

} // namespace sm
