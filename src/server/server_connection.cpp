// The libpq session: statements with parameters, transactions, notifications.
#include "server/server_connection.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cstdlib>
#include <cstring>

#include "engine/base/codepage.h"
#include "engine/base/database_error.h"

namespace server {
namespace {

// The server's message, first line only, in the engine's code page.
std::string FirstLine(const char* text) {
  std::string s = text ? text : "";
  size_t end = s.find('\n');
  if (end != std::string::npos) s.resize(end);
  return tdb::Utf8ToCp1251(s);
}

// A failure of the server `server` (its description).
tdb::TErrorParams ServerParams(const std::string& server) {
  tdb::TErrorParams params;
  params.Server = server;
  return params;
}

[[noreturn]] void RaiseResult(pg_result* result, pg_conn* conn, const std::string& server) {
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  std::string message = FirstLine(result ? PQresultErrorMessage(result) : PQerrorMessage(conn));
  std::string code = state ? state : "";
  if (result) PQclear(result);
  if (message.rfind("ERROR:  ", 0) == 0) message.erase(0, 8);
  const tdb::TErrorParams params = ServerParams(server);
  if (code == "42501")
    tdb::DatabaseError(tdb::ekReadOnly, tdb::Format("Permission denied: %s", {message}), params);
  if (code == "40001" || code == "40P01" || code == "55P03")
    tdb::DatabaseError(tdb::ekLockTimeout, "Record locked by another user", params);
  if (code == "22001" || code == "22003" || code == "22008")
    tdb::DatabaseError(tdb::ekOutOfRange, tdb::Format("Database server error: %s", {message}), params);
  if (code == "42P01")
    tdb::DatabaseError(tdb::ekTableMissing, tdb::Format("Database server error: %s", {message}), params);
  if (code == "53100")
    tdb::DatabaseError(tdb::ekDiskFull, tdb::Format("Database server error: %s", {message}), params);
  if (PQstatus(conn) != CONNECTION_OK || code.rfind("08", 0) == 0 || code == "57P01" || code == "57P02" ||
      code == "57P03")
    tdb::DatabaseError(tdb::ekIoFailure, tdb::Format("Connection to the database server lost: %s", {message}),
                       params);
  tdb::DatabaseError(tdb::ekGeneral, tdb::Format("Database server error: %s", {message}), params);
}

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

}  // namespace

void CheckConnectionString(const std::string& conninfo) {
  if (HoldsPassword(conninfo))
    tdb::DatabaseError(tdb::ekInvalidValue, "The server connection string must not hold a password");
}

bool HoldsPassword(const std::string& conninfo) { return !ConnInfo(conninfo).Value("password").empty(); }

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

ServerResult::~ServerResult() {
  if (result_) PQclear(result_);
}
int ServerResult::Rows() const { return PQntuples(result_); }
int ServerResult::Columns() const { return PQnfields(result_); }
std::string ServerResult::Text(int row, int column) const {
  return std::string(PQgetvalue(result_, row, column), static_cast<size_t>(PQgetlength(result_, row, column)));
}
const char* ServerResult::Raw(int row, int column) const { return PQgetvalue(result_, row, column); }
int ServerResult::Length(int row, int column) const { return PQgetlength(result_, row, column); }
bool ServerResult::IsNull(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }
long long ServerResult::Integer(int row, int column) const {
  return std::strtoll(PQgetvalue(result_, row, column), nullptr, 10);
}
long long ServerResult::Affected() const {
  const char* n = PQcmdTuples(result_);
  return n && *n ? std::strtoll(n, nullptr, 10) : 0;
}

std::string ServerResult::Tag() const {
  const char* tag = PQcmdStatus(result_);
  return tag ? tag : "";
}

ServerConnection::ServerConnection(const std::string& conninfo, const std::string& password)
    : conninfo_(conninfo), description_(DescribeConnection(conninfo)) {
  // Keys after the connection string override it: the session always speaks UTF-8.
  std::vector<const char*> keys = {"dbname", "client_encoding", "application_name"};
  std::vector<const char*> values = {conninfo.c_str(), "UTF8", "formix"};
  if (!password.empty()) {
    keys.push_back("password");
    values.push_back(password.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  conn_ = PQconnectdbParams(keys.data(), values.data(), 1);
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    std::string message = conn_ ? FirstLine(PQerrorMessage(conn_)) : "out of memory";
    const bool refused = conn_ && PQconnectionNeedsPassword(conn_) == 0 && PQconnectionUsedPassword(conn_) != 0;
    // The server asks for a password that neither the password file nor the
    // service file gave: the caller may ask the clerk for one.
    const bool wanted = conn_ && PQconnectionNeedsPassword(conn_) != 0;
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
    tdb::TErrorParams params = ServerParams(description_);
    if (refused) tdb::DatabaseError(tdb::ekWrongPassword, "Access denied", params);
    if (wanted) tdb::DatabaseError(tdb::ekWrongPassword, "Password required", params);
    params.Open = tdb::ofOther;
    tdb::DatabaseError(tdb::ekCannotOpen, tdb::Format("Cannot connect to the database server: %s", {message}),
                       params);
  }
  PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
}

ServerConnection::~ServerConnection() {
  if (conn_) PQfinish(conn_);
}

ServerResult ServerConnection::Exec(const std::string& sql, const std::vector<ServerParam>& params) {
  if (PQstatus(conn_) != CONNECTION_OK) Reconnect();
  std::vector<const char*> values(params.size());
  for (size_t i = 0; i < params.size(); ++i) values[i] = params[i] ? params[i]->c_str() : nullptr;
  pg_result* result = PQexecParams(conn_, sql.c_str(), static_cast<int>(params.size()), nullptr, values.data(),
                                   nullptr, nullptr, 0);
  ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) RaiseResult(result, conn_, description_);
  ReadNotifications();
  return ServerResult(result);
}

void ServerConnection::ExecScript(const std::string& sql) {
  if (PQstatus(conn_) != CONNECTION_OK) Reconnect();
  pg_result* result = PQexec(conn_, sql.c_str());
  ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) RaiseResult(result, conn_, description_);
  PQclear(result);
}

