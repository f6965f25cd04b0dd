#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
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

// Paces the repaints of the changing pictures of one window: at most one a screen frame, all that
// changed since the last one together, so that three barrels stepped by their own timers cost one
// paint pass and one flush to the display a frame, not one per step.
class TRepaintPacer : public QObject {
    Q_OBJECT

public:
    // Milliseconds between two repaints: a screen frame.
    static constexpr int Interval = 16;

    // The pacer of the widget's window, made on first use.
    static TRepaintPacer* Of(QWidget* Widget);

    // The first change after a quiet frame repaints at once; later ones wait for the next frame.
    void Request(QWidget* Widget);
    bool Waiting() const { return FTimer.isActive(); }
    // Repaints what waits, as the next screen frame does.
    void Flush();

private:
    explicit TRepaintPacer(QWidget* Window);

    QTimer FTimer;
    QElapsedTimer FLast;
    QList<QPointer<QWidget>> FWaiting;
};

// An image of numbered frames that shows one frame at a time and never changes by itself.
class TFrameImage : public TImage {
    Q_OBJECT

public:
    TFrameImage(int FrameCount, QWidget* Parent = nullptr);

    void SetFrames(const QList<QPixmap>& Frames);
    // The current index, or one outside the frames, changes nothing and repaints nothing.
    void SetFrameIndex(int Index);
    int FrameIndex() const { return FFrameIndex; }
    int FrameCount() const { return FFrameCount; }

private:
    void ScheduleRepaint();

    QList<QPixmap> FFrames;
    int FFrameCount;
    int FFrameIndex = 0;
    QPointer<TRepaintPacer> FPacer;
};

} // namespace sm
