#include "window/Pictures.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QImage>

namespace sm {

namespace {

// Two sets at most (plain and double size); dropped with the application, because pixmaps must
// not outlive the platform that holds them.
struct TPictureCache {
    QHash<QString, QPixmap> Pixmaps;
    QHash<int, QList<QPixmap>> Barrels;
    QIcon Icon;
};

TPictureCache* Cache = nullptr;

void DropCache() {
    delete Cache;
    Cache = nullptr;
}

TPictureCache& TheCache() {
    if (!Cache) {
        Cache = new TPictureCache;
        qAddPostRoutine(DropCache);
    }
    return *Cache;
}

int ScaleFor(qreal DevicePixelRatio) {
    return DevicePixelRatio > 1 ? 2 : 1;
}

qreal ApplicationRatio() {
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

QImage LoadImage(const QString& Name, int Scale) {
    const QString Suffix = Scale > 1 ? QStringLiteral("@2x.png") : QStringLiteral(".png");
    return QImage(QStringLiteral(":/pictures/") + Name + Suffix);
}

QPixmap Cached(const QString& Name, int Scale, bool KeyedBackground) {
    const QString Key = Name + QLatin1Char('@') + QString::number(Scale);
    TPictureCache& Pictures = TheCache();
    if (const auto Found = Pictures.Pixmaps.constFind(Key); Found != Pictures.Pixmaps.cend())
        return *Found;
    QImage Image = LoadImage(Name, Scale);
    if (KeyedBackground && !Image.isNull()) {
        // The coins are drawn on a flat colour; every pixel of the bottom-left one is background.
        Image = Image.convertToFormat(QImage::Format_ARGB32);
        const QRgb Background = Image.pixel(0, Image.height() - 1);
        for (int Y = 0; Y < Image.height(); ++Y) {
            auto* Line = reinterpret_cast<QRgb*>(Image.scanLine(Y));
            for (int X = 0; X < Image.width(); ++X)
                if (Line[X] == Background)
                    Line[X] = qRgba(0, 0, 0, 0);
        }
    }
    QPixmap Pixmap = QPixmap::fromImage(Image);
    Pixmap.setDevicePixelRatio(Scale);
    Pictures.Pixmaps.insert(Key, Pixmap);
    return Pixmap;
}

} // namespace

QPixmap TokenPixmap(qreal DevicePixelRatio) {
    return Cached(QStringLiteral("token"), ScaleFor(DevicePixelRatio), true);
}

QPixmap BadTokenPixmap(qreal DevicePixelRatio) {
    return Cached(QStringLiteral("badtoken"), ScaleFor(DevicePixelRatio), true);
}

QPixmap PlayPixmap(qreal DevicePixelRatio) {
    return Cached(QStringLiteral("play"), ScaleFor(DevicePixelRatio), false);
}

QPixmap ReturnPixmap(qreal DevicePixelRatio) {
    return Cached(QStringLiteral("return"), ScaleFor(DevicePixelRatio), false);
}

QList<QPixmap> BarrelFrames(qreal DevicePixelRatio) {
    const int Scale = ScaleFor(DevicePixelRatio);
    TPictureCache& Pictures = TheCache();
    if (const auto Found = Pictures.Barrels.constFind(Scale); Found != Pictures.Barrels.cend())
        return *Found;
    const QPixmap Strip = QPixmap::fromImage(LoadImage(QStringLiteral("barrel"), Scale));
    QList<QPixmap> Frames;
    Frames.reserve(BarrelFrameCount);
    for (int Frame = 0; Frame < BarrelFrameCount; ++Frame) {
        QPixmap One = Strip.copy(0, Frame * BarrelFrameHeight * Scale, BarrelFrameWidth * Scale,
                                 BarrelFrameHeight * Scale);
        One.setDevicePixelRatio(Scale);
        Frames.append(One);
    }
    Pictures.Barrels.insert(Scale, Frames);
    return Frames;
}

QPixmap TokenPixmap() {
    return TokenPixmap(ApplicationRatio());
}
QPixmap BadTokenPixmap() {
    return BadTokenPixmap(ApplicationRatio());
}
QPixmap PlayPixmap() {
    return PlayPixmap(ApplicationRatio());
}
QPixmap ReturnPixmap() {
    return ReturnPixmap(ApplicationRatio());
}
QList<QPixmap> BarrelFrames() {
    return BarrelFrames(ApplicationRatio());
}

QIcon ApplicationIcon() {
    TPictureCache& Pictures = TheCache();
    if (Pictures.Icon.isNull()) {
        // Drawn for each size, so small ones are not blurred copies of the large one.
        for (const int Size : {32, 48, 64, 128})
            Pictures.Icon.addFile(QStringLiteral(":/pictures/icon_%1.png").arg(Size),
                                  QSize(Size, Size));
        Pictures.Icon.addFile(QStringLiteral(":/pictures/icon.png"), QSize(256, 256));
    }
    return Pictures.Icon;
}

} // namespace sm
