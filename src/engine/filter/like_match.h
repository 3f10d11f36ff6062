// LIKE matching of the filter language: "%" takes any run of characters,
// "_" any one character, every other character itself; the whole text must
// match.  Case folding, when asked, maps only "a" to "z" onto "A" to "Z".
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

// True when `text` matches `pattern`.  Both are Windows-1251 texts and end at
// their first NUL.
bool LikeMatch(std::string_view text, std::string_view pattern, bool case_insensitive);

}  // namespace tdb
