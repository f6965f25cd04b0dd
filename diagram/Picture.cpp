#include "diagram/Picture.h"

#include <QBuffer>
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
    Draw(Painter, Part, true);
    return Pixels;
}

bool TPicture::WriteSvg(QIODevice& Device, const QString& Title) const {
    // Qt's generator keeps its whole document in memory until the end: a trace of a long session
    // took gigabytes. Each strip is a document of its own, nested in one at its place; a nested
    // document clips what its drawing puts outside it, as a view's edge does.
    constexpr int StripHeight = 4096;
    const QString Head =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
                       "<svg width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\"\n"
                       " xmlns=\"http://www.w3.org/2000/svg\" "
                       "xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\">\n"
                       "<title>%3</title>\n")
            .arg(Size.width())
            .arg(Size.height())
            .arg(Title.toHtmlEscaped());
    bool Written = Device.write(Head.toUtf8()) >= 0;
    for (int Top = 0; Written && Top < std::max(1, Size.height()); Top += StripHeight) {
        const QRect Part(0, Top, Size.width(), std::min(StripHeight, Size.height() - Top));
        QBuffer Strip;
        Strip.open(QIODevice::WriteOnly);
        QSvgGenerator Svg;
        Svg.setOutputDevice(&Strip);
        Svg.setSize(Part.size());
        Svg.setViewBox(QRect(QPoint(), Part.size()));
        QPainter Painter;
        if (!Painter.begin(&Svg))
            return false;
        Painter.fillRect(QRect(QPoint(), Part.size()), Background);
        Draw(Painter, Part, Top == 0);
        if (!Painter.end())
            return false;
        // The drawing lies between the generator's definitions and its closing tag.
        const QByteArray& Text = Strip.data();
        const QByteArray Defined = "</defs>\n";
        const qsizetype From = Text.indexOf(Defined);
        const qsizetype To = Text.lastIndexOf("</svg>");
        if (From < 0 || To < From)
            return false;
        const QString Place = QStringLiteral("<svg x=\"0\" y=\"%1\" width=\"%2\" height=\"%3\" "
                                             "viewBox=\"0 0 %2 %3\">\n")
                                  .arg(Top)
                                  .arg(Part.width())
                                  .arg(Part.height());
        Written = Device.write(Place.toUtf8()) >= 0 &&
                  Device.write(Text.constData() + From + Defined.size(),
                               To - From - Defined.size()) >= 0 &&
                  Device.write("</svg>\n") >= 0;
    }
    return Written && Device.write("</svg>\n") >= 0;
}

} // namespace sm
