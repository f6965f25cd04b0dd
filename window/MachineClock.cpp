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
    return std::max(FTime.Now(),
                    FMachineAnchor + (FWall() - FWallAnchor) * FSpeed.Machine / FSpeed.Wall);
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

void TMachineClock::SetSpeed(TSpeed Speed) {
    if (Speed.Machine < 1 || Speed.Wall < 1 || Speed == FSpeed)
        return;
    // The time so far at the old pace, from now on at the new one.
    CatchUp();
    FSpeed = Speed;
    Anchor();
    Schedule();
    emit Moved();
}

void TMachineClock::Faster() {
    const auto At = std::find(Speeds.begin(), Speeds.end(), FSpeed);
    if (At != Speeds.end() && At + 1 != Speeds.end())
        SetSpeed(*(At + 1));
}

void TMachineClock::Slower() {
    const auto At = std::find(Speeds.begin(), Speeds.end(), FSpeed);
    if (At != Speeds.begin() && At != Speeds.end())
        SetSpeed(*(At - 1));
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
    TakeHalt();
    return Stepped;
}

void TMachineClock::CatchUp() {
    if (FPaused || FCatchingUp)
        return;
    {
        const QScopedValueRollback Inside(FCatchingUp, true);
        const int64_t Until = Reading();
        const auto RunTo = [this](int64_t Moment) {
            if (FPlayback)
                FPlayback->RunTo(Moment, [this] { return FHalting; });
            else if (Moment > FTime.Now())
                FTime.Advance(Moment - FTime.Now());
        };
        for (int64_t Moment = FHaltable ? FTime.Now() : Until; !FHalting;) {
            RunTo(std::min(Moment, Until));
            if (Moment >= Until)
                break;
            // Between commands the playback stops by itself; within a wait only a timer can hit:
            // on to the next one due, not a millisecond at a time.
            const auto Next = FTime.NextDue();
            Moment = Next ? std::max(Moment + 1, *FTime.Due(*Next)) : Until;
        }
    }
    EndPlaybackIfDone();
    // The last stop may have fired on the way: no frame is needed any more.
    Schedule();
    TakeHalt();
}

void TMachineClock::TakeHalt() {
    // In the middle of a catch-up or a step, it is taken once that is over.
    if (!FHalting || FCatchingUp)
        return;
    FHalting = false;
    FPaused = true;
    Anchor();
    Schedule();
    emit Moved();
    emit Halted();
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
            // Rounded up: the catch-up then reaches the wait's end.
            Interval = static_cast<int>(std::clamp<int64_t>(
                ((*End - Reading()) * FSpeed.Wall + FSpeed.Machine - 1) / FSpeed.Machine, FrameMs,
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

void TMachineClock::Restore(const TVirtualTime& Time) {
    StopPlayback();
    FTime = Time;
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

bool TMachineClock::RunToEnd() {
    if (!FPlayback)
        return false;
    CatchUp();
    if (FPlayback) {
        const QScopedValueRollback Inside(FCatchingUp, true);
        FPlayback->RunToEnd([this] { return FHalting; });
    }
    // The wall clock goes on from the end, not from where the machine stood before.
    Anchor();
    EndPlaybackIfDone();
    Schedule();
    emit Moved();
    TakeHalt();
    return true;
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
