// Windows-1251, the code page of every text the system stores.
//
// Data files, names inside them and the settings file hold Windows-1251 bytes;
// the tools and the Qt program speak UTF-8 or UTF-16.  These conversions are
// exact for every character Windows-1251 has.  A character it lacks becomes
// "?" on the way in; bytes that are not valid UTF-8 become U+FFFD on the way
// in as well (and so "?").  Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace tdb {

// Windows-1251 bytes to UTF-8.  Every byte has a meaning; 0x98, which the
// code page leaves unassigned, is U+0098.
std::string Cp1251ToUtf8(std::string_view cp1251);

// UTF-8 to Windows-1251 bytes; characters outside the code page become "?".
std::string Utf8ToCp1251(std::string_view utf8);

// Same conversions for UTF-16 (the Qt program's strings).
std::u16string Cp1251ToUtf16(std::string_view cp1251);
std::string Utf16ToCp1251(std::u16string_view utf16);

}  // namespace tdb
