// The server as the program's home.
#include "server/server_home.h"

#include "data/receipt_tables.h"
#include "engine/base/database_error.h"
#include "server/server_table.h"

namespace server {

namespace {

TServerTable& Table(tdb::TDataSet& dataset) {
  auto* table = dynamic_cast<TServerTable*>(&dataset);
  if (!table) dataset.Error("The dataset is not one of the database server");
  return *table;
}

}  // namespace

void UseReceiptNumbering(TServerTable& table) {
  table.SetNumberFields(receipts::kNumberField, receipts::kDeletedField);
}

struct ServerHome::Session {
  std::string conninfo;
  PasswordAsk ask;
  std::shared_ptr<ServerConnection> connection;
  ConnectionSource source;
  std::string description;

  std::shared_ptr<ServerConnection> Connect() {
    if (connection) return connection;
    if (source) return connection = source();
    try {
      connection = std::make_shared<ServerConnection>(conninfo);
      return connection;
    } catch (const tdb::EDatabaseError& e) {
      if (e.Kind() != tdb::ekWrongPassword || !ask) throw;
    }
    for (int attempt = 0;; ++attempt) {
      std::optional<std::string> password = ask(DescribeConnection(conninfo), attempt > 0);
      if (!password) throw tdb::EAbort();
      try {
        connection = std::make_shared<ServerConnection>(conninfo, *password);
        return connection;
      } catch (const tdb::EDatabaseError& e) {
        if (e.Kind() != tdb::ekWrongPassword || attempt + 1 >= kPasswordTries) throw;
      }
    }
  }
};

ServerHome::ServerHome(std::string conninfo, PasswordAsk ask)
    : session_(std::make_shared<Session>(Session{std::move(conninfo), std::move(ask), nullptr, {}, {}})) {
  CheckConnectionString(session_->conninfo);
  session_->description = DescribeConnection(session_->conninfo);
}

ServerHome::ServerHome(ConnectionSource source, std::string description)
    : session_(std::make_shared<Session>(Session{{}, {}, nullptr, std::move(source), std::move(description)})) {}

ServerHome::~ServerHome() = default;

const std::string& ServerHome::ConnectionString() const { return session_->conninfo; }

std::shared_ptr<ServerConnection> ServerHome::Connection() const { return session_->Connect(); }

std::unique_ptr<tdb::TDataSet> ServerHome::NewDataSet() const {
  return std::make_unique<TServerTable>([session = session_] { return session->Connect(); });
}

void ServerHome::SetTable(tdb::TDataSet& dataset, const std::string& /*file*/, const std::string& table,
                          const std::string& index) const {
  TServerTable& t = Table(dataset);
  t.SetTableName(table);
  t.SetIndexName(index);
  UseReceiptNumbering(t);
}

void ServerHome::ClearTable(tdb::TDataSet& dataset) const {
  TServerTable& t = Table(dataset);
  t.Close();
  t.SetTableName("");
  t.SetIndexName("");
}

std::string ServerHome::Describe() const { return session_->description; }

std::optional<receipts::DataHome::PurgeCount> ServerHome::PurgeMarked(tdb::TDataSet& dataset) const {
  PurgeCount count;
  count.removed = Table(dataset).PurgeMarked(&count.renumbered);
  return count;
}

std::optional<tdb::TCurrency> ServerHome::ViewTotal(tdb::TDataSet& dataset, int field) const {
  return Table(dataset).ViewTotal(field);
}

}  // namespace server
