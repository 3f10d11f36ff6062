// The commands of the tdb tool.  RunCommand parses the command line, runs one
// command and returns the process's exit code: 0 on success, 1 on a failure
// (the engine's message on stderr), 2 on a usage error.
#pragma once

#include <iosfwd>

namespace tdbtool {

int RunCommand(int argc, char** argv);

}  // namespace tdbtool
