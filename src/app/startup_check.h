// A look at a running program from outside, for the test of an installed copy.
//
// When the environment variable FORMIX_STARTUP_CHECK is set, the program runs
// its start-up sequence as usual and then prints on standard output, one
// tab-separated line each:
//   version   <the about box's version line>
//   cwd       <the current directory: the data folder the program works in>
//   settings  <the settings file it uses>
//   file      <name>  <where FindProgramFile finds it, or nothing>
// with one "file" line for each comma-separated name in the variable's value,
// and closes its main window, which writes the settings file and ends the
// program.  Unset, nothing changes.  User-interface thread only.
#pragma once

#include <QString>

#include "app/program_windows.h"

namespace app {

// The environment variable that asks for the check.
inline constexpr char kStartupCheckVariable[] = "FORMIX_STARTUP_CHECK";

// Arms the check on `forms` when `names` is not null (the variable is set):
// it runs once the start-up sequence has finished.  REQUIRES: `forms`
// outlives the event loop.
void ArmStartupCheck(ProgramWindows& forms, const ui::AppContext& context, const char* names);

}  // namespace app
