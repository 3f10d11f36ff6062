// The tdb commands that work on the records of a table: dump, insert, delete
// and locate, which go through a table dataset like any client, and check,
// which verifies the structure of every table of a file on the storage.
//
// Each takes the command's arguments (after the command word), writes its
// output to `out` and returns the exit code; engine failures are raised as
// tdb::EDatabaseError, wrong arguments as TUsageError.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "tdb/table_access.h"

namespace tdbtool {

// tdb dump FILE TABLE [--index NAME] [--filter EXPR [--filter-options LIST]] [--password P]
int DumpCommand(const std::vector<std::string>& args, std::ostream& out);
// tdb insert FILE TABLE [--password P], records from `in`.
int InsertCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& err);
// tdb delete FILE TABLE --recno N [--password P]
int DeleteCommand(const std::vector<std::string>& args);
// tdb locate FILE TABLE FIELDS VALUES [--ci] [--partial] [--index NAME] [--password P]:
// 0 and the record's line when found, 1 and nothing when not.
int LocateCommand(const std::vector<std::string>& args, std::ostream& out);
// tdb check FILE [--password P]: 0 when sound, else 1 and one line per problem.
int CheckCommand(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tdbtool
