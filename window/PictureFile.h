#pragma once

#include "diagram/Picture.h"

#include <QString>

class QWidget;

namespace sm {

// Asks where and as what, SVG or PNG, then writes the whole picture or nothing; a failure names
// the file and the reason in a message box. Suggested is the file's name without its suffix.
// False when nothing was written.
bool SavePicture(QWidget* Parent, const TPicture& Picture, const QString& Suggested);
// The writing alone, as SVG when the file's name ends in .svg, else as PNG; the reason of a
// failure in Error.
bool WritePicture(const TPicture& Picture, const QString& File, QString& Error);

} // namespace sm
