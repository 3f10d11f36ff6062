// Fixed-point money amounts.
#include "engine/dataset/currency.h"

#include <cmath>

#include "engine/base/database_error.h"

namespace tdb {

TCurrency TCurrency::FromDouble(double d) {
  double scaled = std::round(d * kScale);
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18) DatabaseError(ekOutOfRange, "Currency value out of range");
  return TCurrency{static_cast<int64_t>(scaled)};
}

std::string TCurrency::ToString(char decimal_separator) const {
  uint64_t magnitude = value < 0 ? static_cast<uint64_t>(-(value + 1)) + 1 : static_cast<uint64_t>(value);
  std::string out = value < 0 ? "-" : "";
  out += std::to_string(magnitude / kScale);
  uint64_t frac = magnitude % kScale;
  if (frac != 0) {
    std::string digits = std::to_string(frac);
    digits.insert(0, 4 - digits.size(), '0');
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    out += decimal_separator;
    out += digits;
  }
  return out;
}

}  // namespace tdb
