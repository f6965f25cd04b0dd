#pragma once

#include "slotmachine/Machine.h"

namespace sm {

// Puts a machine straight into a changed state, as a test needs it, through its snapshot.
template <class TEdit> void EditMachine(TMachine& Machine, TEdit Edit) {
    TMachineSnapshot State = Machine.Snapshot();
    Edit(State);
    Machine.Restore(State);
}

// Where a test plants a fault that no snapshot holds: the names the protocol shows.
struct TMachineTestSeam {
    static TAutomatonsDispatcher& Dispatcher(TMachine& Machine) {
        return Machine.FAutomatonsDispatcher;
    }
};

} // namespace sm
