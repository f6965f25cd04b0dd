#pragma once

#include "slotmachine/Machine.h"

#include <array>
#include <cstdint>
#include <optional>

namespace sm {

// Runs a machine in virtual time, with no clock and no sleeping. A timer set at moment t with
// interval i falls due at t + i, t + 2i, ... exactly, until it is stopped or set anew. Timers
// due at the same millisecond fire in the order of TTimerId: TimerSync1, TimerSync2,
// TimerSync3, TimerB1, TimerB2, TimerB3, JackTimer. Later tools and tests rely on this order.
// Spin ticks change nothing but their barrel's frame, so a run of them before the next other
// timer is taken in one step; the frames come out as if each tick had fired.
// A value: a copy runs on from the same moment, independently.
class TVirtualTime {
public:
    TVirtualTime();
    explicit TVirtualTime(const TMachine& Machine);
    TVirtualTime(const TVirtualTime& Other) = default;
    // Runs on from the other's moment, with its timers due when they were.
    TVirtualTime& operator=(const TVirtualTime& Other);
    ~TVirtualTime() = default;

    TMachine& Machine() { return FMachine; }
    const TMachine& Machine() const { return FMachine; }
    // Milliseconds since start-up.
    int64_t Now() const { return FNow; }
    // When the timer fires next, if it runs.
    std::optional<int64_t> Due(TTimerId Timer) const;

    // An input at the present moment; timers it sets count from now.
    template <class TAction> void Do(TAction&& Action) {
        const TRearm Rearm(*this);
        Action(FMachine);
    }
    // The machine with its moment and the timers' due times: a few hundred bytes that a history
    // keeps many of. Restored, the time runs on from that moment as it did then.
    struct TState {
        TMachineSnapshot Machine;
        int64_t Now = 0;
        std::array<int64_t, TimerCount> Due{};
    };
    TState State() const { return {FMachine.Snapshot(), FNow, FDue}; }
    void Restore(const TState& State);

    // Time goes on by the given milliseconds; every timer that falls due fires on the way.
    void Advance(int64_t Milliseconds);
    // Time goes on to the next moment a timer is due, and the first timer due then fires. False,
    // and nothing happens, when no timer runs.
    bool FireNext();
    // The timer that would fire next, if any.
    std::optional<TTimerId> NextDue() const;
    // The stop or pay-out timer that fires next, if any runs.
    std::optional<TTimerId> NextEvent() const;
    // Time goes on to the next stop or pay-out timer, which fires after every spin tick due by
    // then. False, and nothing happens, when none runs.
    bool FireNextEvent();

private:
    // Takes up every timer the machine has set or stopped, after an input or a tick.
    class TRearm {
    public:
        explicit TRearm(TVirtualTime& Time) : FTime(Time) {}
        ~TRearm() { FTime.Rearm(); }
        TRearm(const TRearm&) = delete;
        TRearm& operator=(const TRearm&) = delete;

    private:
        TVirtualTime& FTime;
    };

    // The running timer from From on that is due first.
    std::optional<TTimerId> FirstDue(TTimerId From) const;
    void Rearm();
    void Fire(TTimerId Timer);
    // Fires every spin tick due up to the moment Until, at once per barrel.
    void SpinUntil(int64_t Until);

    TMachine FMachine;
    int64_t FNow = 0;
    std::array<int64_t, TimerCount> FDue{};
    std::array<uint32_t, TimerCount> FSeen{};
};

} // namespace sm
