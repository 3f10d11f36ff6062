// A temporary folder holding the program's four empty database files, made
// the current directory (the program opens them by bare name) for the life
// of the object, and small helpers to fill and read their tables.  On a
// server run (test_home.h) the tables are the folder's copy on the server
// from the first one opened on.
#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/database_creator.h"
#include "data/receipt_tables.h"
#include "engine/base/codepage.h"
#include "engine/dataset/dada_table.h"
#include "support/test_home.h"

class ReceiptFiles {
 public:
  ReceiptFiles() : previous_(QDir::currentPath()) {
    for (const receipts::ReceiptFile& f : receipts::ReceiptFiles())
      receipts::CreateDatabaseFile(dir_.filePath(QString::fromStdString(f.file_name)).toStdString(), f.schema);
    QDir::setCurrent(dir_.path());
    test_home::FolderMade();
  }
  ~ReceiptFiles() {
    test_home::FolderGone();
    QDir::setCurrent(previous_);
  }
  QString Path(const QString& name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
  QString previous_;
};

// A table of one of the files (of the home), open on `index`.  A number
// set in a new record is stored as set, on either home.
inline std::unique_ptr<tdb::TDataSet> OpenTable(const std::string& file, const std::string& table,
                                                const std::string& index) {
  std::unique_ptr<tdb::TDataSet> t = receipts::Home().NewDataSet();
  receipts::Home().SetTable(*t, file, table, index);
  if (auto* on_server = dynamic_cast<server::TServerTable*>(t.get())) on_server->AssignNumbers = false;
  t->Open();
  return t;
}

// Appends a record.  Values are UTF-8 texts; "nomer", "tip", the entry
// numbers and "slugebnoe" / "naloglog" ("1" true) are set as numbers.
inline void AddRecord(tdb::TDataSet& t, const std::vector<std::pair<std::string, std::string>>& values) {
  t.Insert();
  for (const auto& [name, value] : values) {
    tdb::TField& f = t.FieldByName(name);
    if (f.DataType() == tdb::ftBoolean)
      f.SetAsBoolean(value == "1");
    else if (f.DataType() == tdb::ftInteger)
      f.SetAsInteger(std::stoi(value));
    else
      f.SetAsString(tdb::Utf8ToCp1251(value));
  }
  t.Post();
}

inline void AddRecord(const std::string& file, const std::string& table,
                      const std::vector<std::pair<std::string, std::string>>& values) {
  auto t = OpenTable(file, table, "");
  AddRecord(*t, values);
}

// A field's value as UTF-8 text.
inline std::string Text(const tdb::TDataSet& t, const char* field) {
  return tdb::Cp1251ToUtf8(t.FieldByName(field).AsString());
}
