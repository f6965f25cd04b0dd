#pragma once

#include "sessions/Door.h"
#include "sessions/Playback.h"
#include "slotmachine/VirtualTime.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace sm {

// The window's machine in virtual time, paced by the wall clock: once a screen frame, and before
// every input, the machine's time moves on by the wall time that passed, times the speed; paused,
// it holds. Inputs are taken at the machine's present millisecond. A session script
// played here runs on the same clock, so it can be slowed down, paused and stepped too.
class TMachineClock : public QObject {
    Q_OBJECT

public:
    // Milliseconds on a steady clock from any fixed moment; a test gives its own.
    using TWallClock = std::function<int64_t()>;
    // Milliseconds between two catch-ups while a timer runs: a screen frame.
    static constexpr int FrameMs = 16;
    // A speed: the machine's milliseconds that so many of the wall clock's make.
    struct TSpeed {
        int Machine = 1;
        int Wall = 1;
        bool operator==(const TSpeed&) const = default;
    };
    // The speeds offered, slowest first: from a hundred times slower than the wall clock to ten
    // times faster.
    static constexpr std::array<TSpeed, 8> Speeds = {
        {{1, 100}, {1, 10}, {1, 4}, {1, 2}, {1, 1}, {2, 1}, {5, 1}, {10, 1}}};

    explicit TMachineClock(QObject* Parent = nullptr);
    ~TMachineClock() override;

    TVirtualTime& Time() { return FTime; }
    const TVirtualTime& Time() const { return FTime; }
    TMachine& Machine() { return FTime.Machine(); }
    const TMachine& Machine() const { return FTime.Machine(); }
    // The machine's milliseconds since start-up.
    int64_t Now() const { return FTime.Now(); }
    // The moment the machine reaches at the next catch-up.
    int64_t Reading() const;

    void SetWallClock(TWallClock Wall);
    // The wall clock it paces the machine by.
    int64_t WallNow() const { return FWall(); }
    TSpeed Speed() const { return FSpeed; }
    void SetSpeed(TSpeed Speed);
    // One speed faster or slower; nothing beyond the ends.
    void Faster();
    void Slower();
    bool Paused() const { return FPaused; }
    void SetPaused(bool Paused);
    // Pauses, then runs the machine (and the script being played) to the next moment at which an
    // automaton receives an event, and stops there. False when nothing is ahead.
    bool Step();
    // Whether a step would find an event: a stop or pay-out timer runs, or a script plays.
    bool CanStep() const;

    // Moves the machine's time on to the reading.
    void CatchUp();
    // Runs the machine and the script being played on to the moment at once, paused or not.
    void RunTo(int64_t Moment);
    // A screen frame: the machine catches up and its views show it, the barrels included. The
    // frame timer calls it; a test on its own wall clock calls it instead of waiting.
    void Frame();
    // An input at the present moment, after catching up.
    template <class TAction> void Do(TAction&& Action) {
        CatchUp();
        FTime.Do(std::forward<TAction>(Action));
        Schedule();
        TakeHalt();
    }
    // Asked while an input is handled, by a breakpoint it hit: once the input is over, the clock
    // pauses at that moment and goes no further.
    void Halt() { FHalting = true; }
    // While something may halt it, the clock catches up a millisecond at a time, so that it
    // stops at the moment of the hit, not at the end of a screen frame.
    void SetHaltable(bool Haltable) { FHaltable = Haltable; }
    // A new machine from start-up, at moment 0, in place: its observers and sink stay.
    void StartAnew(const TMachine& StartUp);
    // The machine and its moment as another time holds them, in place: its observers and sink
    // stay, a playback ends. Going back in the session's history lands here.
    void Restore(const TVirtualTime& Time);
    // The machine's moment 0 is now, not when the clock was made: at start-up, once the window
    // it runs in is built. Nothing may have happened yet.
    void StartNow();

    // The way in for the user's inputs and a script's: taken at the present moment, without
    // catching up first (the user's input catches up before it knocks).
    TInputDoor& Door() { return FDoor; }

    // Plays the commands from the present moment, taking the player's and log commands through
    // the door.
    void Play(TCommandList Commands);
    // Runs the playback at once to its end, in virtual time without pacing; the clock then goes on
    // from there as it was, paused or not. False when nothing plays.
    bool RunToEnd();
    // Ends the playback where it stands; the machine stays live.
    void StopPlayback();
    bool Playing() const { return FPlayback != nullptr; }
    // Whether the frame timer runs: only while the machine has a timer running or a script
    // plays, and never while paused.
    bool Ticking() const { return FFrame.isActive(); }
    // Whether a frame comes within a screen frame's time, so that a change can wait for it.
    bool FrameComing() const { return Ticking() && FrameInterval() <= FrameMs; }
    // Milliseconds of wall time to the next catch-up while ticking: a frame, or the end of a
    // script's wait when no timer runs.
    int FrameInterval() const { return FFrame.interval(); }

signals:
    // The machine's time moved, or the speed or pause changed.
    void Moved();
    // The playback ran to its end, or stopped at a command it could not take (Line is then that
    // command's line, from 1); not sent by StopPlayback.
    void PlaybackEnded(int Line, const QString& Error);
    // Paused by a Halt.
    void Halted();

private:
    // Starts or stops the frame timer as the machine needs it.
    void Schedule();
    // The wall clock and the machine's time are tied anew at this moment.
    void Anchor();
    void EndPlaybackIfDone();
    // Pauses if a Halt was asked.
    void TakeHalt();

    TVirtualTime FTime;
    TInputDoor FDoor{FTime, [this] {
                         Schedule();
                         TakeHalt();
                     }};
    TWallClock FWall;
    int64_t FWallAnchor = 0;
    int64_t FMachineAnchor = 0;
    TSpeed FSpeed;
    bool FPaused = false;
    bool FCatchingUp = false; // what a catch-up sets off must not start another
    bool FHaltable = false;
    bool FHalting = false;
    QTimer FFrame;
    std::unique_ptr<TPlayback> FPlayback;
};

} // namespace sm
