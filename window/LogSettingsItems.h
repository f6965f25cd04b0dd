#pragma once

#include <QStringList>

namespace sm {

// The items of each log-settings list, in the order of an automaton's switches.
inline const QStringList& LogSettingsItems() {
    static const QStringList Items = {
        QStringLiteral("Вести протокол запуска"),
        QStringLiteral("Вести протокол изменения состояния"),
        QStringLiteral("Вести протокол завершеня"),
        QStringLiteral("Вести протокол входных параметров"),
        QStringLiteral("Вести протокол выходных действий"),
    };
    return Items;
}

} // namespace sm
