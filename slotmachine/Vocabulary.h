#pragma once

#include <cstdint>
#include <string>

namespace sm {

class TAutomatonsDispatcher;

// Automaton numbers: also their indices in the dispatcher.
inline constexpr int32_t A0 = 0;
inline constexpr int32_t A1 = 1;
inline constexpr int32_t A2 = 2;

// Events; the other numbers up to 23 have empty names and are never raised.
inline constexpr int32_t e0 = 0;   // A0 -> A2: start the barrels
inline constexpr int32_t e1 = 1;   // play pressed
inline constexpr int32_t e2 = 2;   // return pressed
inline constexpr int32_t e3 = 3;   // technician's reset
inline constexpr int32_t e5 = 5;   // third barrel stopped
inline constexpr int32_t e6 = 6;   // pay-out tick
inline constexpr int32_t e10 = 10; // token dropped
inline constexpr int32_t e11 = 11; // A1 -> A0: token judged
inline constexpr int32_t e12 = 12; // A0 -> A1: stake to the bank
inline constexpr int32_t e22 = 22; // first barrel stopped
inline constexpr int32_t e23 = 23; // second barrel stopped
inline constexpr int32_t EventSlots = 24;

extern const char* const AutomatonName[3];

// Appends the state names of A0, A1 and A2, then 24 empty event names, then sets the eleven
// named ones. The three automata must be registered already.
void InstallNames(TAutomatonsDispatcher& Dispatcher);

// Written by a transition function that finds its automaton in a state it does not know.
std::string UnknownStateMessage(int32_t Automaton, int32_t Event, int32_t State);

} // namespace sm
