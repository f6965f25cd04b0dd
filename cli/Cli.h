#pragma once

#include <QStringList>

#include <istream>
#include <ostream>

// Exit codes of the command.
enum TCliExit : int {
    ExitOk = 0,
    ExitViolation = 1, // explore found a broken invariant or a dead end
    ExitUsage = 2,     // a bad option, file or script line; a script that cannot be read
    ExitRefused = 3,   // replay: an action the window could not take
    ExitFault = 4,     // replay: the machine threw
    ExitOutput = 5     // the output could not be written
};

// Runs slotmachine-cli with the arguments after the program's name; returns the exit code.
int RunCli(const QStringList& Arguments, std::istream& In, std::ostream& Out, std::ostream& Err);
