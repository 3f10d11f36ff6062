// The tdb commands that work on the records of a table: dump, insert, delete,
// and check, which verifies the structure of every table of a file.
//
// Each takes the command's arguments (after the command word), writes its
// output to `out` and returns the exit code; engine failures are raised as
// tdb::EDatabaseError, wrong arguments as TUsageError.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tdbtool {

struct TUsageError {
  std::string problem;
};

// tdb dump FILE TABLE [--index NAME] [--password P]
int DumpCommand(const std::vector<std::string>& args, std::ostream& out);
// tdb insert FILE TABLE [--password P], records from `in`.
int InsertCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& err);
// tdb delete FILE TABLE --recno N [--password P]
int DeleteCommand(const std::vector<std::string>& args);
// tdb check FILE [--password P]: 0 when sound, else 1 and one line per problem.
int CheckCommand(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tdbtool
