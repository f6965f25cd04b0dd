#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

// A picture that calls its handler when clicked; hidden, it is neither drawn nor clickable.
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

// Tells assistive technology that a picture with a click handler is a button it can press.
void InstallImageAccessibility();

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

    // Milliseconds between two repaints of a changing frame: a screen frame.
    static constexpr int RepaintInterval = 16;

private:
    void ScheduleRepaint();
    void Repaint();

    QList<QPixmap> FFrames;
    int FFrameCount;
    int FFrameIndex = 0;
    QElapsedTimer FLastRepaint;
    QTimer* FRepaintTimer;
};
