#pragma once

#include <QImage>
#include <QString>

class QWidget;

namespace sm {

// Asks where, then writes the picture as PNG whole or not at all; a failure names the file and
// the reason in a message box. False when nothing was written.
bool SavePicture(QWidget* Parent, const QImage& Picture, const QString& Suggested);
// The writing alone; the reason of a failure in Error.
bool WritePicture(const QImage& Picture, const QString& File, QString& Error);

} // namespace sm
