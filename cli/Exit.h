#pragma once

namespace sm {

// Exit codes of slotmachine-cli, for every command.
enum TCliExit : int {
    ExitOk = 0,
    ExitViolation = 1,  // explore found a broken invariant or a dead end
    ExitUsage = 2,      // a bad option, file or script line; a script that cannot be read
    ExitRefused = 3,    // replay: an action the window could not take
    ExitFault = 4,      // the machine threw, or Graphviz could not draw a diagram
    ExitOutput = 5,     // the output could not be written
    ExitUnreachable = 6 // path: no session takes the target
};

} // namespace sm
