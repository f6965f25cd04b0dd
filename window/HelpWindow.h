#pragma once

#include <QWidget>

class QTextBrowser;

namespace sm {

class TSlotMachine;

// The help a newcomer gets with F1: the keys as the window binds them (the same spelling as its
// tooltips and menus), the menus, the clock, sessions and where to read more. Plain rich text in a
// browser, which a screen reader reads line by line.
class THelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit THelpWindow(TSlotMachine& Window);

    // The text anew from the window's actions as they are now.
    void Refresh();
    QTextBrowser* Text() const { return FText; }

private:
    TSlotMachine& FWindow;
    QTextBrowser* FText;
};

// Binds F1 in the window to open its help, made when first asked for.
void AddHelp(TSlotMachine& Window);

} // namespace sm
