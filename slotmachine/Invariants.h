#pragma once

#include "slotmachine/Machine.h"

#include <QString>

namespace sm {

// The first broken invariant of a machine at rest between inputs, in Russian as the tools print
// it, or an empty string: no automaton busy or in a state it does not know, the tokens conserved
// (Tokens in all), A0, A1 and A2 agreeing, the slot and its indicator, the timers running exactly
// when the states say, resting barrels on a digit, the player's displays.
QString CheckInvariants(const TMachine& Machine, int32_t Tokens = 100);

} // namespace sm
