// Counting the characters of UTF-8 text, where a limit or a required length
// is in characters and not bytes (a Cyrillic letter takes two bytes).
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace receipts {

// The characters of `utf8`: every byte that does not continue a sequence
// starts one.  Valid text gives its character count; a stray continuation
// byte is not counted.
inline size_t Utf8CharCount(std::string_view utf8) {
  return static_cast<size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace receipts
