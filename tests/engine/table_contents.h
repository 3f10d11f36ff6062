// What a table of the ReceiptsLikeHeader() layout holds, read back through a
// dataset, for the fault, crash and multi-process tests: every record by its
// number `nomer` with its name and memo, and the order of an index.  Also
// runs the built tdb tool on a file.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/dataset/dada_table.h"
#include "engine/dataset/field.h"

namespace tdb::testing {

struct TRow {
  std::string name;
  std::string memo;
  bool operator==(const TRow&) const = default;
};

using TRows = std::map<int, TRow>;

struct TContents {
  TRows rows;                // by nomer
  std::vector<int> order;    // nomer in the order read
  int duplicates = 0;        // records whose nomer was met before
};

// Reads table "t" of `path` in the order of `index` ("" for record order).
inline TContents ReadContents(const std::string& path, const std::string& index = "") {
  TContents c;
  TDadaTable t;
  t.SetDatabaseName(path);
  t.SetTableName("t");
  t.SetIndexName(index);
  t.Open();
  for (t.First(); !t.Eof(); t.Next()) {
    int nomer = t.FieldByName("nomer").AsInteger();
    TRow row{t.FieldByName("name").AsString(), t.FieldByName("memo").AsString()};
    if (!c.rows.emplace(nomer, row).second) ++c.duplicates;
    c.order.push_back(nomer);
  }
  return c;
}

inline void AppendRow(TDadaTable& t, int nomer, const TRow& row) {
  t.Insert();
  t.FieldByName("nomer").SetAsInteger(nomer);
  t.FieldByName("name").SetAsString(row.name);
  t.FieldByName("memo").SetAsString(row.memo);
  t.Post();
}

// Runs `tdb ARGS`; the exit code and what it printed.
inline std::pair<int, std::string> RunTdb(const std::string& args) {
  std::string command = std::string(FORMIX_TDB_BINARY) + " " + args + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {-1, "cannot run tdb"};
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

}  // namespace tdb::testing
