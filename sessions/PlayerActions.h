#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace sm {

class TMachine;
struct TDisplays;

// What a player does to the window's face, by the words session scripts use for it.
enum class TPlayerAction : uint8_t { Coin, Bad, Play, Return, Reset };

inline constexpr std::array<TPlayerAction, 5> PlayerActions = {
    TPlayerAction::Coin, TPlayerAction::Bad, TPlayerAction::Play, TPlayerAction::Return,
    TPlayerAction::Reset};

// "coin", "bad", "play", "return", "reset".
std::string_view ScriptName(TPlayerAction Action);
std::optional<TPlayerAction> PlayerActionNamed(std::string_view Name);
// The action in the companion's words: «монета», «Игра», ...
QString ActionWords(TPlayerAction Action);

// Whether the window would take the click now, judged by what its displays show: a coin while the
// player's field shows one, the counterfeit token while it is shown, the buttons always.
bool CanTake(const TDisplays& Shown, TPlayerAction Action);
bool CanTake(const TMachine& Machine, TPlayerAction Action);
// Why not, in the companion's words; empty when it can.
QString WhyNot(const TDisplays& Shown, TPlayerAction Action);
// The click, as the window delivers it; whether the machine then does anything is its own affair.
void Take(TMachine& Machine, TPlayerAction Action);

} // namespace sm
