#pragma once

#include <QApplication>

namespace sm {

// The application: Russian dialog buttons, and a message loop that shows an error raised in any
// handler and goes on.
class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& Argc, char** Argv);

    bool notify(QObject* Receiver, QEvent* Event) override;

    // The window's font: 11 px Liberation Sans, whose narrow widths the fixed layout expects.
    static QFont WindowFont();

    // What the Menu key does: a context menu for the focused control, at its caret.
    static void OpenContextMenu();

private:
    bool FIconSet = false;
};

} // namespace sm
