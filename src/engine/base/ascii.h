// ASCII letter case for the engine's own names (algorithm names, field type
// and index option names), which are plain ASCII whatever the code page.
#pragma once

#include <string_view>

namespace tdb {

// True when the texts are equal with "A" to "Z" and "a" to "z" taken as the
// same; every other byte must match exactly.
inline bool SameAsciiIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace tdb
