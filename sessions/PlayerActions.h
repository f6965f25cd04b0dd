#pragma once

#include "slotmachine/Machine.h"

#include <QString>
#include <QStringView>
#include <QtCore/qnamespace.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace sm {

// What a player does to the window's face. An action's number is its row in PlayerActionRows.
enum class TPlayerAction : uint8_t { Coin, Bad, Play, Return, Reset };

// Everything that names, binds, guards and carries out one action of the player.
struct TPlayerActionRow {
    TPlayerAction Action;
    std::string_view Script; // the session scripts' word
    QStringView Words;       // the companion's words, in a sentence
    QStringView Name;        // the control's name, as its tooltip and a screen reader say it
    // The control's object name; "Image1" stands for the whole stack of coins, as in the design.
    const char* Control;
    QStringView Does;                    // what its script line does, where the words do not say it
    std::array<QKeyCombination, 2> Keys; // Qt::Key_unknown: no key
    // Why the window cannot take it now, judged by what its displays show; empty when it can.
    QStringView (*WhyNot)(const TDisplays& Shown);
    void (TMachine::*Input)();
};

// Why not, judged by what the displays show: the window shows as many coins as the player's
// field says, and the counterfeit token only until it is dropped.
namespace ActionGuards {

inline QStringView CoinShown(const TDisplays& Shown) {
    return Shown.edUser < 1
               ? QStringView(u"монету бросить нельзя: у игрока не видно ни одного жетона")
               : QStringView();
}

inline QStringView BadCoinShown(const TDisplays& Shown) {
    return Shown.iBadCoin ? QStringView()
                          : QStringView(u"фальшивый жетон бросить нельзя: окно его не показывает, "
                                        u"он уже в приёмнике");
}

constexpr QStringView Always(const TDisplays&) {
    return {};
}

} // namespace ActionGuards

// The player's actions. A new one is a row here, its input on the machine and its control.
// clang-format off
inline constexpr auto PlayerActionRows = std::to_array<TPlayerActionRow>({
//   action                 script    companion's words   control's name       control
//   what its script line does, where the words do not say it
//   keys                                         guard                      machine input
    {TPlayerAction::Coin,   "coin",   u"монета",          u"Жетон",            "Image1",
     u"щелчок по верхней монете игрока",
     {Qt::Key_Plus, Qt::Key_Insert},              ActionGuards::CoinShown,   &TMachine::Image1Click},
    {TPlayerAction::Bad,    "bad",    u"фальшивый жетон", u"Фальшивый жетон",  "iBadCoin",
     u"щелчок по фальшивому жетону",
     {Qt::Key_Minus, Qt::Key_unknown},            ActionGuards::BadCoinShown, &TMachine::iBadCoinClick},
    {TPlayerAction::Play,   "play",   u"«Игра»",          u"Игра",             "iPlay",
     {},
     {Qt::Key_Return, Qt::Key_Enter},             ActionGuards::Always,      &TMachine::iPlayClick},
    {TPlayerAction::Return, "return", u"«Возврат»",       u"Возврат",          "iReturn",
     {},
     {Qt::Key_Backspace, Qt::Key_unknown},        ActionGuards::Always,      &TMachine::iReturnClick},
    {TPlayerAction::Reset,  "reset",  u"«Тех. сброс»",    u"Тех. сброс",       "btnTechReset",
     {},
     {Qt::CTRL | Qt::Key_R, Qt::Key_unknown},     ActionGuards::Always,      &TMachine::btnTechResetClick},
});
// clang-format on

// Every action, in the order of the rows.
inline constexpr std::array<TPlayerAction, PlayerActionRows.size()> PlayerActions = [] {
    std::array<TPlayerAction, PlayerActionRows.size()> All{};
    for (size_t Index = 0; Index < All.size(); ++Index)
        All[Index] = PlayerActionRows[Index].Action;
    return All;
}();

constexpr const TPlayerActionRow& RowOf(TPlayerAction Action) {
    return PlayerActionRows.at(static_cast<size_t>(Action));
}

// The words of the action's row.
std::string_view ScriptName(TPlayerAction Action);
std::optional<TPlayerAction> PlayerActionNamed(std::string_view Name);
QString ActionWords(TPlayerAction Action);

// Whether the window would take the click now, judged by what its displays show.
bool CanTake(const TDisplays& Shown, TPlayerAction Action);
bool CanTake(const TMachine& Machine, TPlayerAction Action);
// Why not, in the companion's words; empty when it can.
QString WhyNot(const TDisplays& Shown, TPlayerAction Action);
// The click, as the window delivers it; whether the machine then does anything is its own affair.
void Take(TMachine& Machine, TPlayerAction Action);

} // namespace sm
