#include "window/Timer.h"

#include "window/MachineClock.h"

namespace sm {

TTimer::TTimer(TMachineClock& Clock, TTimerId Id, QObject* Parent)
    : QObject(Parent), FClock(&Clock), FId(Id) {
    setObjectName(QLatin1String(Name(Id)));
}

const char* TTimer::Name(TTimerId Id) {
    static const char* const Names[TimerCount] = {
        "TimerSync1", "TimerSync2", "TimerSync3", "TimerB1", "TimerB2", "TimerB3", "JackTimer"};
    return Id >= 0 && Id < TimerCount ? Names[Id] : "";
}

int TTimer::Interval() const {
    return FClock ? FClock->Machine().Interval(FId) : 0;
}

std::optional<int64_t> TTimer::Remaining() const {
    if (!FClock)
        return std::nullopt;
    const auto Due = FClock->Time().Due(FId);
    if (!Due)
        return std::nullopt;
    return *Due - FClock->Now();
}

} // namespace sm
