// Formatting and reading of numbers with the locale's decimal separator.
#include "engine/locale/number_text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tdb {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string FloatToText(double value, char decimal_separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string text(buf);
  // "%G" writes "1.5E+20"; the desktop form is "1,5E20".
  std::string out;
  size_t e = text.find('E');
  std::string mantissa = text.substr(0, e);
  for (char& c : mantissa)
    if (c == '.') c = decimal_separator;
  out = mantissa;
  if (e != std::string::npos) {
    std::string exponent = text.substr(e + 1);
    bool negative = !exponent.empty() && exponent[0] == '-';
    size_t start = exponent.find_first_not_of("+-0");
    out += 'E';
    if (negative) out += '-';
    out += start == std::string::npos ? "0" : exponent.substr(start);
  }
  if (out == "-0") out = "0";
  return out;
}

std::optional<double> TextToFloat(std::string_view text, char decimal_separator) {
  text = Trim(text);
  if (text.empty() || text.size() > 100) return std::nullopt;
  std::string ascii;
  for (char c : text) {
    if (c == decimal_separator || c == '.')
      ascii += '.';
    else if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'e' || c == 'E')
      ascii += c;
    else
      return std::nullopt;
  }
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(ascii.c_str(), &end);
  if (end != ascii.c_str() + ascii.size() || errno == ERANGE || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int64_t> TextToInt64(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (!text.empty() && text.front() == '$') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return std::nullopt;
    if (value > (UINT64_MAX - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) return std::nullopt;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  if (negative) {
    if (value > static_cast<uint64_t>(INT64_MAX) + 1) return std::nullopt;
    return value == static_cast<uint64_t>(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(value);
  }
  if (value > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
  return static_cast<int64_t>(value);
}

}  // namespace tdb
