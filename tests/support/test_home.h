// The home the window tests run on.
//
// The window tests build their data folder (ReceiptFiles, DataFolder) and
// run the same body on either home.  A normal run keeps the tables in that
// folder.  A run with FORMIX_TEST_HOME=server (ctest's "*.server" tests, on
// the cluster scripts/test-cluster starts) keeps them on the server: when
// the first table opens, the folder's files as the test left them are copied
// into a new database (the copy of a data folder onto a server), and from
// then on every dataset of the program and of the test is a table there.
#pragma once

#include <QDir>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include "data/data_home.h"
#include "data/database_creator.h"
#include "data/receipt_tables.h"
#include "engine/dataset/dada_table.h"
#include "server/server_connection.h"
#include "server/server_home.h"
#include "server/server_schema.h"
#include "server/server_table.h"
#include "server/server_transfer.h"
#include "support/cluster_conn_info.h"

namespace test_home {

// Whether this run keeps the tables on the test server.
inline bool OnServer() {
  const char* home = std::getenv("FORMIX_TEST_HOME");
  return home && std::string(home) == "server";
}

using test_cluster::ClusterConnInfo;

// A database of its own for one data folder, made and filled when a table
// first opens.
class ServerCopy {
 public:
  explicit ServerCopy(std::string folder) : folder_(std::move(folder)) {}
  ~ServerCopy() {
    if (name_.empty()) return;
    connection_.reset();
    try {
      server::ServerConnection admin(ClusterConnInfo());
      admin.Exec("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    } catch (...) {
      // The cluster goes away after the run anyway.
    }
  }
  ServerCopy(const ServerCopy&) = delete;
  ServerCopy& operator=(const ServerCopy&) = delete;

  // The program's session, the database made and filled first.
  std::shared_ptr<server::ServerConnection> Connection() {
    if (!connection_) {
      Fill();
      connection_ = std::make_shared<server::ServerConnection>(conninfo_);
    }
    return connection_;
  }
  // A session of its own, as another clerk's program has.
  std::shared_ptr<server::ServerConnection> OtherConnection() {
    Connection();
    return std::make_shared<server::ServerConnection>(conninfo_);
  }
  const std::string& ConnInfo() {
    Connection();
    return conninfo_;
  }

 private:
  // The folder's files into a new database.  A file the test left out is
  // copied as an empty table (the server always has the four).
  void Fill() {
    const std::string cluster = ClusterConnInfo();
    if (cluster.empty()) {
      QTest::qFail("no test cluster: run the server variant through ctest (FORMIX_TEST_CLUSTER)", __FILE__,
                   __LINE__);
      throw std::runtime_error("no test cluster");
    }
    static int counter = 0;
    name_ = "w" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    server::ServerConnection admin(cluster);
    admin.Exec("DROP DATABASE IF EXISTS " + name_);
    admin.Exec("CREATE DATABASE " + name_);
    conninfo_ = cluster.substr(0, cluster.rfind("dbname=")) + "dbname=" + name_;
    namespace fs = std::filesystem;
    const fs::path copy = fs::temp_directory_path() / ("formix-" + name_);
    fs::create_directories(copy);
    for (const receipts::ReceiptFile& f : receipts::ReceiptFiles()) {
      const fs::path from = fs::path(folder_) / f.file_name;
      if (fs::exists(from))
        fs::copy_file(from, copy / f.file_name, fs::copy_options::overwrite_existing);
      else
        receipts::CreateDatabaseFile((copy / f.file_name).string(), f.schema);
    }
    server::ServerConnection c(conninfo_);
    server::CreateSchema(c);
    try {
      server::CopyFolderToServer(copy.string(), c);
    } catch (...) {
      fs::remove_all(copy);
      throw;
    }
    fs::remove_all(copy);
  }

  std::string folder_;
  std::string name_;
  std::string conninfo_;
  std::shared_ptr<server::ServerConnection> connection_;
};

// The server copy of the current test, null on a folder run.
inline std::shared_ptr<ServerCopy>& Current() {
  static std::shared_ptr<ServerCopy> current;
  return current;
}

// A data folder became the current directory: on a server run, the next
// table opened copies it into a database of its own.
inline void FolderMade() {
  if (!OnServer()) return;
  Current() = std::make_shared<ServerCopy>(QDir::currentPath().toStdString());
  receipts::SetHome(std::make_shared<server::ServerHome>([copy = Current()] { return copy->Connection(); },
                                                       "test server"));
}
// The data folder is gone: its database too.
inline void FolderGone() {
  if (!OnServer()) return;
  receipts::SetHome(nullptr);
  Current().reset();
}

// A table of the home, open on `index`: on a server run one on the
// program's session, as the program's windows have.
inline std::unique_ptr<tdb::TDataSet> OpenHomeTable(const std::string& file, const std::string& table,
                                                    const std::string& index) {
  std::unique_ptr<tdb::TDataSet> t = receipts::Home().NewDataSet();
  receipts::Home().SetTable(*t, file, table, index);
  t->Open();
  return t;
}

// On a server run, a table on a session of its own (another clerk's);
// null on a folder run.
inline std::unique_ptr<server::TServerTable> OpenOtherClerksTable(const std::string& table,
                                                                  const std::string& index) {
  if (!Current()) return nullptr;
  auto t = std::make_unique<server::TServerTable>(Current()->OtherConnection());
  t->SetTableName(table);
  server::UseReceiptNumbering(*t);
  t->SetIndexName(index);
  t->Open();
  return t;
}

// On a server run, how many changes of `table` (its name on the server)
// the program's session has heard of; 0 on a folder run.
inline uint64_t HeardChanges(const std::string& table) {
  return Current() ? Current()->Connection()->Changes(table) : 0;
}
// On a server run, waits until the program's session has heard of another
// clerk's change of `table` made after HeardChanges answered `before`: the
// server sends the notice on its own after the other clerk's commit, and a
// window's next idle look should find it there.  At most ten seconds.
inline void AwaitHeard(const std::string& table, uint64_t before) {
  if (!Current()) return;
  const std::shared_ptr<server::ServerConnection> session = Current()->Connection();
  for (int i = 0; i < 100 && session->Changes(table) == before; ++i) session->WaitForNotification(100);
}

// On a server run: runs `sql` (several statements) on the current copy as
// its owner, on a session of its own.
inline void ExecAsOwner(const std::string& sql) { Current()->OtherConnection()->ExecScript(sql); }

// On a server run: a login role of the cluster (made at its first use) with
// a clerk's rights on the current copy, or only SELECT when `readOnly`.
// Answers the copy's connection string as that role.
inline std::string ConnInfoAsRole(const std::string& role, bool readOnly) {
  ExecAsOwner("DO $$ BEGIN CREATE ROLE " + role + " LOGIN; EXCEPTION WHEN duplicate_object OR unique_violation "
              "THEN NULL; END $$");
  if (readOnly) {
    ExecAsOwner("GRANT SELECT ON ALL TABLES IN SCHEMA public TO " + role);
  } else {
    server::ServerConnection owner(Current()->ConnInfo());
    server::GrantClerk(owner, role);
  }
  return Current()->ConnInfo() + " user=" + role;
}

// On a server run: the program's home becomes the current copy reached
// through `conninfo` (another role, another server), the password asked
// through `ask`.
inline void UseServer(const std::string& conninfo, server::ServerHome::PasswordAsk ask = {}) {
  receipts::SetHome(std::make_shared<server::ServerHome>(conninfo, std::move(ask)));
}

// The table a dataset of either home is pointed at ("" when none): for a
// data folder's dataset its file and table, for the server's its table.
inline std::string TableOf(tdb::TDataSet& dataset) {
  if (auto* file = dynamic_cast<tdb::TDadaTable*>(&dataset))
    return file->DatabaseName().empty() && file->TableName().empty() ? ""
                                                                     : file->DatabaseName() + ":" + file->TableName();
  if (auto* table = dynamic_cast<server::TServerTable*>(&dataset)) return table->TableName();
  return "?";
}

}  // namespace test_home

// Skips a test of what only a data folder has (its files, their damage,
// their locks) on a server run.
#define SKIP_ON_SERVER(why)                 \
  do {                                      \
    if (test_home::OnServer()) QSKIP(why);  \
  } while (false)
