// A small table file for the table dataset's tests, and helpers to fill it.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/database_error.h"
#include "engine/dataset/dada_table.h"
#include "engine/db_image.h"

namespace tdb {

using testing::OneTableImage;
using testing::TempDir;

// Table "t": nomer ftInteger, name ftString(20), day ftDate, at ftTime,
// stamp ftDateTime, flag ftBoolean, sum ftCurrency, memo ftMemo; indexes
// "inomer" (nomer, unique) and "iname" (name).
inline TTableHeader ReceiptsLikeHeader(bool with_primary = false) {
  TTableHeader h;
  h.TableName = "t";
  const TFieldTabItem fields[] = {{"nomer", ftInteger, 0, 0}, {"name", ftString, 20, 0},  {"day", ftDate, 0, 0},
                                  {"at", ftTime, 0, 0},       {"stamp", ftDateTime, 0, 0}, {"flag", ftBoolean, 0, 0},
                                  {"sum", ftCurrency, 0, 0},  {"memo", ftMemo, 0, 0}};
  h.FieldCount = 8;
  for (int i = 0; i < 8; ++i) h.FieldTab[i] = fields[i];
  h.IndexCount = 2;
  h.IndexHeaders[0].IndexName = "inomer";
  h.IndexHeaders[0].IndexOptions = with_primary ? 3 : 2;  // tiUnique (and tiPrimary)
  h.IndexHeaders[0].IndexFields[0] = 0;
  h.IndexHeaders[1].IndexName = "iname";
  h.IndexHeaders[1].IndexFields[0] = 1;
  return h;
}

inline std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "";
}

class DadaTableTest : public ::testing::Test {
 protected:
  void SetUp() override { path_ = dir_.File("r.tdb", OneTableImage(ReceiptsLikeHeader())); }

  std::unique_ptr<TDadaTable> OpenTable(const std::string& index = "", const std::string& path = "") {
    auto table = std::make_unique<TDadaTable>();
    table->SetDatabaseName(path.empty() ? path_ : path);
    table->SetTableName("T");
    table->SetIndexName(index);
    table->Open();
    return table;
  }

  static void Add(TDadaTable& t, int nomer, const char* name) {
    t.Insert();
    t.FieldByName("nomer").SetAsInteger(nomer);
    t.FieldByName("name").SetAsString(name);
    t.Post();
  }

  static std::vector<int> Numbers(TDadaTable& t) {
    std::vector<int> out;
    for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName("nomer").AsInteger());
    return out;
  }

  TempDir dir_;
  std::string path_;
};

}  // namespace tdb
