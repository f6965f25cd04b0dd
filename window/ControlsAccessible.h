#pragma once

#include <QAccessibleInterface>
#include <QString>

namespace sm {

class TCheckList;

// Whether an accessibility factory is asked for this class: Qt names it as its meta-object does,
// namespace and all.
template <class T> bool IsClass(const QString& Class) {
    return Class == QLatin1String(T::staticMetaObject.className());
}

// The window's own controls to assistive technology. A check list is a list of items that can be
// ticked, each with a toggle action that works as a click on its box, and only the focused list's
// current item focused; the slot indicator is a text that its name keeps up to date; the windows
// are frames named by their titles.
QAccessibleInterface* ControlsAccessibility(const QString& Class, QObject* Object);

// Tells a screen reader that an item's tick changed, by the user or the program.
void AnnounceTick(TCheckList* List, int Row);

} // namespace sm
