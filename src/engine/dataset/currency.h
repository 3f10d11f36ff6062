// TCurrency: a money amount as a 64-bit fixed-point number with four decimals.
//
// The files store currency fields as doubles; the datasets hand them out as
// TCurrency so that sums of kopecks do not drift.  Conversion from a double
// rounds to the nearest ten-thousandth, halves away from zero.
#pragma once

#include <cstdint>
#include <string>

namespace tdb {

struct TCurrency {
  int64_t value = 0;  // the amount times 10000

  static constexpr int64_t kScale = 10000;

  // REQUIRES: |d| < 922337203685477 (the range of the type); larger values
  // raise EDatabaseError.
  static TCurrency FromDouble(double d);
  double ToDouble() const { return static_cast<double>(value) / kScale; }

  // The amount with up to four decimals and no trailing zeros ("12,5" with a
  // decimal comma).
  std::string ToString(char decimal_separator) const;

  auto operator<=>(const TCurrency&) const = default;
};

}  // namespace tdb
