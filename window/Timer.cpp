#include "window/Timer.h"

namespace sm {

TTimer::TTimer(QObject* Parent) : QObject(Parent), FTimer(new QTimer(this)) {
    // Qt makes short intervals precise anyway; say so for the long ones too.
    FTimer->setTimerType(Qt::PreciseTimer);
    connect(FTimer, &QTimer::timeout, this, [this] { emit Timer(this); });
}

void TTimer::SetInterval(int Milliseconds) {
    if (Milliseconds < 0)
        Milliseconds = 0;
    if (Milliseconds == FInterval)
        return;
    FInterval = Milliseconds;
    if (Milliseconds == 0)
        FTimer->stop();
    else {
        FTimer->start(Milliseconds);
        ++FStarts;
    }
}

void TTimer::Restart() {
    if (FInterval == 0)
        return;
    FTimer->start(FInterval);
    ++FStarts;
}

} // namespace sm
