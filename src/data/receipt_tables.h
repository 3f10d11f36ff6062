// The program's four database files and their tables, fields and indexes.
//
// Every file holds one table; every table has the record number `nomer` and
// the deletion mark `slugebnoe`.  Field names are written once, here, as the
// screens spell them first; the engine matches names without regard to case.
// The creator (database_creator.h) turns these schemas into the empty files
// that are installed next to the program.
#pragma once

#include <string>
#include <vector>

#include "data/database_creator.h"

namespace receipts {

struct ReceiptFile {
  std::string file_name;  // "formix.tdb", ...
  DatabaseSchema schema;
};

// The four files in the order "formix.tdb", "platel.tdb", "Poluchat.tdb",
// "sprkodBK.tdb".
const std::vector<ReceiptFile>& ReceiptFiles();

}  // namespace receipts
