// Clocks, memory figures and child processes for the register benchmark.
//
// Operations that must start in a fresh process (the open and the memory
// walk) run in a child: the benchmark executes itself with "--child ..."
// arguments and reads the child's one line of figures from a pipe.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

class Stopwatch {
 public:
  Stopwatch() : start_(std::chrono::steady_clock::now()) {}
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_;
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
