#pragma once

#include "window/MachineClock.h"

#include <QLabel>

#include <functional>

namespace sm {

// A line on the machine's window that says how its clock runs when it is not plainly running at
// 1×: paused, slower or faster, playing a session (and which). Hidden otherwise, so that the
// window looks as it always did; it takes free room and moves no control.
class TClockState : public QLabel {
    Q_OBJECT

public:
    // The path of the session being played, empty when none plays.
    using TPlaying = std::function<QString()>;

    TClockState(TMachineClock& Clock, TPlaying Playing, QWidget* Parent);

    // Reads the clock and the session anew; the clock's moves call it.
    void Refresh();
    // «Пауза · скорость ½× · сеанс «игра.session»», empty at 1× with nothing played.
    static QString Text(bool Paused, TMachineClock::TSpeed Speed, const QString& Session);

private:
    TMachineClock& FClock;
    TPlaying FPlaying;
    QString FShown;
    QString FSession;
};

} // namespace sm
