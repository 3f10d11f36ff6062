// Clocks, memory figures and child processes for the register benchmark.
//
// Operations that must start in a fresh process (the open and the memory
// walk) run in a child: the benchmark executes itself with "--child ..."
// arguments and reads the child's one line of figures from a pipe.
#pragma once

#include <time.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// Which clock the stopwatches read: the wall clock, or the processor time
// of the process (user and system), which a machine shared with other work
// disturbs far less.  Chosen by the environment variable BENCH_CLOCK ("cpu"
// for processor time), so that the child processes use the same clock.
bool ProcessorClock();

class Stopwatch {
 public:
  Stopwatch() : cpu_(ProcessorClock()), start_(Now(cpu_)) {}
  double Seconds() const { return Now(cpu_) - start_; }

 private:
  static double Now(bool cpu) {
    if (cpu) {
      timespec ts{};
      clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
      return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  }
  bool cpu_;
  double start_;
};

// VmHWM (peak) and VmRSS (now) of this process, in bytes; 0 when unknown.
int64_t PeakRssBytes();
int64_t CurrentRssBytes();

// Runs this program again with `args` and returns the numbers printed on its
// standard output.  Raises std::runtime_error when the child fails.
std::vector<double> RunChild(const std::vector<std::string>& args);

// The median of the values (the mean of the middle two for an even count).
double Median(std::vector<double> values);

}  // namespace bench
