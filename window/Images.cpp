#include "window/Images.h"

#include "window/ControlsAccessible.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>

#include <utility>

namespace sm {

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
    // Plain pictures are buttons; the barrels are pictures that take no clicks.
    if (IsClass<TImage>(Class))
        return new TImageAccessible(static_cast<TImage*>(Object));
    if (IsClass<TFrameImage>(Class))
        return new QAccessibleWidget(static_cast<QWidget*>(Object), QAccessible::Graphic);
    return nullptr;
}

} // namespace

TImage::TImage(QWidget* Parent) : QWidget(Parent) {
    // A screen reader that already runs asks for each widget as it is made and keeps what it got.
    // A second install changes nothing.
    QAccessible::installFactory(ImageAccessibility);
}

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
    : TImage(Parent), FFrameCount(FrameCount) {}

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
        FUnpainted = true;
    }
}

void TFrameImage::UpdateFrame() {
    // Updated itself: an update of its parent would paint nothing of it, since Qt leaves out
    // what an opaque child covers.
    if (std::exchange(FUnpainted, false))
        update();
}

} // namespace sm
