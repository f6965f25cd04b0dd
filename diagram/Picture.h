#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>

#include <functional>

class QIODevice;
class QPainter;

namespace sm {

// A picture drawn on demand at its whole size, so that the same drawing gives pixels or SVG.
struct TPicture {
    QSize Size;
    QColor Background = Qt::white;
    // Paints the given part of the picture with its top left corner at the painter's origin; with
    // Heading, what a scrolled view keeps at its top (a chart's names) is drawn at the part's top.
    std::function<void(QPainter&, const QRect& Part, bool Heading)> Draw;

    // As pixels; a picture too large for one image gives its end, the bottom right.
    QImage Image() const;
    // As an SVG document, drawn in strips so that memory stays flat however long the picture;
    // false if the device would not take it.
    bool WriteSvg(QIODevice& Device, const QString& Title) const;
};

} // namespace sm
