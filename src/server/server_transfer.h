// Moving the register between a data folder and a server: the four files'
// records copied into the server's tables, the server's tables written into
// new files, and a record-for-record comparison of the two.
//
// Records keep their order (the files' record order, the server's rec_id) and
// every value, numbers included.  Failures raise tdb::EDatabaseError naming
// the table, the record and the field.  A file password (Windows-1251) opens
// an encrypted receipts file.  Single thread.
#pragma once

#include <string>
#include <vector>

#include "server/server_connection.h"

namespace server {

struct TableCount {
  std::string table;
  int records = 0;
};

// Copies the folder's four files into the server's tables, which must exist
// and be empty ("Table '%s' on the server is not empty"), in one
// transaction; the next numbers given follow the largest copied.
std::vector<TableCount> CopyFolderToServer(const std::string& dir, ServerConnection& connection,
                                           const std::string& file_password = {});

// Writes the server's four tables into new files in `dir`, which must not
// hold any of them ("File %s already exists"; nothing is written then).  A
// value a field cannot hold is refused, naming it; no file is left behind.
std::vector<TableCount> CopyServerToFolder(ServerConnection& connection, const std::string& dir);

// The differences between the folder's files and the server's tables, one
// line each (UTF-8): a record count that differs, a value that differs
// (table, record number, field, both values).  Empty when they hold the same.
// At most `limit` lines.
std::vector<std::string> CompareFolderWithServer(const std::string& dir, ServerConnection& connection,
                                                 const std::string& file_password = {}, size_t limit = 50);

}  // namespace server
