// tdb dump, insert and delete: records of one table through the table storage.
#include "tdb/table_commands.h"

#include <iostream>
#include <istream>
#include <ostream>

#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/file/file_io.h"
#include "engine/storage/table_io.h"
#include "tdb/json.h"
#include "tdb/record_json.h"

namespace tdbtool {
namespace {

struct TTableArgs {
  std::string file;
  std::string table;
  std::string index;
  std::string password;
  bool has_index = false;
  bool has_password = false;
  std::string recno;
  bool has_recno = false;
};

TTableArgs ParseArgs(const std::vector<std::string>& args, const std::string& usage, bool index_allowed,
                     bool recno_allowed, bool table_needed = true) {
  TTableArgs a;
  std::vector<std::string> words;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& w = args[i];
    auto value = [&](std::string& into, bool& flag) {
      if (i + 1 >= args.size() || flag) throw TUsageError{usage};
      into = args[++i];
      flag = true;
    };
    if (w == "--password") value(a.password, a.has_password);
    else if (w == "--index" && index_allowed) value(a.index, a.has_index);
    else if (w == "--recno" && recno_allowed) value(a.recno, a.has_recno);
    else if (w.starts_with("--")) throw TUsageError{usage};
    else words.push_back(w);
  }
  if (words.size() != (table_needed ? 2u : 1u)) throw TUsageError{usage};
  a.file = words[0];
  if (table_needed) a.table = tdb::Utf8ToCp1251(words[1]);
  return a;
}

// The file, opened shared, with the password checked.
void OpenFile(tdb::TRadiVOFileIO& file, const TTableArgs& a, bool read_only) {
  file.Open(a.file, tdb::mtDisk, read_only, false);
  if (a.has_password && !file.SetPassword(a.password)) tdb::DatabaseError("Invalid password");
}

}  // namespace

int DumpCommand(const std::vector<std::string>& args, std::ostream& out) {
  TTableArgs a = ParseArgs(args, "dump needs FILE TABLE [--index NAME] [--password P]", true, false);
  tdb::TRadiVOFileIO file;
  OpenFile(file, a, true);
  tdb::TDadaTableIO table(file, a.table);
  table.OpenTable();
  int32_t list_no = 0;
  if (a.has_index) {
    int32_t index = table.IndexDefs().IndexOf(tdb::Utf8ToCp1251(a.index));
    if (index < 0) tdb::DatabaseError(tdb::Format("Index '%s' not found", {a.index}));
    list_no = index + 1;
  }
  const tdb::TRecordList& list = table.IndexLists(list_no);
  for (size_t p = 0; p < list.size(); ++p) {
    TToolRecord record(table);
    table.ReadRecord(record.Buffers(), list, static_cast<int32_t>(p));
    out << RecordToJson(table, record, list[p].RecIndex) << "\n";
  }
  return 0;
}

int InsertCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& err) {
  TTableArgs a = ParseArgs(args, "insert needs FILE TABLE [--password P]", false, false);
  tdb::TRadiVOFileIO file;
  OpenFile(file, a, false);
  tdb::TDadaTableIO table(file, a.table);
  table.OpenTable();
  std::string line;
  for (int64_t line_no = 1; std::getline(in, line); ++line_no) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    try {
      TToolRecord record(table);
      RecordFromJson(table, ParseJson(line), record);
      table.AppendRecord(record.Buffers(), false, nullptr);
    } catch (const tdb::EDatabaseError& e) {
      // Lines before it are in the file; nothing of this one is.
      err << "tdb: line " << line_no << ": " << e.what() << "\n";
      return 1;
    }
  }
  file.Flush();
  return 0;
}

int DeleteCommand(const std::vector<std::string>& args) {
  const std::string usage = "delete needs FILE TABLE --recno N [--password P]";
  TTableArgs a = ParseArgs(args, usage, false, true);
  if (!a.has_recno) throw TUsageError{usage};
  int64_t recno = -1;
  try {
    size_t used = 0;
    recno = std::stoll(a.recno, &used);
    if (used != a.recno.size()) recno = -1;
  } catch (const std::exception&) {
    recno = -1;
  }
  if (recno < 0 || recno > INT32_MAX) throw TUsageError{usage};
  tdb::TRadiVOFileIO file;
  OpenFile(file, a, false);
  tdb::TDadaTableIO table(file, a.table);
  table.OpenTable();
  const tdb::TRecordList& list0 = table.IndexLists(0);
  // List 0 ascends by record number.
  size_t lo = 0, hi = list0.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (list0[mid].RecIndex < recno) lo = mid + 1;
    else hi = mid;
  }
  if (lo == list0.size() || list0[lo].RecIndex != recno)
    tdb::DatabaseError(tdb::Format("Record %s not found", {a.recno}));
  table.DeleteRecord(static_cast<int32_t>(lo), true);
  return 0;
}

}  // namespace tdbtool
