#include "sessions/PlayerActions.h"

namespace sm {

static_assert(
    [] {
        for (size_t Index = 0; Index < PlayerActionRows.size(); ++Index)
            if (static_cast<size_t>(PlayerActionRows[Index].Action) != Index)
                return false;
        return true;
    }(),
    "an action's row stands at its number");

std::string_view ScriptName(TPlayerAction Action) {
    return RowOf(Action).Script;
}

std::optional<TPlayerAction> PlayerActionNamed(std::string_view Name) {
    for (const TPlayerActionRow& Row : PlayerActionRows)
        if (Row.Script == Name)
            return Row.Action;
    return std::nullopt;
}

QString ActionWords(TPlayerAction Action) {
    return RowOf(Action).Words.toString();
}

bool CanTake(const TDisplays& Shown, TPlayerAction Action) {
    return RowOf(Action).WhyNot(Shown).isEmpty();
}

bool CanTake(const TMachine& Machine, TPlayerAction Action) {
    return CanTake(Machine.Displays(), Action);
}

QString WhyNot(const TDisplays& Shown, TPlayerAction Action) {
    return RowOf(Action).WhyNot(Shown).toString();
}

void Take(TMachine& Machine, TPlayerAction Action) {
    (Machine.*RowOf(Action).Input)();
}

} // namespace sm
