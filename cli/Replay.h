#pragma once

#include "cli/Exit.h"
#include "cli/Script.h"
#include "slotmachine/VirtualTime.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <ostream>

struct TReplayOptions {
    // The virtual wall clock at start-up, a reading with no zone: kept in UTC, so that no
    // daylight-saving change and no zone of the machine that replays can shift a stamp.
    QDateTime Start = DefaultStart();
    QLocale Locale; // the system's, as the window's stamp

    static QDateTime DefaultStart();
};

struct TReplayOutcome {
    // ExitRefused: the window could not have taken the action; ExitFault: the machine threw,
    // never with the machine as shipped; ExitOutput: the protocol could not be written.
    TCliExit ExitCode = ExitOk;
    int Line = 0; // where the replay stopped; 0 when it ran to the end
    QString Error;
};

// One session: the machine at the window's start-up with the script's seed, in virtual time.
class TSession {
public:
    TSession(const TMachine& StartUp, uint32_t Seed);

    TVirtualTime& Time() { return FTime; }
    TMachine& Machine() { return FTime.Machine(); }
    const TMachine& Machine() const { return FTime.Machine(); }

    // Carries out one command; an empty string, or why the window could not take it. The
    // machine's own exceptions pass through.
    QString Run(const TCommand& Command);
    // One line of what the window shows, e.g.
    // "=== bank=50 stake=0 win=0 player=50 slot=open barrels=7,7,7 A0=0 A1=0 A2=0".
    QString ShowLine() const;

private:
    QString Settle();

    TVirtualTime FTime;
};

// Plays the script and writes what the window's protocol panel would show (a stamp line, the
// message, an empty line, for every message the switches let through) and the show lines.
TReplayOutcome Replay(const TScript& Script, const TReplayOptions& Options, std::ostream& Out);
// The same on a given start-up machine: a test's machine with a planted fault.
TReplayOutcome Replay(const TScript& Script, const TReplayOptions& Options, std::ostream& Out,
                      const TMachine& StartUp);
