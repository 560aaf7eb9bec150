#pragma once

#include "flashtool/run/Run.h"

#include <iosfwd>

namespace vornload {

// The interactive boot-loader console: reads commands from `in` until "Q" or the
// end of the input; returns the exit status. `terminal`: `out` is a terminal,
// which gets its title set.
int runConsole(std::istream& in, const RunEnvironment& env, bool terminal);

// The console's help text, with the date and time the program was built.
void printConsoleHelp(std::ostream& out);

}  // namespace vornload
