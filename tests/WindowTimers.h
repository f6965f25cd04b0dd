#pragma once

#include "window/FormMain.h"

namespace sm {

// One of the machine's own timers fires at the present moment of the window's clock, as the
// clock fires it when it falls due; the test chooses the moment and the barrels' frames.
template <void (TMachine::*Timer)()> void Fire(TSlotMachine& Window) {
    Window.Clock().Do([](TMachine& Machine) { (Machine.*Timer)(); });
}

} // namespace sm
