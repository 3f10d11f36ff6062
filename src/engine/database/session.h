// TDadaSession and TDadaSessionList: the databases of a process, by name.
//
// A dataset names a session (empty: the default session, "Default") and a
// database; the session finds its database of that name (without regard to
// letter case) or creates a temporary one, connects it and counts the
// dataset's use.  When the count falls to 0, a temporary database is freed
// and any other database disconnected, unless it keeps its connection.
//
// The session list is process-wide; it holds every session, the first ever
// added being the default session, and the numbers taken by automatic session
// names.  Opening and closing databases for datasets, starting and stopping
// sessions and taking automatic names run under one process-wide recursive
// lock (the session lock); the list has its own.
//
// Ownership: the list owns the sessions created through it; a session owns
// the temporary databases it creates; other databases are owned by whoever
// created them and join a session by name.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/database/component_owner.h"
#include "engine/file/file_io.h"

namespace tdb {

class TDadaDatabase;
class TDadaSessionList;

// Asks the user for the password of `file_name`.  Returns false on Cancel.
using TLoginCallback = std::function<bool(const std::string& file_name, std::string& password)>;

class TDadaSession {
 public:
  // `owner` is the form the session is placed on, or null.  The session adds
  // itself to the process's session list.
  explicit TDadaSession(TComponentOwner* owner = nullptr);
  ~TDadaSession();
  TDadaSession(const TDadaSession&) = delete;
  TDadaSession& operator=(const TDadaSession&) = delete;

  // Component name; automatic session names are built from it.
  std::string Name;

  // ---- published properties ----
  bool Active() const { return active_; }
  // Starting calls OnStartup and needs a SessionName ("Session name
  // missing"); stopping frees the temporary databases and disconnects the
  // others, from the last to the first.
  void SetActive(bool active);
  bool AutoSessionName() const { return auto_session_name_; }
  void SetAutoSessionName(bool value);
  bool KeepConnections() const { return keep_connections_; }
  void SetKeepConnections(bool value);
  const std::string& SessionName() const { return session_name_; }
  void SetSessionName(const std::string& name);
  bool SQLHourGlass = true;
  int LockRetryCount() const { return lock_retry_count_; }
  void SetLockRetryCount(int value) { lock_retry_count_ = value < 0 ? 0 : value; }
  int LockWaitTime() const { return lock_wait_time_; }
  void SetLockWaitTime(int value) { lock_wait_time_ = value < 0 ? 0 : value; }
  std::function<void()> OnStartup;

  // How this session asks for a database password; the process default
  // (SetDefaultLoginCallback) when unset.
  TLoginCallback OnLogin;

  // ---- databases ----
  // The database of this session whose DatabaseName matches without regard
  // to letter case, or null.
  TDadaDatabase* FindDatabase(const std::string& name) const;
  // For a dataset: finds or creates (temporary) the database, connects it
  // and counts one use.  Errors propagate; a temporary database that failed
  // to connect is freed again.
  TDadaDatabase* OpenDatabase(const std::string& name, TRadiVOMediumType medium);
  // Lets go of one use; at 0 frees a temporary database or disconnects
  // another, unless it keeps its connection.
  void CloseDatabase(TDadaDatabase* database);
  const std::vector<TDadaDatabase*>& Databases() const { return databases_; }

  // The lock settings the file objects of this session's databases use.
  TLockSettings LockSettings() const { return {lock_retry_count_, lock_wait_time_}; }

  // Asks for a password through OnLogin or the process default.
  bool Login(const std::string& file_name, std::string& password) const;

 private:
  friend class TDadaDatabase;
  friend class TDadaSessionList;

  // The list's own default session is made before the list is reachable.
  TDadaSession(TComponentOwner* owner, TDadaSessionList* list);
  void AddDatabase(TDadaDatabase* database);
  void RemoveDatabase(TDadaDatabase* database);
  // Frees a temporary database of this session (disconnecting it).
  void FreeTemporary(TDadaDatabase* database);
  // Raises "Duplicate database name '%s'" when another database of this
  // session bears `name`; a temporary, unreferenced one is freed instead.
  void CheckDuplicateName(const TDadaDatabase* database, const std::string& name);
  // A database no dataset uses any more: frees it when temporary, else
  // disconnects it, unless it keeps its connection.
  void ReleaseUnused(TDadaDatabase* database);
  void CheckInactive() const;
  void ReleaseAutoNumber();

  TComponentOwner* owner_;
  bool active_ = false;
  bool auto_session_name_ = false;
  bool keep_connections_ = false;
  std::string session_name_;
  int lock_retry_count_ = 20;
  int lock_wait_time_ = 100;
  int auto_number_ = -1;                                  // number taken for the automatic name
  std::vector<TDadaDatabase*> databases_;                 // this session's databases, not owned
  std::vector<std::unique_ptr<TDadaDatabase>> temporary_;  // owned subset of databases_
};

class TDadaSessionList {
 public:
  // The process's list; created with the default session "Default" on
  // first use.
  static TDadaSessionList& Instance();

  TDadaSession& DefaultSession();
  // The session of that name (without regard to letter case); an empty name
  // is the default session; null when none bears it.
  TDadaSession* FindSession(const std::string& name);
  // As FindSession; raises "Invalid session name %s".
  TDadaSession& GetSession(const std::string& name);
  std::vector<TDadaSession*> Sessions();

  // The process-wide session lock (recursive).
  std::recursive_mutex& SessionLock() { return session_lock_; }

 private:
  friend class TDadaSession;

  TDadaSessionList();
  void Add(TDadaSession* session);
  void Remove(TDadaSession* session);
  int TakeAutoNumber();
  void ReleaseAutoNumber(int number);

  std::mutex list_lock_;
  std::recursive_mutex session_lock_;
  std::vector<TDadaSession*> sessions_;  // not owned, except default_
  std::set<int> auto_numbers_;
  std::unique_ptr<TDadaSession> default_;
};

// The process default login callback: the program shows its "Database Login"
// dialog, the tool asks on the terminal.  Without one, a password is never
// asked for and access is denied.
void SetDefaultLoginCallback(TLoginCallback callback);

// The default session.
TDadaSession& Session();

}  // namespace tdb
