#pragma once

#include <QAccessibleInterface>

namespace sm {

// The protocol panel to assistive technology: read-only text, its lines, the selection and the
// caret. The panel installs it before anything can ask for its interface.
QAccessibleInterface* LogPanelAccessibility(const QString& Class, QObject* Object);

} // namespace sm
