// Parses the record commands' arguments and opens their table through a
// dataset, with the password from the command line or the terminal.
#include "tdb/table_access.h"

#include <algorithm>

#include "engine/database/session.h"
#include "engine/processing/secure_wipe.h"
#include "engine/storage/table_defs.h"
#include "tdb/terminal_login.h"

namespace tdbtool {

TToolArgs ParseToolArgs(const std::vector<std::string>& args, const std::string& usage,
                        const std::vector<std::string>& allowed, size_t word_count) {
  TToolArgs a;
  auto is_allowed = [&](const std::string& w) { return std::find(allowed.begin(), allowed.end(), w) != allowed.end(); };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& w = args[i];
    auto value = [&](std::optional<std::string>& into) {
      if (i + 1 >= args.size() || into) throw TUsageError{usage};
      into = args[++i];
    };
    if (!w.starts_with("--")) a.words.push_back(w);
    else if (!is_allowed(w)) throw TUsageError{usage};
    else if (w == "--index") value(a.index);
    else if (w == "--password") value(a.password);
    else if (w == "--recno") value(a.recno);
    else if (w == "--filter") value(a.filter);
    else if (w == "--filter-options") value(a.filter_options);
    else if (w == "--ci") a.ci = true;
    else if (w == "--partial") a.partial = true;
    else throw TUsageError{usage};
  }
  if (a.words.size() != word_count) throw TUsageError{usage};
  return a;
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
    tdb::DatabaseError("Access denied: " + path + " needs a password (--password)");
  }
  if (args.index) {
    int no = table_.CurrentIndexNo();
    if (no < 0 || !tdb::SameDefName(table_.IndexDefs()[static_cast<size_t>(no)].Name, index_name))
      tdb::DatabaseError(tdb::Format("Index '%s' not found", {*args.index}));
  }
}

}  // namespace tdbtool
