// The two tables the engine takes from Unicode data once and then keeps in
// its source: the Windows-1251 code page and the order of Windows-1251 texts.
//
// The engine's order of texts is part of every stored index, so it must not
// move when the machine's libraries change.  These functions draw both
// tables from the ICU on the machine that runs them and return them as the
// text of the C++ headers that are committed under src/; the engine itself
// never calls ICU.  Running them again after an ICU upgrade shows whether
// that ICU still agrees with the frozen tables (the engine's tests do so).
#pragma once

#include <array>
#include <string>

namespace icu_tables {

// Windows-1251 byte to UTF-16 code unit, as ICU's "windows-1251" converter
// maps it; bytes below 0x80 are ASCII, a byte it leaves unassigned is U+FFFD.
std::array<char16_t, 256> Cp1251ToUnicode();

// The text of src/engine/base/cp1251_table.h.
std::string CodePageHeader();

// The text of src/engine/compare/collation_weights.h: the collation elements
// of every byte and of every contraction of Windows-1251 characters under
// ICU's root collation (alternate non-ignorable), their weights replaced by
// their ranks at each level.
std::string CollationHeader();

}  // namespace icu_tables
