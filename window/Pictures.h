#pragma once

#include "slotmachine/Rules.h"

#include <QIcon>
#include <QList>
#include <QPixmap>

namespace sm {

// The pictures compiled in from window/pictures. Each is loaded once and kept until the
// application ends; call them from the GUI thread after the QGuiApplication exists.

// The barrel strip: frames of a turning drum, frame 0 showing the 1.
inline constexpr int BarrelFrameWidth = 30;
inline constexpr int BarrelFrameHeight = 45;

// For the application's device pixel ratio: above 1 the double-size drawings are used.
QPixmap TokenPixmap();         // the good coin, 32 x 32, transparent around it
QPixmap BadTokenPixmap();      // the false coin, 32 x 32, transparent around it
QPixmap PlayPixmap();          // 64 x 32
QPixmap ReturnPixmap();        // 64 x 32
QList<QPixmap> BarrelFrames(); // BarrelFrameCount frames of 30 x 45
QIcon ApplicationIcon();

// The same for a given device pixel ratio, for a widget on a screen of its own.
QPixmap TokenPixmap(qreal DevicePixelRatio);
QPixmap BadTokenPixmap(qreal DevicePixelRatio);
QPixmap PlayPixmap(qreal DevicePixelRatio);
QPixmap ReturnPixmap(qreal DevicePixelRatio);
QList<QPixmap> BarrelFrames(qreal DevicePixelRatio);

} // namespace sm
