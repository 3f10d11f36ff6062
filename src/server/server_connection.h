// ServerConnection: one session with a PostgreSQL server, through libpq.
//
// Statements go with their values as separate parameters (text format), never
// spliced into the SQL text.  The session speaks UTF-8; the callers convert
// from and to Windows-1251.  Every failure is raised as tdb::EDatabaseError:
// a connection that fails to open or is lost names the server, a refused
// statement carries the server's message, and the kinds the program tells
// apart get messages of their own (see ServerErrorText).
//
// A session whose connection broke (the server restarted, the network
// dropped it) reconnects at the next statement: the statement that met the
// break fails (ekIoFailure) and what its transaction did is undone by the
// server; the next one runs on a new session, and every table counts as
// changed, the notices of the gap being lost.
//
// Notifications: Listen subscribes to the change channel; Changes counts
// what has arrived, read without waiting, WaitForNotification waits on the
// socket for up to a timeout.  The server does not tell this session of its
// own changes: the datasets sharing it count them with NoteOwnChange, so
// that each of them learns of the others'.  Single thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
#include <map>
#include <string>
#include <vector>

struct pg_conn;
struct pg_result;

namespace server {

// One result of a statement: rows of text values.
class ServerResult {
 public:
  explicit ServerResult(pg_result* result) : result_(result) {}
  ServerResult(ServerResult&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
  ServerResult& operator=(ServerResult&&) = delete;
  ~ServerResult();
  int Rows() const;
  int Columns() const;
  // The value at (row, column) as text; "" for a null.
  std::string Text(int row, int column) const;
  const char* Raw(int row, int column) const;
  int Length(int row, int column) const;
  bool IsNull(int row, int column) const;
  long long Integer(int row, int column) const;
  // Rows a command changed (UPDATE, DELETE, INSERT).
  long long Affected() const;
  // The command's tag: "INSERT 0 1", "COMMIT", "ROLLBACK", ...
  std::string Tag() const;

 private:
  pg_result* result_;
};

// A statement parameter: text in UTF-8, or null.
using ServerParam = std::optional<std::string>;

class ServerConnection {
 public:
  // Opens a session with the libpq connection string (host, port, dbname,
  // user, sslmode; a password through the password or service file, or
  // `password` when given).  Raises when the server cannot be reached or
  // refuses the login.
  explicit ServerConnection(const std::string& conninfo, const std::string& password = {});
  ~ServerConnection();
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  ServerResult Exec(const std::string& sql, const std::vector<ServerParam>& params = {});
  // Runs statements without parameters (several separated by ";").
  void ExecScript(const std::string& sql);

  // BEGIN ... COMMIT around `work`; ROLLBACK when it raises.  Inside a
  // transaction the caller began (several changes stored together), the
  // work runs under a savepoint instead: when it raises only its own
  // statements are undone, and the caller's transaction stays usable.
  template <typename Work>
  auto InTransaction(Work&& work) {
    const bool nested = InTransactionBlock();
    Exec(nested ? "SAVEPOINT formix_change" : "BEGIN");
    try {
      if constexpr (std::is_void_v<decltype(work())>) {
        work();
        End(nested);
      } else {
        auto result = work();
        End(nested);
        return result;
      }
    } catch (...) {
      nested ? RollbackToSavepointQuietly() : RollbackQuietly();
      throw;
    }
  }
  // The end of InTransaction's work: the savepoint released, or COMMIT.
  void End(bool nested) {
    if (nested)
      Exec("RELEASE SAVEPOINT formix_change");
    else
      Commit();
  }
  // Whether a transaction is open on the session (BEGIN without its end yet).
  bool InTransactionBlock() const;
  // COMMIT of the open transaction; raises when the server undid it instead
  // (a statement of it had failed).
  void Commit();
  void RollbackQuietly();
  void RollbackToSavepointQuietly();

  // LISTEN on the change channel (once per session).
  void Listen();
  // How many changes of `table` (its name on the server) this session has
  // heard of: other sessions' notifications (what the socket holds is read
  // first, without waiting) and the changes noted by NoteOwnChange.  Only
  // ever grows.
  uint64_t Changes(const std::string& table);
  void NoteOwnChange(const std::string& table);
  // Waits up to timeout_ms for a new notification of another session;
  // answers whether one came (Changes then counts it).
  bool WaitForNotification(int timeout_ms);
  // The socket a window can watch for readability (a notification).
  int Socket() const;

  // The server's process for this session.
  int BackendPid() const;
  const std::string& ConnectionInfo() const { return conninfo_; }
  // The server as a clerk reads it: "host:port/database (user)".
  const std::string& Description() const { return description_; }

 private:
  void ReadNotifications();
  // A new session in place of a broken one; raises ekIoFailure when the
  // server cannot be reached again.
  void Reconnect();

  pg_conn* conn_ = nullptr;
  std::string conninfo_;
  std::string description_;
  bool listening_ = false;
  uint64_t reconnects_ = 0;
  std::map<std::string, uint64_t> changes_;
};

// The connection string checked: it must parse and hold no password.
// Raises ekInvalidValue ("Invalid server connection string: %s" / "The server
// connection string must not hold a password").
void CheckConnectionString(const std::string& conninfo);
// Whether a connection string that parses holds a password.
bool HoldsPassword(const std::string& conninfo);
// "host:port/dbname (user)" of a connection string, for the clerk; the
// defaults libpq would use fill in what is missing.
std::string DescribeConnection(const std::string& conninfo);

// The channel every change of the four tables is announced on; the payload
// is the table's name.
inline constexpr const char* kChangeChannel = "formix_changes";

}  // namespace server
