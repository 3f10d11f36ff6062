// A small table file for the widget layer's tests, opened through a data source.
#pragma once

#include <memory>
#include <string>

#include "engine/dataset/dada_table.h"
#include "engine/dataset/data_source.h"
#include "engine/db_image.h"

namespace widgets_test {

// Table "t": nomer ftInteger, name ftString(12), day ftDate, summa
// ftCurrency, mark ftBoolean; indexes "inomer" (nomer), "iname" (name),
// "isumma" (summa).
inline tdb::TTableHeader PaymentsHeader() {
  tdb::TTableHeader h;
  h.TableName = "t";
  const tdb::TFieldTabItem fields[] = {{"nomer", tdb::ftInteger, 0, 0},
                                       {"name", tdb::ftString, 12, 0},
                                       {"day", tdb::ftDate, 0, 0},
                                       {"summa", tdb::ftCurrency, 0, 0},
                                       {"mark", tdb::ftBoolean, 0, 0}};
  h.FieldCount = 5;
  for (int i = 0; i < 5; ++i) h.FieldTab[i] = fields[i];
  h.IndexCount = 3;
  const char* names[] = {"inomer", "iname", "isumma"};
  const int keys[] = {0, 1, 3};
  for (int i = 0; i < 3; ++i) {
    h.IndexHeaders[i].IndexName = names[i];
    h.IndexHeaders[i].IndexFields[0] = keys[i];
  }
  return h;
}

// An open table on a fresh file, with a data source over it.
struct PaymentsTable {
  explicit PaymentsTable(const std::string& index = "inomer") {
    path = dir.File("p.tdb", tdb::testing::OneTableImage(PaymentsHeader()));
    table.SetDatabaseName(path);
    table.SetTableName("t");
    table.SetIndexName(index);
    table.Open();
    source.SetDataSet(&table);
  }
  ~PaymentsTable() {
    source.SetDataSet(nullptr);
    table.Close();
  }
  // Appends a record (name in Windows-1251).
  void Add(int nomer, const std::string& name, double summa = 0, bool mark = false) {
    table.Insert();
    table.FieldByName("nomer").SetAsInteger(nomer);
    table.FieldByName("name").SetAsString(name);
    table.FieldByName("summa").SetAsFloat(summa);
    table.FieldByName("mark").SetAsBoolean(mark);
    table.Post();
  }

  tdb::testing::TempDir dir;
  std::string path;
  tdb::TDadaTable table;
  tdb::TDataSource source;
};

}  // namespace widgets_test
