// Reads a database password from the terminal without echo.
#include "tdb/terminal_login.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "engine/base/codepage.h"
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

}  // namespace

bool TerminalLogin(const std::string& file_name, std::string& password) {
  if (!::isatty(STDIN_FILENO)) return false;
  std::string line;
  bool got = false;
  {
    // Echo goes off before the prompt shows, so nothing typed after it echoes.
    TEchoOff echo_off;
    std::cerr << "Password for " << file_name << ": " << std::flush;
    got = static_cast<bool>(std::getline(std::cin, line));
  }
  // The typed Enter was not echoed either.
  std::cerr << "\n" << std::flush;
  if (!got) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  password = tdb::Utf8ToCp1251(line);
  tdb::SecureWipe(line);
  return true;
}

}  // namespace tdbtool
