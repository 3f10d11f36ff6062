// The description `tdb info` prints of a database file: one JSON object with
// the version, the data process flags, the algorithm names and mode, and per
// table its name, record total, fields and indexes.  Texts from the file are
// converted from Windows-1251 to UTF-8.
#pragma once

#include <string>

namespace tdbtool {

// Opens the file read-only and shared; raises tdb::EDatabaseError as the file
// object does.  The result ends with a newline.
std::string DatabaseInfoJson(const std::string& path);

}  // namespace tdbtool
