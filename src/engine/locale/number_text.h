// Numbers as text in the user's locale: what a field shows for an integer or
// a floating-point value, and how a typed number is read back.
//
// Texts are Windows-1251 (the digits, signs and separators are ASCII).
// Stateless; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tdb {

// General floating format: up to 15 significant digits, no trailing zeros,
// the locale's decimal separator, an exponent ("1,5E20", "1E-7") only for
// very large or small magnitudes.
std::string FloatToText(double value, char decimal_separator);

// Reads a decimal number with an optional sign, the given decimal separator
// (a "." is accepted too) and an optional exponent; blanks around it allowed.
// Nothing for anything else.
std::optional<double> TextToFloat(std::string_view text, char decimal_separator);

// Reads a decimal integer (or hexadecimal with "$" or "0x"), optional sign and
// blanks around it; nothing for anything else or a value outside int64.
std::optional<int64_t> TextToInt64(std::string_view text);

}  // namespace tdb
