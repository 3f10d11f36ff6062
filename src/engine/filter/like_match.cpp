// LIKE matching by the greedy two-pointer method with one saved "%".
//
// Windows-1251 maps one to one onto wide characters, and folding touches only
// ASCII letters, so matching the bytes gives the same answers as matching the
// wide texts.
#include "engine/filter/like_match.h"

#include <string>

namespace tdb {
namespace {

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view UpToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

}  // namespace

bool LikeMatch(std::string_view text, std::string_view pattern_in, bool case_insensitive) {
  text = UpToNul(text);
  std::string pattern(UpToNul(pattern_in));

  // The language lets a "%" match nothing at the end of the text only when it
  // is the pattern's last character.  A trailing run of two or more "%"
  // therefore needs at least one character left for it, which is the
  // ordinary meaning of "_%".
  size_t run = 0;
  while (run < pattern.size() && pattern[pattern.size() - 1 - run] == '%') ++run;
  if (run >= 2) pattern.replace(pattern.size() - run, run, "_%");

  size_t t = 0, p = 0;
  size_t star = std::string::npos;  // pattern position of the last "%" met
  size_t resume = 0;                // text position that "%" has taken up to
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '%') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() &&
               (pattern[p] == '_' || pattern[p] == text[t] ||
                (case_insensitive && FoldAscii(pattern[p]) == FoldAscii(text[t])))) {
      ++t;
      ++p;
    } else if (star != std::string::npos) {
      // Let the last "%" take one more character and try again after it.
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '%') ++p;
  return p == pattern.size();
}

}  // namespace tdb
