#include "window/Application.h"
#include "window/FormMain.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

using namespace sm;

namespace {

// Qt ends with a fatal message when its platform cannot start, such as a display that cannot be
// opened; name the display instead of Qt's advice to reinstall, and exit without a core dump.
QtMessageHandler QtHandler = nullptr;

void ReportFatal(QtMsgType Type, const QMessageLogContext& Context, const QString& Message) {
    if (Type != QtFatalMsg) {
        if (QtHandler)
            QtHandler(Type, Context, Message);
        return;
    }
    const QByteArray Display =
        qgetenv("WAYLAND_DISPLAY").isEmpty() ? qgetenv("DISPLAY") : qgetenv("WAYLAND_DISPLAY");
    std::fprintf(stderr,
                 "slotmachine: cannot open the display \"%s\"; start it in a desktop session, or "
                 "in a virtual one with xvfb-run -a\n",
                 Display.constData());
    std::_Exit(2);
}

} // namespace

int main(int argc, char* argv[]) {
    // Qt aborts without a display; say what is wrong instead.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
        std::fputs("slotmachine: no display; start it in a desktop session, or in a virtual one "
                   "with xvfb-run -a\n",
                   stderr);
        return 2;
    }
    // The barrels repaint the same small area sixty times a second. Through X shared memory each
    // of those paints first waits for the server to finish reading the last one; sending the few
    // changed pixels in the request costs less than that round trip.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    QtHandler = qInstallMessageHandler(ReportFatal);
    TApplication Application(argc, argv);
    qInstallMessageHandler(QtHandler);
    TSlotMachine Window;
    Window.show();
    // Closing the window ends the loop whatever the machine is doing.
    Application.exec();
    return 0;
}
