// Connecting and disconnecting a database, access by password, flushing.
#include "engine/database/database.h"

#include <algorithm>

#include "engine/base/database_error.h"
#include "engine/compare/collation.h"
#include "engine/database/session.h"
#include "engine/processing/secure_wipe.h"
#include "engine/storage/table_io.h"

namespace tdb {

TDadaDatabase::TDadaDatabase(TComponentOwner* owner) : owner_(owner) {
  if (owner_) {
    owner_->AddClient(this);
    for (TDadaSession* s : owner_->Sessions())
      if (s->AutoSessionName()) session_name_ = s->SessionName();
  }
}

TDadaDatabase::~TDadaDatabase() {
  try {
    SetConnected(false);
  } catch (...) {
    // A destructor must not throw; the file is closed regardless.
  }
  if (session_) session_->RemoveDatabase(this);
  if (owner_) owner_->RemoveClient(this);
}

void TDadaDatabase::CheckInactive() const {
  if (Connected()) ComponentError(Name, "Cannot perform this operation on an open database");
}

void TDadaDatabase::SetDatabaseName(const std::string& name) {
  if (name == database_name_) return;
  CheckInactive();
  TDadaSession* session = session_ ? session_ : TDadaSessionList::Instance().FindSession(session_name_);
  if (session && !name.empty()) session->CheckDuplicateName(this, name);
  database_name_ = name;
  if (session && !session_) {
    session->AddDatabase(this);
    session_ = session;
  }
}

void TDadaDatabase::SetFileName(const std::string& name) {
  if (name == file_name_) return;
  CheckInactive();
  file_name_ = name;
}

void TDadaDatabase::SetMediumType(TRadiVOMediumType medium) {
  if (medium == medium_type_) return;
  CheckInactive();
  medium_type_ = medium;
  for (TDatabaseClient* client : std::vector<TDatabaseClient*>(clients_)) client->DatabaseMediumTypeChanged(medium);
}

void TDadaDatabase::SetExclusive(bool value) {
  if (value == exclusive_) return;
  CheckInactive();
  exclusive_ = value;
}

void TDadaDatabase::SetReadOnly(bool value) {
  if (value == read_only_) return;
  CheckInactive();
  read_only_ = value;
}

void TDadaDatabase::SetKeepConnection(bool value) {
  if (value == keep_connection_) return;
  keep_connection_ = value;
  if (!value && ref_count_ == 0 && Connected() && session_) session_->ReleaseUnused(this);
}

void TDadaDatabase::SetSessionName(const std::string& name) {
  if (name == session_name_) return;
  CheckInactive();
  session_name_ = name;
}

void TDadaDatabase::AutoSessionNameChanged(const std::string& name) {
  if (!Connected()) session_name_ = name;
}

void TDadaDatabase::SetAutoFlush(bool value) {
  auto_flush_ = value;
  if (Connected()) StartAutoFlush();
}

void TDadaDatabase::SetAutoFlushInterval(int milliseconds) {
  auto_flush_interval_ = milliseconds;
  if (flush_timer_) flush_timer_->SetInterval(milliseconds);
}

void TDadaDatabase::StartAutoFlush() {
  flush_timer_.reset();
  TTimerService* service = GetTimerService();
  if (!auto_flush_ || !service) return;
  flush_timer_ = service->StartPeriodic(auto_flush_interval_, [this] {
    if (file_ && file_->IsOpen() && !file_->Flushed()) file_->Flush();
  });
}

void TDadaDatabase::SetConnected(bool connected) {
  if (connected == Connected()) return;
  if (connected)
    DoConnect();
  else
    DoDisconnect();
}

void TDadaDatabase::ResolveSession() {
  TDadaSession& target = TDadaSessionList::Instance().GetSession(session_name_);
  if (&target != session_) {
    target.CheckDuplicateName(this, database_name_);
    if (session_) session_->RemoveDatabase(this);
    target.AddDatabase(this);
    session_ = &target;
  }
  if (!target.Active()) target.SetActive(true);
}

void TDadaDatabase::DoConnect() {
  if (BeforeConnect) BeforeConnect();
  if (database_name_.empty() && !temporary_) ComponentError(Name, "Database name missing");
  ResolveSession();
  auto file = std::make_unique<TRadiVOFileIO>();
  TDadaSession* session = session_;
  file->SetLockSettingsSource([session] { return session->LockSettings(); });
  file->SetProgressEvents(
      [this](int p) {
        if (OnCompressProgress) OnCompressProgress(p);
      },
      [this](int p) {
        if (OnUncompressProgress) OnUncompressProgress(p);
      },
      [this](int p) {
        if (OnEncryptProgress) OnEncryptProgress(p);
      },
      [this](int p) {
        if (OnDecryptProgress) OnDecryptProgress(p);
      });
  file->Open(file_name_.empty() ? database_name_ : file_name_, medium_type_, read_only_, exclusive_);
  can_access_ = !file->DataProcessBlock().Encrypted;
  if (!can_access_ && password_given_) can_access_ = file->SetPassword(password_);
  std::vector<std::string> names = file->GetTableNames();
  file_ = std::move(file);
  for (size_t i = 0; i < names.size(); ++i) {
    table_defs_.push_back(TDadaTableDef{names[i], static_cast<int32_t>(i)});
    table_ios_.push_back(std::make_unique<TDadaTableIO>(*file_, names[i]));
  }
  StartAutoFlush();
  for (TDatabaseClient* client : std::vector<TDatabaseClient*>(clients_)) client->DatabaseConnectionChanged(true);
  if (AfterConnect) AfterConnect();
}

void TDadaDatabase::DoDisconnect() {
  if (BeforeDisconnect) BeforeDisconnect();
  for (TDatabaseClient* client : std::vector<TDatabaseClient*>(clients_)) client->DatabaseConnectionChanged(false);
  // The datasets close first: they give their tables back to the storage
  // objects, which go with the file below.
  disconnecting_ = true;
  try {
    CloseDataSets();
  } catch (...) {
    disconnecting_ = false;
    throw;
  }
  disconnecting_ = false;
  flush_timer_.reset();
  table_ios_.clear();
  table_defs_.clear();
  if (file_) file_->Close();
  file_.reset();
  ref_count_ = 0;
  can_access_ = false;
  password_given_ = false;
  SecureWipe(password_);
  password_.clear();
  if (AfterDisconnect) AfterDisconnect();
}

void TDadaDatabase::SetPassword(const std::string& password) {
  SecureWipe(password_);
  password_ = password;
  password_given_ = true;
  if (Connected()) can_access_ = file_->SetPassword(password_);
}

void TDadaDatabase::CheckAccess() {
  if (!Connected()) ComponentError(Name, "Cannot perform this operation on a closed database");
  if (can_access_) return;
  if (password_given_) {
    can_access_ = file_->SetPassword(password_);
  } else {
    std::string typed;
    bool ok = session_ ? session_->Login(file_->FileName(), typed) : false;
    if (!ok) {
      SecureWipe(typed);
      throw EAbort();
    }
    SetPassword(typed);
    SecureWipe(typed);
  }
  if (!can_access_) ComponentError(Name, ekWrongPassword, "Access denied", FileParams(file_->FileName()));
}

void TDadaDatabase::CheckReadOnly() const {
  if (read_only_ || (file_ && (file_->ReadOnly() || file_->FileIsReadOnly())))
    ComponentError(Name, ekReadOnly, "Cannot modify a read-only database",
                   FileParams(file_ ? file_->FileName() : database_name_));
}

void TDadaDatabase::Flush() {
  if (!Connected()) ComponentError(Name, "Cannot perform this operation on a closed database");
  file_->Flush();
}

std::vector<std::string> TDadaDatabase::TableNames() const {
  std::vector<std::string> names;
  for (const auto& def : table_defs_) names.push_back(def.Name);
  return names;
}

TDadaTableIO* TDadaDatabase::FindTableIO(const std::string& table_name) const {
  for (size_t i = 0; i < table_defs_.size(); ++i)
    if (SameTextIgnoringCase(table_defs_[i].Name, table_name)) return table_ios_[i].get();
  return nullptr;
}

void TDadaDatabase::RegisterClient(TDatabaseClient* client) {
  if (std::find(clients_.begin(), clients_.end(), client) == clients_.end()) clients_.push_back(client);
}

void TDadaDatabase::UnregisterClient(TDatabaseClient* client) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
}

void TDadaDatabase::CloseDataSets() {
  for (TDatabaseClient* client : std::vector<TDatabaseClient*>(clients_)) client->CloseForDatabase();
}

}  // namespace tdb
