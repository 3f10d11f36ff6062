// LIKE matching of the filter language: "%" takes any run of characters,
// "_" any one character, every other character itself; the whole text must
// match.  Case folding, when asked, maps only "a" to "z" onto "A" to "Z", or
// else every small letter of Windows-1251 onto its capital (Latin, Cyrillic,
// Ё, and the Ukrainian, Belarusian, Serbian and Macedonian letters).
//
// One quirk of the language is kept: a "%" reached when the text is used up
// matches only when it is the pattern's last character, so '' LIKE '%' is
// true but '' LIKE '%%' and 'a' LIKE 'a%%' are false.
//
// Runs in time proportional to the text times the pattern at worst, without
// recursion; stateless and safe from any thread.
#pragma once

#include <string_view>

namespace tdb {

enum class TLikeCase {
  kExact,       // letter case counts
  kLatin,       // "a" to "z" match "A" to "Z"
  kAllLetters,  // every small letter matches its capital
};

// True when `text` matches `pattern`.  Both are Windows-1251 texts and end at
// their first NUL.
bool LikeMatch(std::string_view text, std::string_view pattern, TLikeCase folding);
// The byte `c` stands for under the folding: a small letter's capital, any
// other byte itself.
unsigned char LikeFold(unsigned char c, TLikeCase folding);
inline bool LikeMatch(std::string_view text, std::string_view pattern, bool case_insensitive) {
  return LikeMatch(text, pattern, case_insensitive ? TLikeCase::kLatin : TLikeCase::kExact);
}

}  // namespace tdb
