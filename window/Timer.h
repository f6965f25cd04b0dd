#pragma once

#include <QObject>
#include <QTimer>

namespace sm {

// A millisecond timer that runs while its interval is not 0. Setting the interval it already has
// changes nothing, so a running period keeps its phase; any other value restarts the period.
class TTimer : public QObject {
    Q_OBJECT

public:
    explicit TTimer(QObject* Parent = nullptr);

    void SetInterval(int Milliseconds);
    // A new period from now, with the interval it has; nothing while it is stopped.
    void Restart();
    int Interval() const { return FInterval; }
    // How often a period was started; an unchanged interval must not add one.
    int Starts() const { return FStarts; }

signals:
    void Timer(QObject* Sender);

private:
    QTimer* FTimer;
    int FInterval = 0;
    int FStarts = 0;
};

} // namespace sm
