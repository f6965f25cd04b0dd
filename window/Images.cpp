#include "window/Images.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>

TImage::TImage(QWidget* Parent) : QWidget(Parent) {}

void TImage::SetPicture(const QPixmap& Picture) {
    FPicture = Picture;
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    if (FPicture.isNull())
        return;
    QPainter Painter(this);
    // Scaled proportionally into the control; at its own size it is drawn as it is.
    const QSize Size =
        FPicture.deviceIndependentSize().toSize().scaled(size(), Qt::KeepAspectRatio);
    Painter.drawPixmap(QRect(QPoint(0, 0), Size), FPicture);
}

void TImage::mousePressEvent(QMouseEvent* Event) {
    FPressed = Event->button() == Qt::LeftButton;
}

void TImage::mouseReleaseEvent(QMouseEvent* Event) {
    const bool Clicked = FPressed && Event->button() == Qt::LeftButton &&
                         rect().contains(Event->position().toPoint());
    FPressed = false;
    if (Clicked)
        emit Click(this);
}

TFrameImage::TFrameImage(int FrameCount, QWidget* Parent)
    : TImage(Parent), FFrameCount(FrameCount), FRepaintTimer(new QTimer(this)) {
    FRepaintTimer->setSingleShot(true);
    FRepaintTimer->setTimerType(Qt::PreciseTimer);
    connect(FRepaintTimer, &QTimer::timeout, this, &TFrameImage::Repaint);
}

void TFrameImage::SetFrames(const QList<QPixmap>& Frames) {
    FFrames = Frames;
    if (FFrameIndex < FFrames.size())
        SetPicture(FFrames[FFrameIndex]);
}

void TFrameImage::SetFrameIndex(int Index) {
    if (Index == FFrameIndex || Index < 0 || Index >= FFrameCount)
        return;
    FFrameIndex = Index;
    if (Index < FFrames.size()) {
        FPicture = FFrames[Index];
        ScheduleRepaint();
    }
}

// A barrel stepped every millisecond would be repainted a thousand times a second while the
// screen shows sixty pictures: repaint at most once a screen frame, always with the latest index.
void TFrameImage::ScheduleRepaint() {
    if (FRepaintTimer->isActive())
        return;
    const qint64 Since = FLastRepaint.isValid() ? FLastRepaint.elapsed() : RepaintInterval;
    if (Since >= RepaintInterval)
        Repaint();
    else
        FRepaintTimer->start(static_cast<int>(RepaintInterval - Since));
}

void TFrameImage::Repaint() {
    FLastRepaint.start();
    update();
}

namespace {

// A clickable picture as a button: its role, its name and a press action that clicks it.
class TImageAccessible : public QAccessibleWidget {
public:
    explicit TImageAccessible(TImage* Image) : QAccessibleWidget(Image, QAccessible::Button) {}

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& Action) override {
        if (Action == pressAction() && widget()->isVisible())
            emit static_cast<TImage*>(widget())->Click(widget());
    }
};

QAccessibleInterface* ImageAccessibility(const QString& Class, QObject* Object) {
    // Only plain pictures are pressed; the barrels show frames and take no clicks.
    if (Class == QLatin1String("TImage"))
        return new TImageAccessible(static_cast<TImage*>(Object));
    return nullptr;
}

} // namespace

void InstallImageAccessibility() {
    static const bool Installed = [] {
        QAccessible::installFactory(ImageAccessibility);
        return true;
    }();
    Q_UNUSED(Installed);
}
