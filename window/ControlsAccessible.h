#pragma once

#include <QAccessibleInterface>

namespace sm {

class TCheckList;

// The window's own controls to assistive technology. A check list is a list of items that can be
// ticked, each with a toggle action that works as a click on its box, and only the focused list's
// current item focused; the slot indicator is a text that its name keeps up to date; the windows
// are frames named by their titles.
QAccessibleInterface* ControlsAccessibility(const QString& Class, QObject* Object);

// Tells a screen reader that an item's tick changed, by the user or the program.
void AnnounceTick(TCheckList* List, int Row);

} // namespace sm
