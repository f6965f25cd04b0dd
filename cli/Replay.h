#pragma once

#include "cli/Exit.h"
#include "sessions/Coverage.h"
#include "sessions/Script.h"
#include "sessions/Session.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>
#include <ostream>

namespace sm {

struct TReplayOptions {
    // The virtual wall clock at start-up, a reading with no zone kept in UTC. Given, it goes
    // before the script's start line, so that a recorded session can be shown on another day;
    // otherwise the script's start line, otherwise DefaultStart().
    std::optional<QDateTime> Start;
    QLocale Locale;           // the system's, as the window's stamp
    bool Coverage = false;    // count the rows taken and the states entered
    bool StopAtBreak = false; // end once an input has hit a breakpoint

    static QDateTime DefaultStart();
    QDateTime StartOf(const TScript& Script) const;
};

struct TReplayOutcome {
    // ExitRefused: the window could not have taken the action; ExitFault: the machine threw,
    // never with the machine as shipped; ExitOutput: the protocol could not be written.
    TCliExit ExitCode = ExitOk;
    int Line = 0; // where the replay stopped; 0 when it ran to the end
    QString Error;
    // With the option: the counts up to where the replay stopped.
    std::optional<TCoverageCounts> Coverage;
};

// Plays the script and writes what the window's protocol panel would show (a stamp line, the
// message, an empty line, for every message the switches let through) and the show lines; after
// an input that hit a breakpoint, "=== break " with the breakpoint's words and the show line,
// for every hit.
TReplayOutcome Replay(const TScript& Script, const TReplayOptions& Options, std::ostream& Out);
// The same on a given start-up machine: a test's machine with a planted fault.
TReplayOutcome Replay(const TScript& Script, const TReplayOptions& Options, std::ostream& Out,
                      const TMachine& StartUp);

} // namespace sm
