#pragma once

#include "slotmachine/Machine.h"
#include "window/Timer.h"

#include <array>

namespace sm {

// The Qt driver of a machine's seven timers: each is a TTimer that runs while the machine's
// interval is not 0 and starts a new period exactly when the machine set a new one.
class TTimerDriver {
public:
    // The timers are the owner's children, named as the machine names them.
    explicit TTimerDriver(QObject* Owner);

    TTimer* Timer(TTimerId Id) const { return FTimers[Id]; }
    // Takes up every interval the machine has set or stopped since the last call.
    void Sync(const TMachine& Machine);
    void StopAll();

private:
    std::array<TTimer*, TimerCount> FTimers{};
    std::array<uint32_t, TimerCount> FSeen{};
};

} // namespace sm
