#include <QApplication>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    // Qt aborts without a display; say what is wrong instead.
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
        std::fputs("slotmachine: no display; run it in a desktop session or under xvfb-run -a\n",
                   stderr);
        return 2;
    }
    QApplication Application(argc, argv);
    QWidget Window;
    Window.setWindowTitle(QStringLiteral("SlotMachine"));
    Window.show();
    return Application.exec();
}
