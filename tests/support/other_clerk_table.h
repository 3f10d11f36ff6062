// Another clerk's table for the window tests of several clerks: on a file
// run, the file opened through a session of its own (as another program
// has, other_program.h); on a server run (test_home.h), the table on a
// server session of its own, a number set in a new record stored as set.
#pragma once

#include <memory>
#include <string>

#include "engine/base/database_error.h"
#include "engine/database/session.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/variant.h"
#include "support/other_program.h"
#include "support/test_home.h"

struct OtherClerkTable {
  OtherClerkTable(const std::string& file, const std::string& table_name, const std::string& index = "inomer")
      : dataset(Open(file, table_name, index)), table(*dataset) {}
  // Makes the record whose `nomer` is `number` current; raises when there is none.
  tdb::TDataSet& Go(int number) {
    if (!table.Locate("nomer", {tdb::TVariant(int64_t{number})}, 0))
      throw tdb::EDatabaseError("no record numbered " + std::to_string(number));
    return table;
  }
  tdb::TDadaSession session;
  std::unique_ptr<tdb::TDataSet> dataset;
  tdb::TDataSet& table;

 private:
  std::unique_ptr<tdb::TDataSet> Open(const std::string& file, const std::string& table_name,
                                      const std::string& index) {
    if (auto on_server = test_home::OpenOtherClerksTable(table_name, index)) {
      on_server->AssignNumbers = false;
      return on_server;
    }
    static int count = 0;
    const std::string name = "other clerk " + std::to_string(++count);
    session.SetSessionName(name);
    auto t = std::make_unique<tdb::TDadaTable>();
    t->SetSessionName(name);
    t->SetDatabaseName(file);
    t->SetTableName(table_name);
    t->SetIndexName(index);
    t->Open();
    return t;
  }
};
