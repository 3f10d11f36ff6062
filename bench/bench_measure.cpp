// Process figures from /proc and the child runner.
#include "bench_measure.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace bench {
namespace {

int64_t StatusField(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(key) + ":";
  while (std::getline(status, line))
    if (line.compare(0, prefix.size(), prefix) == 0) return std::stoll(line.substr(prefix.size())) * 1024;
  return 0;
}

}  // namespace

bool ProcessorClock() {
  static const bool cpu = [] {
    const char* clock = std::getenv("BENCH_CLOCK");
    return clock && std::string(clock) == "cpu";
  }();
  return cpu;
}

int64_t PeakRssBytes() { return StatusField("VmHWM"); }
int64_t CurrentRssBytes() { return StatusField("VmRSS"); }

std::vector<double> RunChild(const std::vector<std::string>& args) {
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<char*> argv;
    static char self[] = "register_bench";
    argv.push_back(self);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("child '" + args[1] + "' failed");
  std::istringstream in(text);
  std::vector<double> values;
  double v;
  while (in >> v) values.push_back(v);
  return values;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

}  // namespace bench
