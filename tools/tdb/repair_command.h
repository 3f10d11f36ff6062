// tdb repair: brings a database file whose last change was cut short back to
// a sound state (see engine/repair/file_repair.h): whole records are kept,
// the others dropped, every index rebuilt, the original copied beside the
// file first; a sound file is left untouched.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tdbtool {

// tdb repair FILE [--password P]: prints one line per repair made and the
// name of the copy; 0 when the file is sound afterwards.
int RepairCommand(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tdbtool
