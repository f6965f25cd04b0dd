#include "slotmachine/VirtualTime.h"

#include <algorithm>

namespace sm {

TVirtualTime::TVirtualTime() {
    for (int32_t Timer = 0; Timer < TimerCount; ++Timer)
        FSeen[Timer] = FMachine.Timer(TTimerId(Timer)).Generation;
}

TVirtualTime& TVirtualTime::operator=(const TVirtualTime& Other) {
    if (this == &Other)
        return *this;
    FMachine = Other.FMachine;
    FNow = Other.FNow;
    FDue = Other.FDue;
    // Assigning marks every timer as set; their due times are the other's all the same.
    for (int32_t Timer = 0; Timer < TimerCount; ++Timer)
        FSeen[Timer] = FMachine.Timer(TTimerId(Timer)).Generation;
    return *this;
}

TVirtualTime::TVirtualTime(const TMachine& Machine) : FMachine(Machine) {
    for (int32_t Timer = 0; Timer < TimerCount; ++Timer) {
        FSeen[Timer] = FMachine.Timer(TTimerId(Timer)).Generation;
        FDue[Timer] = FMachine.Interval(TTimerId(Timer));
    }
}

void TVirtualTime::Restore(const TState& State) {
    FMachine.Restore(State.Machine);
    FNow = State.Now;
    FDue = State.Due;
    // The restore counts as setting every timer; their due times are the state's all the same.
    for (int32_t Timer = 0; Timer < TimerCount; ++Timer)
        FSeen[Timer] = FMachine.Timer(TTimerId(Timer)).Generation;
}

std::optional<int64_t> TVirtualTime::Due(TTimerId Timer) const {
    if (FMachine.Interval(Timer) == 0)
        return std::nullopt;
    return FDue[Timer];
}

void TVirtualTime::Rearm() {
    for (int32_t Timer = 0; Timer < TimerCount; ++Timer) {
        const TTimerState& State = FMachine.Timer(TTimerId(Timer));
        if (State.Generation == FSeen[Timer])
            continue;
        FSeen[Timer] = State.Generation;
        FDue[Timer] = FNow + State.Interval;
    }
}

std::optional<TTimerId> TVirtualTime::FirstDue(TTimerId From) const {
    std::optional<TTimerId> Next;
    for (int32_t Timer = From; Timer < TimerCount; ++Timer) {
        const auto When = Due(TTimerId(Timer));
        // Strictly earlier only: at the same moment the lower number goes first.
        if (When && (!Next || *When < FDue[*Next]))
            Next = TTimerId(Timer);
    }
    return Next;
}

std::optional<TTimerId> TVirtualTime::NextDue() const {
    return FirstDue(TimerSync1);
}

std::optional<TTimerId> TVirtualTime::NextEvent() const {
    return FirstDue(TimerB1);
}

bool TVirtualTime::FireNextEvent() {
    const auto Next = NextEvent();
    if (!Next)
        return false;
    SpinUntil(FDue[*Next]);
    Fire(*Next);
    return true;
}

void TVirtualTime::Fire(TTimerId Timer) {
    FNow = FDue[Timer];
    // The next period follows this one exactly, unless the handler stops or resets the timer.
    FDue[Timer] += FMachine.Interval(Timer);
    const TRearm Rearm(*this);
    FMachine.TimerFired(Timer);
}

void TVirtualTime::SpinUntil(int64_t Until) {
    // At the same moment a spin tick comes before any other timer, so every tick due by then
    // has fired before the other timer does.
    const TRearm Rearm(*this);
    for (const TTimerId Spin : {TimerSync1, TimerSync2, TimerSync3}) {
        const int32_t Interval = FMachine.Interval(Spin);
        if (Interval == 0 || FDue[Spin] > Until)
            continue;
        const int64_t Ticks = (Until - FDue[Spin]) / Interval + 1;
        FNow = std::max(FNow, FDue[Spin] + (Ticks - 1) * Interval);
        FDue[Spin] += Ticks * Interval;
        FMachine.SpinTicks(Spin, Ticks);
    }
}

void TVirtualTime::Advance(int64_t Milliseconds) {
    const int64_t Until = FNow + std::max<int64_t>(Milliseconds, 0);
    for (;;) {
        const auto Event = NextEvent();
        SpinUntil(Event ? std::min(FDue[*Event], Until) : Until);
        const auto Next = NextDue();
        if (!Next || FDue[*Next] > Until)
            break;
        Fire(*Next);
    }
    FNow = Until;
}

bool TVirtualTime::FireNext() {
    const auto Next = NextDue();
    if (!Next)
        return false;
    Fire(*Next);
    return true;
}

} // namespace sm
