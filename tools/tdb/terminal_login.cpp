// Reads a database password from the terminal without echo.
#include "tdb/terminal_login.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/processing/secure_wipe.h"

namespace tdbtool {
namespace {

// The terminal settings to put back, for the signal handler too.
struct termios g_saved;
volatile sig_atomic_t g_echo_off = 0;

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// A signal that ends the process while echo is off must not leave the
// user's terminal silent: put the settings back, then die as the signal says.
void RestoreAndReraise(int sig) {
  if (g_echo_off) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

// Echo off for its lifetime.
class TEchoOff {
 public:
  TEchoOff() {
    if (::tcgetattr(STDIN_FILENO, &g_saved) != 0) return;
    struct sigaction action = {};
    action.sa_handler = RestoreAndReraise;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &action, &previous_[i]);
    struct termios quiet = g_saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    g_echo_off = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    active_ = true;
  }
  ~TEchoOff() {
    if (!active_) return;
    if (g_echo_off) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
    g_echo_off = 0;
    for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &previous_[i], nullptr);
  }
  TEchoOff(const TEchoOff&) = delete;
  TEchoOff& operator=(const TEchoOff&) = delete;

 private:
  bool active_ = false;
  struct sigaction previous_[std::size(kSignals)] = {};
};

// Reads one line per prompt with echo off, the prompts on stderr; false
// when the input ends first.  Echo stays off between the prompts, so that
// nothing typed ahead is thrown away or shown.
bool ReadHidden(const std::vector<std::string>& prompts, std::vector<std::string>& lines) {
  bool got = true;
  {
    TEchoOff echo_off;
    for (const std::string& prompt : prompts) {
      std::cerr << prompt << std::flush;
      std::string line;
      got = static_cast<bool>(std::getline(std::cin, line));
      // The typed Enter was not echoed either.
      std::cerr << "\n" << std::flush;
      if (!got) break;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(std::move(line));
    }
  }
  return got;
}

void Wipe(std::vector<std::string>& lines) {
  for (std::string& line : lines) tdb::SecureWipe(line);
}

}  // namespace

bool TerminalNewPassword(const std::string& file_name, std::string& password) {
  if (!::isatty(STDIN_FILENO)) return false;
  std::vector<std::string> lines;
  const bool got = ReadHidden({"Password for " + file_name + ": ", "Again: "}, lines);
  const bool same = got && lines[0] == lines[1];
  if (same) password = tdb::Utf8ToCp1251(lines[0]);
  Wipe(lines);
  if (got && !same) tdb::DatabaseError("The two passwords differ; nothing was written");
  return got;
}

bool TerminalLogin(const std::string& file_name, std::string& password) {
  if (!::isatty(STDIN_FILENO)) return false;
  std::vector<std::string> lines;
  const bool got = ReadHidden({"Password for " + file_name + ": "}, lines);
  if (got) password = tdb::Utf8ToCp1251(lines[0]);
  Wipe(lines);
  return got;
}

}  // namespace tdbtool
