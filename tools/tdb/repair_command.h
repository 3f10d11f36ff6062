// tdb repair: brings a database file whose last change was cut short (an
// append, rewrite or deletion interrupted by a crash, or a file damaged in
// the same ways) back to a sound state.
//
// Every record that is whole is kept.  A record whose fixed part or blob
// areas lie outside the file, or whose values cannot be read, was never
// written whole: it is marked deleted.  Every index chain is then rebuilt
// from the records: the live records in key order, equal keys in the order
// the old chain had them.  Before anything is written, the original is copied
// beside the file ("FILE.bak", or "FILE.bak.N" when that exists).  A sound
// file is left untouched.  The file is opened for exclusive use, so a file
// that another program holds open is refused.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tdbtool {

// tdb repair FILE [--password P]: prints one line per repair made and the
// name of the copy; 0 when the file is sound afterwards.
int RepairCommand(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tdbtool
