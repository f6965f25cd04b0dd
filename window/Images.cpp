#include "window/Images.h"

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
