// ServerHome: the program's four tables on a PostgreSQL server as the
// program's home (data/data_home.h).
//
// It is given a libpq connection string (host, port, dbname, user, sslmode;
// never a password) and connects when the first table opens, once for the
// whole program: every dataset it makes shares that session.  The password
// comes from libpq's password file or service file; when the server still
// asks for one, `ask` is called (the login dialog), up to kPasswordTries
// times; cancelling it aborts the open silently (tdb::EAbort).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "data/data_home.h"
#include "server/server_connection.h"

namespace server {

inline constexpr int kPasswordTries = 3;

class TServerTable;

// Gives a table made outside a home the program's number and deletion-mark
// fields (data/receipt_tables.h), as the home's tables have them.
void UseReceiptNumbering(TServerTable& table);

class ServerHome : public receipts::DataHome {
 public:
  // The password to try, UTF-8; nothing when the clerk cancelled.  `refused`
  // is false for the first question, true after a wrong password.
  using PasswordAsk = std::function<std::optional<std::string>(const std::string& server, bool refused)>;

  // Raises as CheckConnectionString.
  ServerHome(std::string conninfo, PasswordAsk ask);
  // A home whose session `source` opens (at the first table opened, once),
  // described to the clerk as `description`.
  using ConnectionSource = std::function<std::shared_ptr<ServerConnection>()>;
  ServerHome(ConnectionSource source, std::string description);
  ~ServerHome() override;

  std::unique_ptr<tdb::TDataSet> NewDataSet() const override;
  void SetTable(tdb::TDataSet& dataset, const std::string& file, const std::string& table,
                const std::string& index) const override;
  void ClearTable(tdb::TDataSet& dataset) const override;
  std::string Describe() const override;
  bool OnServer() const override { return true; }
  // One transaction (TServerTable::PurgeMarked).
  std::optional<PurgeCount> PurgeMarked(tdb::TDataSet& dataset) const override;
  // The server's SUM (TServerTable::ViewTotal).
  std::optional<tdb::TCurrency> ViewTotal(tdb::TDataSet& dataset, int field) const override;

  // The program's session with the server, opened at the first call.
  std::shared_ptr<ServerConnection> Connection() const;
  // Empty for a home made with a ConnectionSource.
  const std::string& ConnectionString() const;

 private:
  // Shared with the datasets made, which may outlive the home.
  struct Session;
  std::shared_ptr<Session> session_;
};

}  // namespace server
