// Reading a database schema for `tdb create` from JSON.
//
//   {"tables": [
//     {"name": "clients",
//      "fields": [{"name": "nomer", "type": "ftInteger"},
//                 {"name": "name", "type": "ftString", "size": 40, "process_mode": 0}],
//      "indexes": [{"name": "inomer", "fields": ["nomer"], "options": ["tiUnique"]}]}]}
//
// "type" is a type name (with or without "ft", any case) or its numeric code;
// "size" (default 0) and "process_mode" (default 0) are optional, as are
// "indexes" and an index's "options".  Names are UTF-8 and are stored in
// Windows-1251; a name with a character that code page lacks is refused.
// Unknown members are refused, so a misspelt key is never silently ignored.
#pragma once

#include <string_view>

#include "data/database_creator.h"

namespace tdbtool {

// Raises tdb::EDatabaseError "Invalid schema: <what>" (or the JSON reader's error).
receipts::DatabaseSchema SchemaFromJson(std::string_view json_text);

}  // namespace tdbtool
