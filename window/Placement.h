#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

namespace sm {

// Where a second window goes beside the main one, all in frames (title bars included) and screen
// coordinates: below, above, right or left of the main window, wherever the larger window fits
// at no less than a useful size; where none does, over the main window at the side of the screen
// farther from it, leaving what it can of the main window uncovered. Wholly inside Room.
QRect PlaceBeside(const QRect& Room, const QRect& Main, QSize Wanted, QSize Useful);

// The frame margins of a window, for another that the window manager will frame alike.
QMargins FrameMargins(const QRect& Frame, const QRect& Inside);

} // namespace sm
