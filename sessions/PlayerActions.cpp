#include "sessions/PlayerActions.h"

#include "slotmachine/Machine.h"

namespace sm {

namespace {

constexpr std::array<std::string_view, PlayerActions.size()> Names = {"coin", "bad", "play",
                                                                      "return", "reset"};

} // namespace

std::string_view ScriptName(TPlayerAction Action) {
    return Names[static_cast<size_t>(Action)];
}

std::optional<TPlayerAction> PlayerActionNamed(std::string_view Name) {
    for (const TPlayerAction Action : PlayerActions)
        if (ScriptName(Action) == Name)
            return Action;
    return std::nullopt;
}

QString ActionWords(TPlayerAction Action) {
    switch (Action) {
    case TPlayerAction::Coin:
        return QStringLiteral("монета");
    case TPlayerAction::Bad:
        return QStringLiteral("фальшивый жетон");
    case TPlayerAction::Play:
        return QStringLiteral("«Игра»");
    case TPlayerAction::Return:
        return QStringLiteral("«Возврат»");
    case TPlayerAction::Reset:
        return QStringLiteral("«Тех. сброс»");
    }
    return {};
}

bool CanTake(const TDisplays& Shown, TPlayerAction Action) {
    return WhyNot(Shown, Action).isEmpty();
}

bool CanTake(const TMachine& Machine, TPlayerAction Action) {
    return CanTake(Machine.Displays(), Action);
}

QString WhyNot(const TDisplays& Shown, TPlayerAction Action) {
    // The window shows as many coins as the player's field says; none, none to click.
    if (Action == TPlayerAction::Coin && Shown.edUser < 1)
        return QStringLiteral("монету бросить нельзя: у игрока не видно ни одного жетона");
    if (Action == TPlayerAction::Bad && !Shown.iBadCoin)
        return QStringLiteral(
            "фальшивый жетон бросить нельзя: окно его не показывает, он уже в приёмнике");
    return {};
}

void Take(TMachine& Machine, TPlayerAction Action) {
    switch (Action) {
    case TPlayerAction::Coin:
        Machine.Image1Click();
        break;
    case TPlayerAction::Bad:
        Machine.iBadCoinClick();
        break;
    case TPlayerAction::Play:
        Machine.iPlayClick();
        break;
    case TPlayerAction::Return:
        Machine.iReturnClick();
        break;
    case TPlayerAction::Reset:
        Machine.btnTechResetClick();
        break;
    }
}

} // namespace sm
