// Repair of a database file whose last change was cut short (an append,
// rewrite or deletion interrupted by a crash, or a file damaged in the same
// ways): it is brought back to a sound state.
//
// Every record that is whole is kept.  A record whose fixed part or blob
// areas lie outside the file, or whose values cannot be read, was never
// written whole: it is marked deleted.  Every index chain is then rebuilt
// from the records: the live records in key order, equal keys in the order
// the old chain had them.  Before anything is written, the original is copied
// beside the file ("FILE.bak", or "FILE.bak.N" when that exists).  A sound
// file is left untouched.  The file is opened for exclusive use, so a file
// that is open anywhere else, in this process too, is refused (ekCannotOpen,
// ofInUse): close every dataset on it first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tdb {

struct TTableRepairResult {
  std::string Table;  // the table's name as stored (Windows-1251)
  int32_t Kept = 0;   // live records after the repair
  std::vector<int32_t> Dropped;  // numbers of the records marked deleted
};

struct TRepairResult {
  bool Repaired = false;  // false: the file was sound and nothing was written
  std::string Backup;     // the copy of the original; empty when nothing was written
  std::vector<TTableRepairResult> Tables;  // every table of the file, in file order
  std::vector<std::string> Lines;  // one English line per repair made (UTF-8), for a log
};

// Repairs the file at `path`.  `password` is needed for an encrypted file
// (null: none given; ekWrongPassword when missing or refused).  Raises
// EDatabaseError when the file cannot be opened for writing, when a table's
// record table itself cannot be read, or when the copy cannot be made; the
// original is then unchanged.
TRepairResult RepairDatabaseFile(const std::string& path, const std::string* password);

}  // namespace tdb
