// The creator of empty database files.
//
// The program itself only opens existing database files; this module writes
// new ones from a schema: the file header, zeroed reserved areas, a data
// process block with compression, encryption and write verification off, the
// table directory, and one table header per table right behind it, with no
// records.  The tdb tool and the tests use it.
//
// Names in a schema are Windows-1251 bytes, as they are stored.  Stateless,
// thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/format/index_options.h"

namespace receipts {

struct FieldSchema {
  std::string name;
  int type = 0;               // a field type code (engine/format/field_types.h)
  int32_t size = 0;           // characters for ftString / ftFixedChar; stored as given otherwise
  uint8_t process_mode = 0;   // 0: processed as the file says; other: always stored plain
};

struct IndexSchema {
  std::string name;
  tdb::TTDIndexOptions options = 0;
  std::vector<std::string> fields;  // key fields in order, by name (any letter case)
};

struct TableSchema {
  std::string name;
  std::vector<FieldSchema> fields;
  std::vector<IndexSchema> indexes;
};

// How a new file stores its values.  A cipher always comes with a password
// (the empty text is a password too): the file keeps the password's check
// string, and a field whose process mode is 0 is stored encrypted.
struct StorageOptions {
  bool compress = false;  // blob values compressed ("ZLIB")
  std::string cipher;     // "" for none, or a registered cipher name in any letter case
  int mode = 0;           // cipher mode 0 to 4
  std::string password;   // Windows-1251 bytes
  bool verify_writes = false;
};

struct DatabaseSchema {
  std::vector<TableSchema> tables;
  StorageOptions storage;
};

// The largest FieldSize the creator accepts for a string field.
constexpr int32_t kMaxStringFieldSize = 65535;

// Raises tdb::EDatabaseError naming the first fault: too many tables (256),
// fields (96, at least one), indexes (8) or index fields (8, at least one); an
// empty name or one longer than 32 bytes; an unknown type code; a string size
// outside 1..65535 or a negative size; unknown index option bits; an index
// naming a missing field; the same table, field or index name twice (names
// compare without regard to letter case); an unknown cipher ("Encryption
// algorithm module '%s' not found") or a mode outside 0 to 4.
void CheckSchema(const DatabaseSchema& schema);

// The bytes of an empty database file for a checked schema.
std::vector<uint8_t> BuildDatabaseImage(const DatabaseSchema& schema);

// Checks the schema and writes a new database file at `path`.  An existing
// file is never replaced: "File %s already exists".  The file is written
// under a temporary name in the same folder and moved into place only when
// complete, so a failure leaves nothing behind.
void CreateDatabaseFile(const std::string& path, const DatabaseSchema& schema);

// The same, and before the new file is moved into place `fill` is called
// with its temporary path to write records into it.  An error raised by
// `fill` leaves nothing behind; `fill` must have closed the file when it
// returns.
void CreateDatabaseFile(const std::string& path, const DatabaseSchema& schema,
                        const std::function<void(const std::string& temp_path)>& fill);

}  // namespace receipts
