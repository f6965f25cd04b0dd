#pragma once

#include "slotmachine/VirtualTime.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace sm {

// One value the watches show: a name, the machine's value and, for an account, what its display
// shows (the displays lag by design: the automata refresh them only at certain steps).
struct TWatch {
    QString Name; // "bank", "A0", "A0 busy", "TimerB1", "TimerB1 left" ...
    QString Title; // as the user reads it: «банк», «A0 занят», «TimerB1: осталось»
    QString Value;
    QString Shown; // empty when no display shows it
    bool operator==(const TWatch&) const = default;
};

// The accounts, the slot, the token, each automaton's state and whether it is busy, each timer's
// interval and time left, as the machine in its virtual time holds them now.
std::vector<TWatch> Watches(const TVirtualTime& Time);

// For the automaton's current state, each of its rows with a guard and the guard's values now:
// «e11 [A1=1]: A1 = 0 — не выполнено».
QStringList GuardsNow(const TMachine& Machine, int32_t Automaton);

} // namespace sm
