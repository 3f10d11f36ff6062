// Parses the record commands' arguments and opens their table through a
// dataset, with the password from the command line or the terminal.
#include "tdb/table_access.h"

#include <algorithm>
#include <fstream>

#include "engine/database/session.h"
#include "engine/processing/secure_wipe.h"
#include "engine/storage/table_defs.h"
#include "tdb/terminal_login.h"

namespace tdbtool {

TToolArgs ParseToolArgs(const std::vector<std::string>& args, const std::vector<std::string>& allowed,
                        size_t word_count) {
  TToolArgs a;
  auto is_allowed = [&](const std::string& w) {
    const std::string option = w == "--password-file" ? "--password" : w;
    return std::find(allowed.begin(), allowed.end(), option) != allowed.end();
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& w = args[i];
    auto value = [&](std::optional<std::string>& into) -> const std::string& {
      if (i + 1 >= args.size()) throw TUsageError{w + " needs a value"};
      if (into) throw TUsageError{w == "--password-file" ? "--password given twice" : w + " given twice"};
      into = args[++i];
      return *into;
    };
    if (!w.starts_with("--")) a.words.push_back(w);
    else if (!is_allowed(w)) throw TUsageError{"unknown option " + w};
    else if (w == "--index") value(a.index);
    else if (w == "--password") value(a.password);
    else if (w == "--password-file") a.password = ReadPasswordFile(value(a.password));
    else if (w == "--recno") value(a.recno);
    else if (w == "--filter") value(a.filter);
    else if (w == "--filter-options") value(a.filter_options);
    else if (w == "--ci") a.ci = true;
    else if (w == "--partial") a.partial = true;
    else throw TUsageError{"unknown option " + w};
  }
  if (a.words.size() < word_count) throw TUsageError{"too few arguments"};
  if (a.words.size() > word_count) throw TUsageError{"unexpected argument '" + a.words[word_count] + "'"};
  return a;
}

std::string ReadPasswordFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (!in || (!std::getline(in, line) && !in.eof()))
    tdb::DatabaseError(tdb::Format("Cannot read password file %s", {path}));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

TToolTable::TToolTable(const std::string& path, const std::string& table, const TToolArgs& args, bool read_only) {
  tdb::SetDefaultLoginCallback(TerminalLogin);
  database_.SetDatabaseName(path);
  database_.SetReadOnly(read_only);
  if (args.password) {
    std::string password = tdb::Utf8ToCp1251(*args.password);
    database_.SetPassword(password);
    tdb::SecureWipe(password);
  }
  // Connected here so that a missing table is named in the user's encoding.
  database_.Open();
  std::string table_name = tdb::Utf8ToCp1251(table);
  if (!database_.FindTableIO(table_name)) tdb::DatabaseError(tdb::Format("Table '%s' not found", {table}));
  table_.SetDatabaseName(path);
  table_.SetTableName(table_name);
  std::string index_name = args.index ? tdb::Utf8ToCp1251(*args.index) : std::string();
  table_.SetIndexName(index_name);
  try {
    table_.Open();
  } catch (const tdb::EAbort&) {
    // The login was cancelled: no --password and no terminal to ask on.
    tdb::DatabaseError("Access denied: " + path + " needs a password (--password, --password-file or a terminal)");
  }
  if (args.index) {
    int no = table_.CurrentIndexNo();
    if (no < 0 || !tdb::SameDefName(table_.IndexDefs()[static_cast<size_t>(no)].Name, index_name))
      tdb::DatabaseError(tdb::Format("Index '%s' not found", {*args.index}));
  }
}

}  // namespace tdbtool
