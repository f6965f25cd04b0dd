#include "diagram/Picture.h"

#include <QPainter>
#include <QSvgGenerator>

#include <algorithm>

namespace sm {

QImage TPicture::Image() const {
    // Beyond this an image takes hundreds of megabytes, and viewers refuse it.
    constexpr int Most = 30000;
    const QRect Part(std::max(0, Size.width() - Most), std::max(0, Size.height() - Most),
                     std::min(Size.width(), Most), std::min(Size.height(), Most));
    QImage Pixels(Part.size(), QImage::Format_RGB32);
    if (Pixels.isNull())
        return Pixels;
    Pixels.fill(Background);
    QPainter Painter(&Pixels);
    Draw(Painter, Part);
    return Pixels;
}

bool TPicture::WriteSvg(QIODevice& Device, const QString& Title) const {
    QSvgGenerator Svg;
    Svg.setOutputDevice(&Device);
    Svg.setSize(Size);
    Svg.setViewBox(QRect(QPoint(), Size));
    Svg.setTitle(Title);
    QPainter Painter;
    if (!Painter.begin(&Svg))
        return false;
    Painter.fillRect(QRect(QPoint(), Size), Background);
    Draw(Painter, QRect(QPoint(), Size));
    return Painter.end();
}

} // namespace sm
