// Reads the built-in list of budget classification codes and writes it into a
// code directory file.
#include "data/code_directory.h"

#include "data/receipt_tables.h"
#include "data/requisites.h"
#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/database/database.h"
#include "engine/dataset/dada_table.h"

namespace receipts {
namespace {

// The widths of the code table's string fields (receipt_tables.cpp).
constexpr size_t kKbkSize = 20;
constexpr size_t kNaimSize = 210;

[[noreturn]] void BadLine(size_t line_no, const std::string& problem) {
  tdb::DatabaseError("Code list line " + std::to_string(line_no) + ": " + problem);
}

std::vector<std::string> SplitTabs(std::string_view line) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (;;) {
    size_t tab = line.find('\t', at);
    fields.emplace_back(line.substr(at, tab == std::string_view::npos ? std::string_view::npos : tab - at));
    if (tab == std::string_view::npos) return fields;
    at = tab + 1;
  }
}

}  // namespace

std::vector<CodeEntry> ParseCodeList(std::string_view text) {
  std::vector<CodeEntry> codes;
  size_t line_no = 0;
  for (size_t at = 0; at < text.size();) {
    size_t nl = text.find('\n', at);
    std::string_view line = text.substr(at, nl == std::string_view::npos ? std::string_view::npos : nl - at);
    at = nl == std::string_view::npos ? text.size() : nl + 1;
    ++line_no;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos || line.starts_with('#')) continue;
    std::vector<std::string> f = SplitTabs(line);
    if (f.size() != 3) BadLine(line_no, "expected code, kind and name separated by tabs");
    CodeEntry e;
    e.kbk = f[0];
    if (e.kbk.size() != kKbkSize || CheckKbk(e.kbk)) BadLine(line_no, "the code '" + e.kbk + "' is not a KBK");
    if (f[1].size() != 1 || f[1][0] < '0' || f[1][0] > '2') BadLine(line_no, "the kind must be 0, 1 or 2");
    e.tip = f[1][0] - '0';
    e.naim = f[2];
    if (e.naim.empty()) BadLine(line_no, "the name is empty");
    if (tdb::Utf8ToCp1251(e.naim).size() > kNaimSize) BadLine(line_no, "the name is longer than 210 characters");
    codes.push_back(std::move(e));
  }
  return codes;
}

void FillCodeDirectory(const std::string& path, const std::vector<CodeEntry>& codes) {
  tdb::TDadaDatabase database;
  database.SetDatabaseName(path);
  database.Open();
  {
    tdb::TDadaTable table;
    table.SetDatabaseName(path);
    table.SetTableName(code_table::kTable);
    table.Open();
    for (const CodeEntry& e : codes) {
      int nomer = table.RecordCount() + 1;
      table.Append();
      try {
        table.FieldByName(code_table::kNumber).SetAsInteger(nomer);
        table.FieldByName(code_table::kCode).SetAsString(e.kbk);
        table.FieldByName(code_table::kName).SetAsString(tdb::Utf8ToCp1251(e.naim));
        table.FieldByName(code_table::kKind).SetAsInteger(e.tip);
        table.FieldByName(code_table::kDeleted).SetAsBoolean(false);
        table.Post();
      } catch (...) {
        table.Cancel();
        throw;
      }
    }
    // Closing the last dataset disconnects the database: flush before.
    database.Flush();
    table.Close();
  }
  database.Close();
}

}  // namespace receipts
