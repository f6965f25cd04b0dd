#pragma once

#include "cli/Exit.h"

#include <QStringList>

#include <istream>
#include <ostream>

namespace sm {

// Runs slotmachine-cli with the arguments after the program's name; returns the exit code.
int RunCli(const QStringList& Arguments, std::istream& In, std::ostream& Out, std::ostream& Err);

} // namespace sm
