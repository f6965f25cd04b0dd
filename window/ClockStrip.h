#pragma once

#include "slotmachine/Machine.h"
#include "window/MachineClock.h"

#include <QBasicTimer>
#include <QDateTime>
#include <QWidget>

#include <functional>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QToolButton;

namespace sm {

// The machine's clock at a glance, above the diagrams: pause and go on, one step, the speed, the
// machine's time of day as the protocol stamps it, and what each running timer has left.
class TClockStrip : public QWidget, private TMachineObserver {
    Q_OBJECT

public:
    using TSessionStart = std::function<QDateTime()>;
    // While the machine runs with no timer, no frame moves its time, yet the reading goes on.
    static constexpr int IdleMs = 200;
    // Sixty texts a second are more than an eye reads, and each repaints the strip: while the
    // clock runs, its frames refresh the texts this often.
    static constexpr int FrameRefreshMs = 100;

    // Actions are the window's clock actions, found by their object names.
    TClockStrip(TMachineClock& Clock, const std::vector<QAction*>& Actions, TSessionStart Start,
                QWidget* Parent = nullptr);
    ~TClockStrip() override;

    // The handler of Moved and of the idle timer: every text from the clock as it stands.
    void Refresh();
    // Whether the idle timer runs: only while shown and not paused.
    bool Idling() const { return FIdle.isActive(); }
    // «1×», «½×», «¼×», «1/10×», «2×»...
    static QString SpeedText(TMachineClock::TSpeed Speed);

    QToolButton* PauseButton() const { return FPause; }
    QToolButton* StepButton() const { return FStep; }
    QToolButton* BackButton() const { return FBack; }
    QComboBox* SpeedBox() const { return FSpeed; }
    QLabel* ClockLabel() const { return FTimeOfDay; }
    QLabel* TimersLabel() const { return FTimers; }
    // Which breakpoint paused the clock, said to a screen reader too; gone once it goes on.
    void ShowHalt(const QString& Text);
    QLabel* HaltLabel() const { return FHalt; }

protected:
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void timerEvent(QTimerEvent* Event) override;

private:
    void MachineChanged(unsigned Changes) noexcept override;
    // The clock moved: a frame, a step, a new speed or pause.
    void ClockMoved();
    QString TimersText(int64_t Reading) const;

    TMachineClock& FClock;
    TSessionStart FStart;
    QAction* FPauseAction;
    QToolButton* FPause;
    QToolButton* FStep;
    QToolButton* FBack = nullptr;
    QComboBox* FSpeed;
    QLabel* FTimeOfDay;
    QLabel* FTimers;
    QLabel* FHalt;
    QString FPauseTip;
    QString FGoOnTip;
    bool FShown = false;
    bool FRefreshPosted = false;
    int64_t FRefreshed = 0; // the wall clock at the last refresh
    TMachineClock::TSpeed FRefreshedSpeed{0, 0};
    bool FRefreshedPaused = false;
    QBasicTimer FIdle;
};

} // namespace sm
