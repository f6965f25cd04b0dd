#include "window/MachineClock.h"

#include <QElapsedTimer>
#include <QScopedValueRollback>

#include <algorithm>
#include <limits>

namespace sm {

TMachineClock::TMachineClock(QObject* Parent) : QObject(Parent) {
    QElapsedTimer Started;
    Started.start();
    FWall = [Started] { return Started.elapsed(); };
    FFrame.setTimerType(Qt::PreciseTimer);
    FFrame.setInterval(FrameMs);
    connect(&FFrame, &QTimer::timeout, this, &TMachineClock::Frame);
    Anchor();
}

TMachineClock::~TMachineClock() = default;

int64_t TMachineClock::Reading() const {
    if (FPaused)
        return FTime.Now();
    return std::max(FTime.Now(), FMachineAnchor + (FWall() - FWallAnchor) / FSlowdown);
}

void TMachineClock::Anchor() {
    FWallAnchor = FWall();
    FMachineAnchor = FTime.Now();
}

void TMachineClock::SetWallClock(TWallClock Wall) {
    CatchUp();
    FWall = std::move(Wall);
    Anchor();
}

void TMachineClock::SetSlowdown(int Slowdown) {
    if (Slowdown < 1 || Slowdown == FSlowdown)
        return;
    // The time so far at the old pace, from now on at the new one.
    CatchUp();
    FSlowdown = Slowdown;
    Anchor();
    Schedule();
    emit Moved();
}

void TMachineClock::Faster() {
    const auto At = std::find(Slowdowns.begin(), Slowdowns.end(), FSlowdown);
    if (At != Slowdowns.begin() && At != Slowdowns.end())
        SetSlowdown(*(At - 1));
}

void TMachineClock::Slower() {
    const auto At = std::find(Slowdowns.begin(), Slowdowns.end(), FSlowdown);
    if (At != Slowdowns.end() && At + 1 != Slowdowns.end())
        SetSlowdown(*(At + 1));
}

void TMachineClock::SetPaused(bool Paused) {
    if (Paused == FPaused)
        return;
    CatchUp();
    FPaused = Paused;
    Anchor();
    Schedule();
    if (!FPaused)
        CatchUp(); // a command due at this very moment runs now
    emit Moved();
}

bool TMachineClock::CanStep() const {
    return FPlayback || FTime.NextEvent().has_value();
}

bool TMachineClock::Step() {
    SetPaused(true);
    bool Stepped = false;
    {
        const QScopedValueRollback Inside(FCatchingUp, true);
        Stepped = FPlayback ? FPlayback->Step() : FTime.FireNextEvent();
    }
    Anchor();
    EndPlaybackIfDone();
    Schedule();
    emit Moved();
    return Stepped;
}

void TMachineClock::CatchUp() {
    if (FPaused || FCatchingUp)
        return;
    {
        const QScopedValueRollback Inside(FCatchingUp, true);
        const int64_t Until = Reading();
        if (FPlayback)
            FPlayback->RunTo(Until);
        else if (Until > FTime.Now())
            FTime.Advance(Until - FTime.Now());
    }
    EndPlaybackIfDone();
    // The last stop may have fired on the way: no frame is needed any more.
    Schedule();
}

void TMachineClock::RunTo(int64_t Moment) {
    {
        const QScopedValueRollback Inside(FCatchingUp, true);
        if (FPlayback)
            FPlayback->RunTo(Moment);
        else if (Moment > FTime.Now())
            FTime.Advance(Moment - FTime.Now());
    }
    Anchor();
    EndPlaybackIfDone();
    Schedule();
    emit Moved();
}

void TMachineClock::Frame() {
    CatchUp();
    emit Moved();
}

void TMachineClock::Schedule() {
    bool Running = false;
    for (int32_t Timer = 0; Timer < TimerCount && !Running; ++Timer)
        Running = FTime.Machine().Interval(TTimerId(Timer)) != 0;
    if (FPaused || (!Running && !FPlayback)) {
        FFrame.stop();
        return;
    }
    int Interval = FrameMs;
    // A script waiting with no timer running has nothing to show until its wait ends.
    if (!Running)
        if (const auto End = FPlayback->WaitEnd())
            Interval = static_cast<int>(std::clamp<int64_t>((*End - Reading()) * FSlowdown, FrameMs,
                                                            std::numeric_limits<int>::max()));
    if (!FFrame.isActive() || FFrame.interval() != Interval)
        FFrame.start(Interval);
}

void TMachineClock::StartAnew(const TMachine& StartUp) {
    StopPlayback();
    FTime = TVirtualTime(StartUp);
    Anchor();
    Schedule();
    emit Moved();
}

void TMachineClock::StartNow() {
    Anchor();
}

void TMachineClock::Play(TCommandList Commands) {
    CatchUp();
    FPlayback = std::make_unique<TPlayback>(std::move(Commands), FDoor);
    Anchor();
    CatchUp();
    Schedule();
    emit Moved();
}

void TMachineClock::StopPlayback() {
    FPlayback.reset();
    Schedule();
}

void TMachineClock::EndPlaybackIfDone() {
    if (!FPlayback || !FPlayback->Finished())
        return;
    const auto Error = FPlayback->Error();
    FPlayback.reset();
    Schedule();
    emit PlaybackEnded(Error ? Error->Line : 0, Error ? Error->Message : QString());
}

} // namespace sm
