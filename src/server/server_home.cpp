// The server as the program's home.
#include "server/server_home.h"

#include <libpq-fe.h>

#include "engine/base/database_error.h"
#include "server/server_table.h"

namespace server {

namespace {

// The keywords of a connection string and their values (null when unset).
class ConnInfo {
 public:
  explicit ConnInfo(const std::string& conninfo) {
    char* error = nullptr;
    options_ = PQconninfoParse(conninfo.c_str(), &error);
    if (!options_) {
      std::string message = error ? error : "out of memory";
      if (error) PQfreemem(error);
      while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
      tdb::DatabaseError(tdb::ekInvalidValue, tdb::Format("Invalid server connection string: %s", {message}));
    }
  }
  ~ConnInfo() { PQconninfoFree(options_); }
  ConnInfo(const ConnInfo&) = delete;
  ConnInfo& operator=(const ConnInfo&) = delete;

  std::string Value(const char* keyword) const {
    for (PQconninfoOption* o = options_; o->keyword; ++o)
      if (std::string(o->keyword) == keyword && o->val) return o->val;
    return {};
  }

 private:
  PQconninfoOption* options_ = nullptr;
};

TServerTable& Table(tdb::TDataSet& dataset) {
  auto* table = dynamic_cast<TServerTable*>(&dataset);
  if (!table) dataset.Error("The dataset is not one of the database server");
  return *table;
}

}  // namespace

void CheckConnectionString(const std::string& conninfo) {
  ConnInfo info(conninfo);
  if (!info.Value("password").empty())
    tdb::DatabaseError(tdb::ekInvalidValue, "The server connection string must not hold a password");
}

std::string DescribeConnection(const std::string& conninfo) {
  ConnInfo info(conninfo);
  std::string host = info.Value("host");
  if (host.empty()) host = info.Value("hostaddr");
  if (host.empty()) host = "localhost";
  std::string out = host;
  if (const std::string port = info.Value("port"); !port.empty()) out += ":" + port;
  std::string user = info.Value("user");
  std::string db = info.Value("dbname");
  if (db.empty()) db = user;
  if (!db.empty()) out += "/" + db;
  if (!user.empty()) out += " (" + user + ")";
  return out;
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

}  // namespace server
