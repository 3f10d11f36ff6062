// The order of Windows-1251 texts: the collation that every text comparison of
// the engine (index keys, filters, field and table names) goes through.
//
// It orders as the desktop's default locale comparison of strings does:
// punctuation and spaces before digits before letters, Latin letters before
// Cyrillic, Ё with Е (differing from it only at the accent level), lower case
// before upper case.  Letter case counts only when the comparison is
// case-sensitive; accents (Е/Ё) count always.  The hyphen "-" and the
// apostrophe "'" are passed over ("co-op" sorts next to "coop") and only
// break a tie that remains after everything else: a text without them sorts
// first, otherwise the earlier mark sorts first.  Other punctuation and blanks
// take part like letters.
//
// The order is a fixed table in the source (collation_weights.h, drawn from
// ICU's root collation once and held to it by the tests), so it never
// depends on the libraries of the machine: an index written in this order
// stays in order wherever the file is opened.  Comparisons allocate nothing
// for texts of up to 128 characters and are safe from any number of threads
// at once.
#pragma once

#include <cstddef>
#include <string_view>

namespace tdb {

enum class TCaseSensitivity { kSensitive, kInsensitive };

// Compares two Windows-1251 texts; -1, 0 or 1.  With `limit` of 0 or more only
// the first `limit` characters of each text take part.
int CompareText(std::string_view left, std::string_view right, TCaseSensitivity sensitivity,
                std::ptrdiff_t limit = -1);

// True when the texts compare equal without regard to letter case; for names
// of fields, tables and indexes.
bool SameTextIgnoringCase(std::string_view left, std::string_view right);

}  // namespace tdb
