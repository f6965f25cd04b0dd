#pragma once

#include <QDateTime>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <functional>

namespace sm {

class THistoryControl;
class TMachineClock;

// The session from start-up to its latest moment: a mark for every moment (the player's moves
// reach higher than the timers' events; where marks crowd, one a pixel), and a cursor at the
// machine's present. A click or a drag jumps; with the focus, Left and Right step, Home goes to
// start-up and End to the latest moment. A screen reader reads the present moment: its stamp and
// what happened there; a refusal is said in the same place.
class TSessionTimeline : public QWidget {
    Q_OBJECT

public:
    TSessionTimeline(THistoryControl& Control, TMachineClock& Clock,
                     std::function<QDateTime()> SessionStart, QWidget* Parent = nullptr);

    // "09.12.2026 12:00:01: игрок, Жетон: A1 получает e10 «…»", as read.
    QString MomentText(size_t Moment) const;
    // The moment a point of the bar stands for; points past either end stand for that end.
    size_t MomentAt(int X) const;
    // Where the bar shows a millisecond.
    int XOf(int64_t Ms) const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    void Said(const QString& Why);
    void ShowPresent();
    QRect Bar() const;
    int64_t Span() const;

    THistoryControl& FControl;
    TMachineClock& FClock;
    std::function<QDateTime()> FSessionStart;
    QString FText;
};

} // namespace sm
