// Receipts made up for the server tests, written the same way into a data
// folder's file and onto a server, so that the two homes can be compared.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "data/database_creator.h"
#include "data/receipt_tables.h"
#include "engine/base/codepage.h"
#include "engine/database/database.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/dataset.h"

namespace server {

// The payer of receipt i: Cyrillic and Latin, upper and lower case, repeats.
inline std::string PayerOf(int i) {
  static const char* const names[] = {"Иванов И.И.", "иванова А.", "Ёлкин П.", "Егоров Д.", "Smith J.",
                                      "smith a.",    "Петров П.П.", "Яковлев",  "ООО «Ромашка»", "Аксёнов",
                                      "Ежов",        "Zeta",        "  Пробелов", "Б-ов",  "Бов"};
  return tdb::Utf8ToCp1251(names[(i * 7) % 15]);
}

// Fills the record being inserted with receipt i's values.
inline void FillReceipt(tdb::TDataSet& t, int i) {
  t.FieldByName("nomer").SetAsInteger(i + 1);
  t.FieldByName("DatePlat").SetAsDateTime(45000 + (i * 37) % 400);
  t.FieldByName("Platel").SetAsString(PayerOf(i));
  t.FieldByName("Poluchat").SetAsString(tdb::Utf8ToCp1251(i % 3 ? "УФК по г. Москве" : "ПАО Банк"));
  t.FieldByName("InnPlat").SetAsString(std::to_string(500000000000LL + i));
  t.FieldByName("Summa").SetAsCurrency(tdb::TCurrency{static_cast<int64_t>((i * 7919) % 100000) * 100});
  t.FieldByName("naloglog").SetAsBoolean(i % 4 == 0);
  t.FieldByName("nomerPlat").SetAsInteger(i % 10);
  t.FieldByName("NaznPlat").SetAsString(tdb::Utf8ToCp1251(i % 5 ? "Оплата услуг" : "Налог 100%_x"));
  t.FieldByName("slugebnoe").SetAsBoolean(i % 6 == 5);
}

inline void AppendReceipts(tdb::TDataSet& t, int count) {
  for (int i = 0; i < count; ++i) {
    t.Append();
    FillReceipt(t, i);
    t.Post();
  }
}

// A data folder's receipts file with `count` receipts, open as a table.
class FileReceipts {
 public:
  FileReceipts(const std::string& dir, int count) : path_(dir + "/formix.tdb") {
    std::filesystem::remove(path_);
    receipts::CreateDatabaseFile(path_, receipts::ReceiptFiles()[0].schema);
    database_.SetDatabaseName(path_);
    database_.Open();
    table_.SetDatabaseName(path_);
    table_.SetTableName("formix");
    table_.Open();
    AppendReceipts(table_, count);
  }
  tdb::TDadaTable& Table() { return table_; }

 private:
  std::string path_;
  tdb::TDadaDatabase database_;
  tdb::TDadaTable table_;
};

// Runs `work` in a child process (a second clerk); answers its exit status,
// 0 when `work` returned, 1 when it raised.
inline int InChild(const std::function<void()>& work) {
  pid_t pid = fork();
  if (pid == 0) {
    int code = 0;
    try {
      work();
    } catch (...) {
      code = 1;
    }
    _exit(code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

}  // namespace server