bool ServerConnection::InTransactionBlock() const {
  const PGTransactionStatusType status = PQtransactionStatus(conn_);
  return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
}

void ServerConnection::Commit() {
  ServerResult r = Exec("COMMIT");
  // The server answers a COMMIT of a failed transaction with ROLLBACK.
  if (r.Tag() == "ROLLBACK")
    tdb::DatabaseError(tdb::ekGeneral,
                       tdb::Format("Database server error: %s", {"the transaction was rolled back"}),
                       ServerParams(description_));
}

void ServerConnection::RollbackToSavepointQuietly() {
  if (PQtransactionStatus(conn_) == PQTRANS_IDLE) return;
  if (pg_result* r = PQexec(conn_, "ROLLBACK TO SAVEPOINT formix_change")) PQclear(r);
}

void ServerConnection::RollbackQuietly() {
  if (PQtransactionStatus(conn_) == PQTRANS_IDLE) return;
  if (pg_result* r = PQexec(conn_, "ROLLBACK")) PQclear(r);
}

void ServerConnection::Reconnect() {
  PQreset(conn_);
  if (PQstatus(conn_) != CONNECTION_OK)
    tdb::DatabaseError(tdb::ekIoFailure,
                       tdb::Format("Connection to the database server lost: %s", {FirstLine(PQerrorMessage(conn_))}),
                       ServerParams(description_));
  PQsetNoticeProcessor(conn_, [](void*, const char*) {}, nullptr);
  // What changed while the session was away was not heard: every table
  // counts as changed once more.
  ++reconnects_;
  if (listening_) {
    listening_ = false;
    Listen();
  }
}

void ServerConnection::Listen() {
  if (listening_) return;
  Exec(std::string("LISTEN ") + kChangeChannel);
  listening_ = true;
}

void ServerConnection::ReadNotifications() {
  if (!listening_) return;
  const int self = PQbackendPID(conn_);
  while (PGnotify* n = PQnotifies(conn_)) {
    if (n->be_pid != self) ++changes_[n->extra ? n->extra : ""];
    PQfreemem(n);
  }
}

uint64_t ServerConnection::Changes(const std::string& table) {
  if (listening_) {
    PQconsumeInput(conn_);
    ReadNotifications();
  }
  const auto it = changes_.find(table);
  return reconnects_ + (it == changes_.end() ? 0 : it->second);
}

void ServerConnection::NoteOwnChange(const std::string& table) { ++changes_[table]; }

bool ServerConnection::WaitForNotification(int timeout_ms) {
  if (!listening_) return false;
  PQconsumeInput(conn_);
  ReadNotifications();
  uint64_t before = 0;
  for (const auto& [table, n] : changes_) before += n;
  pollfd fd{PQsocket(conn_), POLLIN, 0};
  if (poll(&fd, 1, timeout_ms) > 0) {
    PQconsumeInput(conn_);
    ReadNotifications();
  }
  uint64_t after = 0;
  for (const auto& [table, n] : changes_) after += n;
  return after > before;
}

int ServerConnection::Socket() const { return PQsocket(conn_); }
int ServerConnection::BackendPid() const { return PQbackendPID(conn_); }

}  // namespace server
