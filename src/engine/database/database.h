// TDadaDatabase: one database of a session, the owner of its open file.
//
// Connecting opens the file object (TRadiVOFileIO) with the database's
// medium, read-only and exclusive options, grants access when the file is not
// encrypted or a stored password is accepted, and creates one table storage
// object (TDadaTableIO) per table.  Disconnecting frees them again, together
// with the cipher key.  Datasets reach a database through their session
// (TDadaSession::OpenDatabase); a temporary database, created by a session on
// behalf of a dataset, lives until its last dataset lets go.
//
// Ownership: a database owns its file object, its table storage objects and
// its table definitions.  It does not own the datasets registered with it,
// and a session owns its temporary databases.
// Threads: used from one thread at a time; connecting runs under the
// process-wide session lock when a session opens it for a dataset.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/database/component_owner.h"
#include "engine/database/timer_service.h"
#include "engine/file/file_io.h"

namespace tdb {

class TDadaSession;
class TDadaTableIO;

// What a database tells the datasets registered with it.
class TDatabaseClient {
 public:
  virtual ~TDatabaseClient() = default;
  // The database connected or disconnected.
  virtual void DatabaseConnectionChanged(bool /*connected*/) {}
  // The database is disconnecting: close.
  virtual void CloseForDatabase() = 0;
  // The database's medium type changed.
  virtual void DatabaseMediumTypeChanged(TRadiVOMediumType /*medium*/) {}
};

using TNotifyEvent0 = std::function<void()>;
using TOnProgressEvent = std::function<void(int percent)>;

struct TDadaTableDef {
  std::string Name;     // as stored (Windows-1251)
  int32_t TableNo = 0;  // position in the table directory
};

class TDadaDatabase : public TSessionNameClient {
 public:
  // `owner` is the form the database is placed on, or null.
  explicit TDadaDatabase(TComponentOwner* owner = nullptr);
  ~TDadaDatabase() override;
  TDadaDatabase(const TDadaDatabase&) = delete;
  TDadaDatabase& operator=(const TDadaDatabase&) = delete;

  // Component name (for messages and automatic session names).
  std::string Name;

  // ---- published properties ----
  const std::string& DatabaseName() const { return database_name_; }
  // Raises "Cannot perform this operation on an open database" while
  // connected and "Duplicate database name '%s'" when another database of
  // the session bears the name (a temporary, unreferenced one is freed).
  void SetDatabaseName(const std::string& name);
  const std::string& FileName() const { return file_name_; }
  void SetFileName(const std::string& name);
  TRadiVOMediumType MediumType() const { return medium_type_; }
  void SetMediumType(TRadiVOMediumType medium);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  bool KeepConnection() const { return keep_connection_; }
  // Switching it off disconnects a database that no dataset references.
  void SetKeepConnection(bool value);
  const std::string& SessionName() const { return session_name_; }
  void SetSessionName(const std::string& name);
  bool AutoFlush() const { return auto_flush_; }
  void SetAutoFlush(bool value);
  int AutoFlushInterval() const { return auto_flush_interval_; }
  void SetAutoFlushInterval(int milliseconds);

  bool Connected() const { return file_ != nullptr; }
  void SetConnected(bool connected);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }

  TNotifyEvent0 BeforeConnect, AfterConnect, BeforeDisconnect, AfterDisconnect;
  TOnProgressEvent OnCompressProgress, OnUncompressProgress, OnEncryptProgress, OnDecryptProgress,
      OnOperationProgress;

  // ---- access ----
  // Stores the password for the next connect and, when connected, grants or
  // withdraws access by it.
  void SetPassword(const std::string& password);
  bool CanAccess() const { return can_access_; }
  // Made by a dataset each time it opens: when access is not granted, tries
  // the stored password, else asks the session's login callback for one
  // (Cancel raises EAbort); still no access: "Access denied".
  void CheckAccess();
  // "Cannot modify a read-only database" when the database or its file is
  // read-only.
  void CheckReadOnly() const;
  // Flushes the file's buffers.  "Cannot perform this operation on a closed
  // database" when not connected.
  void Flush();
  // Flush the file after every change (off by default).
  bool FlushAfterChange = false;

  // ---- tables ----
  const std::vector<TDadaTableDef>& TableDefs() const { return table_defs_; }
  std::vector<std::string> TableNames() const;
  // The table storage object of the first table whose name matches without
  // regard to letter case, or null.
  TDadaTableIO* FindTableIO(const std::string& table_name) const;
  // REQUIRES: connected.
  TRadiVOFileIO& FileIO() const { return *file_; }

  // ---- datasets ----
  void RegisterClient(TDatabaseClient* client);
  void UnregisterClient(TDatabaseClient* client);
  // Closes every registered dataset.
  void CloseDataSets();
  const std::vector<TDatabaseClient*>& Clients() const { return clients_; }

  // ---- for the session ----
  TDadaSession* Session() const { return session_; }
  bool Temporary() const { return temporary_; }
  int RefCount() const { return ref_count_; }

  void AutoSessionNameChanged(const std::string& name) override;

 private:
  friend class TDadaSession;

  void DoConnect();
  void DoDisconnect();
  void CheckInactive() const;
  void StartAutoFlush();
  void ResolveSession();

  TComponentOwner* owner_;
  std::string database_name_;
  std::string file_name_;
  TRadiVOMediumType medium_type_ = mtDisk;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool keep_connection_ = false;
  std::string session_name_;
  bool auto_flush_ = false;
  int auto_flush_interval_ = 60000;

  TDadaSession* session_ = nullptr;  // the session the database belongs to; not owned
  bool temporary_ = false;
  bool disconnecting_ = false;  // closing its datasets: they must not free it
  int ref_count_ = 0;
  bool can_access_ = false;
  bool password_given_ = false;
  std::string password_;

  std::unique_ptr<TRadiVOFileIO> file_;                     // owned; set while connected
  std::vector<std::unique_ptr<TDadaTableIO>> table_ios_;   // owned; one per table
  std::vector<TDadaTableDef> table_defs_;
  std::vector<TDatabaseClient*> clients_;                   // registered datasets, not owned
  std::unique_ptr<TPeriodicTimer> flush_timer_;
};

}  // namespace tdb
