#pragma once

#include "sessions/Door.h"
#include "sessions/Script.h"
#include "slotmachine/VirtualTime.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>

namespace sm {

// Carries out one command on the door's machine, as the window takes it; an empty string, or why
// the window could not take it. A wait and a settle run to their end at once. The machine's own
// exceptions pass through.
QString RunCommand(TInputDoor& Door, const TCommand& Command);
// Why settling would never end (the barrels spin with no stop armed); empty when it would.
QString WhyNotSettle(const TMachine& Machine);
// No stop or pay-out timer runs: a settle is over.
bool Settled(const TMachine& Machine);
// One line of what the window shows, e.g.
// "=== bank=50 stake=0 win=0 player=50 slot=open barrels=7,7,7 A0=0 A1=0 A2=0".
QString ShowLine(const TMachine& Machine);

// One session: the machine at the window's start-up with the script's seed, in virtual time.
class TSession {
public:
    TSession(const TMachine& StartUp, uint32_t Seed);
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    TVirtualTime& Time() { return FTime; }
    TMachine& Machine() { return FTime.Machine(); }
    const TMachine& Machine() const { return FTime.Machine(); }

    QString Run(const TCommand& Command) { return RunCommand(FDoor, Command); }
    QString ShowLine() const { return sm::ShowLine(Machine()); }

private:
    TVirtualTime FTime;
    TInputDoor FDoor{FTime};
};

// The protocol's stamp of the present virtual moment: the wall clock at start-up, a reading with
// no zone, plus the milliseconds since. The reading is kept in UTC, so that no daylight-saving
// change and no zone of the machine that replays can shift a stamp. Composed once per second of
// the wall clock, whose seconds need not begin where the virtual ones do.
class TVirtualStamp {
public:
    TVirtualStamp(const QDateTime& Start, const QLocale& Locale, const TVirtualTime& Time)
        : FStart(Start), FLocale(Locale), FTime(Time), FStartMilliseconds(Start.time().msec()) {}

    QString Now();

private:
    QDateTime FStart;
    QLocale FLocale;
    const TVirtualTime& FTime;
    int64_t FStartMilliseconds;
    int64_t FSecond = -1;
    QString FStamp;
};

// A wall-clock reading as a session's start: its local date and time, with no zone.
QDateTime StartReading(const QDateTime& WallClock);

} // namespace sm
