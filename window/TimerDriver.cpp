#include "window/TimerDriver.h"

namespace sm {

TTimerDriver::TTimerDriver(QObject* Owner) {
    static const char* const Names[TimerCount] = {
        "TimerSync1", "TimerSync2", "TimerSync3", "TimerB1", "TimerB2", "TimerB3", "JackTimer"};
    for (int32_t Id = 0; Id < TimerCount; ++Id) {
        FTimers[Id] = new TTimer(Owner);
        FTimers[Id]->setObjectName(QLatin1String(Names[Id]));
    }
}

void TTimerDriver::Sync(const TMachine& Machine) {
    for (int32_t Id = 0; Id < TimerCount; ++Id) {
        const TTimerState& State = Machine.Timer(TTimerId(Id));
        if (State.Generation == FSeen[Id])
            continue;
        FSeen[Id] = State.Generation;
        // Set away and back within one input: still a new period.
        if (State.Interval != 0 && State.Interval == FTimers[Id]->Interval())
            FTimers[Id]->Restart();
        else
            FTimers[Id]->SetInterval(State.Interval);
    }
}

void TTimerDriver::StopAll() {
    for (TTimer* Timer : FTimers)
        Timer->SetInterval(0);
}

} // namespace sm
