// The program directory: where "formix.ini" and the spreadsheet templates live.
//
// The directory is taken once from the executable's path at start-up and then
// handed to the windows through AppContext, so a test can point it anywhere.
// Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace app {

// The prefix of `exePath` up to and including its last "\" or "/"; empty when
// the path has neither.  The result therefore always ends with a separator
// (or is empty), and file names are appended to it directly.
std::string ProgramDirectoryOf(std::string_view exePath);

}  // namespace app
