// How the record commands (dump, insert, delete, locate) reach a table: the
// command line's words and options, and one table of a database file opened
// through a table dataset, as any client of the engine opens it.
//
// TToolTable creates the database itself (DatabaseName = the file's path, so
// the dataset of the same DatabaseName finds it in the default session),
// gives it the --password before anything opens, and opens the dataset on
// TABLE in the order of --index.  Without --password an encrypted file asks
// on the terminal (terminal_login.h).  The file is opened shared, as the
// program opens it, so the commands work while the program has it open.  Messages of the engine that quote
// Windows-1251 names or values reach the user in UTF-8.
//
// Single thread.  The database outlives the dataset: it is declared first.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/database/database.h"
#include "engine/dataset/dada_table.h"

namespace tdbtool {

// A command line that does not fit the command: `problem` says what is
// wrong; the dispatcher adds the command's usage line.
struct TUsageError {
  std::string problem;
};

// The parsed arguments of a command.  Options with a value are given at most
// once; flags are --ci and --partial.
struct TToolArgs {
  std::vector<std::string> words;  // FILE, TABLE and the command's own words
  // `password` is UTF-8, from --password or read from --password-file.
  std::optional<std::string> index, password, recno, filter, filter_options;
  bool ci = false;
  bool partial = false;
};

// Parses `args` allowing only the options named in `allowed` (such as
// "--index"; "--password" allows "--password-file F" too, whose first line
// is the password) and exactly `word_count` words; anything else raises
// TUsageError.  A password file that cannot be read raises
// tdb::EDatabaseError.
TToolArgs ParseToolArgs(const std::vector<std::string>& args, const std::vector<std::string>& allowed,
                        size_t word_count);

// The first line of the file `path`, without its line end: a password kept
// out of the command line (and so out of the process list).
std::string ReadPasswordFile(const std::string& path);

class TToolTable {
 public:
  // Opens table `table` (UTF-8) of the database file `path`; read-only opens
  // the file for reading only.  Raises tdb::EDatabaseError: "Table '%s' not
  // found", "Index '%s' not found" for an --index the table lacks (where the
  // dataset alone would quietly take another order), "Access denied" for a
  // wrong password, "Access denied: FILE needs a password (--password,
  // --password-file or a terminal)" when none was given and none could be
  // asked for.
  TToolTable(const std::string& path, const std::string& table, const TToolArgs& args, bool read_only);
  TToolTable(const TToolTable&) = delete;
  TToolTable& operator=(const TToolTable&) = delete;

  tdb::TDadaTable& Table() { return table_; }
  tdb::TDadaDatabase& Database() { return database_; }

 private:
  tdb::TDadaDatabase database_;
  tdb::TDadaTable table_;
};

// Runs an engine call whose errors may quote Windows-1251 text (a field or
// table name, a key value, a filter token) and raises them in UTF-8.  Only
// for calls whose messages carry no file path, which is UTF-8 already.
template <typename F>
decltype(auto) InUtf8(F&& call) {
  try {
    return call();
  } catch (const tdb::EDatabaseError& e) {
    tdb::DatabaseError(tdb::Cp1251ToUtf8(e.what()));
  }
}

}  // namespace tdbtool
