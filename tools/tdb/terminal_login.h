// The tool's answer to the engine's login request: the password of an
// encrypted database typed on the terminal; and the password of a new one.
//
// The prompt "Password for FILE: " goes to stderr with the terminal's echo
// switched off; echo comes back however the reading ends (a line, end of
// input, an error, or a signal that ends the process).  Without a terminal on
// standard input nobody can answer, and the login is cancelled.
//
// Main thread only: it reads standard input and changes the terminal.
#pragma once

#include <string>

namespace tdbtool {

// A TLoginCallback: answers false (Cancel) when standard input is not a
// terminal or ends before a line; otherwise gives the typed line, converted
// from UTF-8 to Windows-1251, in `password`.
bool TerminalLogin(const std::string& file_name, std::string& password);

// The password of a new encrypted file, typed twice on the terminal
// ("Password for FILE: ", then "Again: ") with echo off.  False when standard
// input is not a terminal or ends early; raises tdb::EDatabaseError when the
// two differ.  The password is Windows-1251.
bool TerminalNewPassword(const std::string& file_name, std::string& password);

}  // namespace tdbtool
