#pragma once

#include "sessions/Script.h"

#include <QString>

#include <optional>

class QWidget;

namespace sm {

// Reads and checks a session script while the window goes on painting: on a thread of its own,
// under a busy cursor, with a progress box and «Отмена» once it takes longer than a moment. The
// script, or none with Problem saying why (empty when the user cancelled).
std::optional<TScript> ReadSessionShowingProgress(QWidget* Parent, const QString& Path,
                                                  QString& Problem);

} // namespace sm
