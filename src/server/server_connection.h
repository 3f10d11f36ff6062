// ServerConnection: one session with a PostgreSQL server, through libpq.
//
// Statements go with their values as separate parameters (text format), never
// spliced into the SQL text.  The session speaks UTF-8; the callers convert
// from and to Windows-1251.  Every failure is raised as tdb::EDatabaseError:
// a connection that fails to open or is lost names the server, a refused
// statement carries the server's message, and the kinds the program tells
// apart get messages of their own (see ServerErrorText).
//
// Notifications: Listen subscribes to the change channel; Changes counts
// what has arrived, read without waiting, WaitForNotification waits on the
// socket for up to a timeout.  The server does not tell this session of its
// own changes: the datasets sharing it count them with NoteOwnChange, so
// that each of them learns of the others'.  Single thread.
#pragma once

#include <memory>
#include <optional>
#include <cstdint>
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

  // BEGIN ... COMMIT around `work`; ROLLBACK when it raises.
  template <typename Work>
  auto InTransaction(Work&& work) {
    Exec("BEGIN");
    try {
      if constexpr (std::is_void_v<decltype(work())>) {
        work();
        Exec("COMMIT");
      } else {
        auto result = work();
        Exec("COMMIT");
        return result;
      }
    } catch (...) {
      RollbackQuietly();
      throw;
    }
  }
  void RollbackQuietly();

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

 private:
  void ReadNotifications();

  pg_conn* conn_ = nullptr;
  std::string conninfo_;
  bool listening_ = false;
  std::map<std::string, uint64_t> changes_;
};

// The channel every change of the four tables is announced on; the payload
// is the table's name.
inline constexpr const char* kChangeChannel = "formix_changes";

}  // namespace server
