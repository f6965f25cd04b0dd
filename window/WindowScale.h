#pragma once

#include <QFont>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStyle>

#include <array>
#include <memory>

class QFrame;
class QStyle;
class QWidget;

namespace sm {

class TSlotMachine;

// The machine's window for a lecture hall: Ctrl+plus, Ctrl+minus and Ctrl+0 scale the whole
// window as one picture, every control's place and size and every font by one factor from the
// design's, so its layout and proportions stay; the pictures are drawn from the set made for
// the size they are shown at. Maximized or full screen, it scales to fill the screen. The
// scale chosen is kept for the next start.
class TWindowScale : public QObject {
    Q_OBJECT

public:
    static constexpr std::array<qreal, 8> Steps = {0.75, 1, 1.25, 1.5, 1.75, 2, 2.5, 3};

    explicit TWindowScale(TSlotMachine& Window);

    // The scale chosen by the keys (a maximized window shows another, to fit).
    qreal Scale() const { return FScale; }
    // The scale the window is shown at.
    qreal Shown() const { return FShown; }
    void SetScale(qreal Scale);
    void Larger();
    void Smaller();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // Every control at the factor, the whole shifted by Offset inside the window.
    void Apply(qreal Factor, QPoint Offset);
    QFont FontAt(qreal Factor) const;
    // The scale for the window as it now is: the chosen one, or to fill a maximized window.
    void Follow();

    TSlotMachine& FWindow;
    QSize FDesignSize;
    int FDesignFontPixels = 0;
    QHash<QWidget*, QRect> FDesign;   // every control's place in the design
    QHash<QFrame*, int> FDesignLines; // and its frame's lines
    qreal FScale = 1;
    qreal FShown = 1;
    QPoint FOffset;
    bool FApplying = false;
    std::unique_ptr<QStyle> FStyle; // the controls' style while scaled
};

} // namespace sm
