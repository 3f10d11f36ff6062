// tdb dump, insert and delete: the records of one table through a table
// dataset.
#include "tdb/table_commands.h"

#include <algorithm>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/filter/filter_source.h"
#include "engine/storage/table_io.h"
#include "tdb/json.h"
#include "tdb/record_json.h"

namespace tdbtool {
namespace {

// The comma-separated --filter-options list.
tdb::TFilterOptions ParseFilterOptions(const std::string& list) {
  tdb::TFilterOptions options = 0;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = std::min(list.find(',', start), list.size());
    std::string item = list.substr(start, end - start);
    if (item == "ci") options |= tdb::foCaseInsensitive;
    else if (item == "nopartial") options |= tdb::foNoPartialCompare;
    else if (!item.empty()) throw TUsageError{"unknown filter option '" + item + "'"};
    start = end + 1;
  }
  return options;
}

}  // namespace

int DumpCommand(const std::vector<std::string>& args, std::ostream& out) {
  TToolArgs a = ParseToolArgs(args, {"--index", "--password", "--filter", "--filter-options"}, 2);
  if (a.filter_options && !a.filter) throw TUsageError{"--filter-options needs --filter"};
  tdb::TFilterOptions options = a.filter_options ? ParseFilterOptions(*a.filter_options) : 0;
  TToolTable tool(a.words[0], a.words[1], a, true);
  tdb::TDadaTable& table = tool.Table();
  if (a.filter) {
    table.SetFilterOptions(options);
    InUtf8([&] { table.SetFilter(tdb::Utf8ToCp1251(*a.filter)); });
    InUtf8([&] { table.SetFiltered(true); });
  }
  // Without --index the records come in record order, ascending record
  // numbers, even where the dataset orders its view by a primary index.
  std::vector<int> positions(static_cast<size_t>(table.RecordCount()));
  for (size_t p = 0; p < positions.size(); ++p) positions[p] = static_cast<int>(p);
  if (!a.index && table.CurrentIndexNo() >= 0)
    std::sort(positions.begin(), positions.end(),
              [&](int x, int y) { return table.BookmarkAt(x) < table.BookmarkAt(y); });
  for (int p : positions) {
    table.SetRecNo(p + 1);
    out << RecordToJson(table) << "\n";
  }
  return 0;
}

int InsertCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& err) {
  TToolArgs a = ParseToolArgs(args, {"--password"}, 2);
  TToolTable tool(a.words[0], a.words[1], a, false);
  tdb::TDadaTable& table = tool.Table();
  // A file that cannot take records is no fault of the first line.
  tool.Database().CheckReadOnly();
  // The lines are read a group at a time and stored in one change batch,
  // so that the file lock is taken once per group; it is never held while
  // the input is awaited.
  std::vector<std::string> group;
  int64_t line_no = 0;
  for (bool more = true; more;) {
    group.clear();
    const int64_t first_line = line_no + 1;
    std::string line;
    while (group.size() < static_cast<size_t>(tdb::TDadaTableIO::kChangesPerLock) && (more = !!std::getline(in, line))) {
      ++line_no;
      group.push_back(std::move(line));
    }
    if (group.empty()) break;
    tdb::TDadaTable::TChangeBatch batch(table);
    for (size_t k = 0; k < group.size(); ++k) {
      if (group[k].find_first_not_of(" \t\r") == std::string::npos) continue;
      try {
        table.Append();
        RecordFromJson(ParseJson(group[k]), table);
        InUtf8([&] { table.Post(); });
      } catch (const tdb::EDatabaseError& e) {
        // Lines before it are in the file (once the batch has written them
        // out); nothing of this one is.
        table.Cancel();
        err << "tdb: line " << first_line + static_cast<int64_t>(k) << ": " << e.what() << "\n";
        try {
          batch.Finish();
        } catch (const tdb::EDatabaseError& f) {
          if (k > 0) err << "tdb: lines " << first_line << "-" << first_line + static_cast<int64_t>(k) - 1 << " not stored: " << f.what() << "\n";
        }
        return 1;
      }
    }
    try {
      batch.Finish();
    } catch (const tdb::EDatabaseError& e) {
      err << "tdb: lines " << first_line << "-" << line_no << " not stored: " << e.what() << "\n";
      return 1;
    }
  }
  tool.Database().Flush();
  return 0;
}

int DeleteCommand(const std::vector<std::string>& args) {
  TToolArgs a = ParseToolArgs(args, {"--recno", "--password"}, 2);
  if (!a.recno) throw TUsageError{"--recno is missing"};
  int64_t recno = -1;
  try {
    size_t used = 0;
    recno = std::stoll(*a.recno, &used);
    if (used != a.recno->size()) recno = -1;
  } catch (const std::exception&) {
    recno = -1;
  }
  if (recno < 0 || recno > INT32_MAX) throw TUsageError{"--recno needs a record number from 0 to 2147483647"};
  TToolTable tool(a.words[0], a.words[1], a, false);
  tdb::TDadaTable& table = tool.Table();
  // The record number is the bookmark; the view holds every live record.
  bool present = false;
  for (int p = 0; p < table.RecordCount() && !present; ++p) present = table.BookmarkAt(p) == recno;
  if (!present) tdb::DatabaseError(tdb::Format("Record %s not found", {*a.recno}));
  table.GotoBookmark(static_cast<tdb::TBookmark>(recno));
  table.Delete();
  tool.Database().Flush();
  return 0;
}

}  // namespace tdbtool
