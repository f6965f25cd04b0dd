#pragma once

#include "slotmachine/Machine.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <optional>

namespace sm {

class TMachineClock;

// One of the machine's seven timers as a control of the window: named as the machine names it,
// running while its interval is not 0. The window's clock fires it in the machine's time; there
// is no Qt timer behind it.
class TTimer : public QObject {
    Q_OBJECT

public:
    TTimer(TMachineClock& Clock, TTimerId Id, QObject* Parent = nullptr);

    TTimerId Id() const { return FId; }
    // Milliseconds; 0 while it is stopped or the machine is gone.
    int Interval() const;
    // Milliseconds of the machine's time until it fires; nothing while it is stopped.
    std::optional<int64_t> Remaining() const;

    // The machine's own name of each timer.
    static const char* Name(TTimerId Id);

private:
    QPointer<TMachineClock> FClock;
    TTimerId FId;
};

} // namespace sm
