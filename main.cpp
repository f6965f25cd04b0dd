#include "window/Application.h"
#include "window/FormMain.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    // Qt aborts without a display; say what is wrong instead.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
        std::fputs("slotmachine: no display; start it in a desktop session, or in a virtual one "
                   "with xvfb-run -a\n",
                   stderr);
        return 2;
    }
    TApplication Application(argc, argv);
    TSlotMachine Window;
    Window.show();
    // Closing the window ends the loop whatever the machine is doing.
    Application.exec();
    return 0;
}
