#pragma once

#include <QList>
#include <QPixmap>
#include <QWidget>

namespace sm {

// A picture that calls its handler when clicked; hidden, it is neither drawn nor clickable. To
// assistive technology it is a button it can press.
class TImage : public QWidget {
    Q_OBJECT

public:
    explicit TImage(QWidget* Parent = nullptr);

    void SetPicture(const QPixmap& Picture);

signals:
    void Click(QObject* Sender);

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

    QPixmap FPicture;

private:
    bool FPressed = false;
};

// An image of numbered frames that shows one frame at a time and never changes by itself. Its
// owner paces the paints: a barrel stepped every millisecond is painted once a screen frame.
class TFrameImage : public TImage {
    Q_OBJECT

public:
    TFrameImage(int FrameCount, QWidget* Parent = nullptr);

    void SetFrames(const QList<QPixmap>& Frames);
    // The current index, or one outside the frames, changes nothing. A new one is painted at the
    // next UpdateFrame.
    void SetFrameIndex(int Index);
    int FrameIndex() const { return FFrameIndex; }
    int FrameCount() const { return FFrameCount; }
    // Asks for a paint of the frame set since the last call; nothing when none was.
    void UpdateFrame();

private:
    QList<QPixmap> FFrames;
    int FFrameCount;
    int FFrameIndex = 0;
    bool FUnpainted = false;
};

} // namespace sm
