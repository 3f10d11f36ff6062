// Sessions: finding and creating databases for datasets, starting and
// stopping, automatic names; and the process's list of sessions.
#include "engine/database/session.h"

#include <algorithm>

#include "engine/base/database_error.h"
#include "engine/compare/collation.h"
#include "engine/database/database.h"

namespace tdb {
namespace {

std::mutex g_login_lock;
TLoginCallback g_default_login;  // guarded by g_login_lock

}  // namespace

void SetDefaultLoginCallback(TLoginCallback callback) {
  std::lock_guard guard(g_login_lock);
  g_default_login = std::move(callback);
}

TDadaSession& Session() { return TDadaSessionList::Instance().DefaultSession(); }

// ---- TDadaSession ----

TDadaSession::TDadaSession(TComponentOwner* owner) : TDadaSession(owner, &TDadaSessionList::Instance()) {}

TDadaSession::TDadaSession(TComponentOwner* owner, TDadaSessionList* list) : owner_(owner) {
  if (owner_) {
    for (TDadaSession* s : owner_->Sessions())
      if (s->AutoSessionName())
        DatabaseError(Format("Cannot add a session to the form or data-module while session '%s' has "
                             "AutoSessionName enabled",
                             {s->SessionName()}));
    owner_->AddSession(this);
  }
  list->Add(this);
}

TDadaSession::~TDadaSession() {
  try {
    SetActive(false);
  } catch (...) {
    // A destructor must not throw; the databases are gone regardless.
  }
  temporary_.clear();
  for (TDadaDatabase* db : std::vector<TDadaDatabase*>(databases_)) db->session_ = nullptr;
  databases_.clear();
  ReleaseAutoNumber();
  if (owner_) owner_->RemoveSession(this);
  TDadaSessionList::Instance().Remove(this);
}

void TDadaSession::CheckInactive() const {
  if (active_) ComponentError(Name, "Cannot perform this operation on an active session");
}

void TDadaSession::SetActive(bool active) {
  std::lock_guard guard(TDadaSessionList::Instance().SessionLock());
  if (active == active_) return;
  if (active) {
    if (OnStartup) OnStartup();
    if (session_name_.empty()) ComponentError(Name, "Session name missing");
    TDadaSession& def = TDadaSessionList::Instance().DefaultSession();
    if (&def != this && !def.Active()) def.SetActive(true);
    active_ = true;
  } else {
    // From the last database to the first: temporary ones are freed, the
    // others disconnected.
    std::vector<TDadaDatabase*> all(databases_);
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
      if (std::find(databases_.begin(), databases_.end(), *it) == databases_.end()) continue;
      if ((*it)->Temporary()) {
        FreeTemporary(*it);
      } else {
        (*it)->Close();
      }
    }
    active_ = false;
  }
}

void TDadaSession::SetAutoSessionName(bool value) {
  if (value == auto_session_name_) return;
  CheckInactive();
  if (value) {
    if (owner_)
      for (TDadaSession* s : owner_->Sessions())
        if (s != this && s->AutoSessionName())
          ComponentError(Name, "Cannot enable AutoSessionName property with more than one session on a form or "
                               "data-module");
    auto_number_ = TDadaSessionList::Instance().TakeAutoNumber();
    auto_session_name_ = true;
    session_name_ = Name + "_" + std::to_string(auto_number_ + 1);
    if (owner_)
      for (TSessionNameClient* client : owner_->Clients()) client->AutoSessionNameChanged(session_name_);
  } else {
    auto_session_name_ = false;
    ReleaseAutoNumber();
  }
}

void TDadaSession::ReleaseAutoNumber() {
  if (auto_number_ >= 0) TDadaSessionList::Instance().ReleaseAutoNumber(auto_number_);
  auto_number_ = -1;
}

void TDadaSession::SetKeepConnections(bool value) { keep_connections_ = value; }

void TDadaSession::SetSessionName(const std::string& name) {
  if (name == session_name_) return;
  if (auto_session_name_) ComponentError(Name, "Cannot modify SessionName while AutoSessionName is enabled");
  CheckInactive();
  TDadaSession* other = TDadaSessionList::Instance().FindSession(name);
  if (!name.empty() && other && other != this) ComponentError(Name, Format("Duplicate session name '%s'", {name}));
  session_name_ = name;
}

TDadaDatabase* TDadaSession::FindDatabase(const std::string& name) const {
  for (TDadaDatabase* db : databases_)
    if (SameTextIgnoringCase(db->DatabaseName(), name)) return db;
  return nullptr;
}

void TDadaSession::CheckDuplicateName(const TDadaDatabase* database, const std::string& name) {
  for (TDadaDatabase* db : std::vector<TDadaDatabase*>(databases_)) {
    if (db == database || !SameTextIgnoringCase(db->DatabaseName(), name)) continue;
    if (db->Temporary() && db->RefCount() == 0) {
      FreeTemporary(db);
      continue;
    }
    DatabaseError(Format("Duplicate database name '%s'", {name}));
  }
}

TDadaDatabase* TDadaSession::OpenDatabase(const std::string& name, TRadiVOMediumType medium) {
  std::lock_guard guard(TDadaSessionList::Instance().SessionLock());
  if (!active_) SetActive(true);
  TDadaDatabase* db = FindDatabase(name);
  if (!db) {
    auto temp = std::make_unique<TDadaDatabase>();
    temp->temporary_ = true;
    temp->database_name_ = name;
    temp->medium_type_ = medium;
    temp->keep_connection_ = keep_connections_;
    temp->session_name_ = session_name_;
    temp->session_ = this;
    db = temp.get();
    databases_.push_back(db);
    temporary_.push_back(std::move(temp));
  }
  try {
    db->Open();
  } catch (...) {
    if (db->Temporary() && db->RefCount() == 0) ReleaseUnused(db);
    throw;
  }
  ++db->ref_count_;
  return db;
}

void TDadaSession::CloseDatabase(TDadaDatabase* database) {
  std::lock_guard guard(TDadaSessionList::Instance().SessionLock());
  if (!database) return;
  if (database->ref_count_ > 0) --database->ref_count_;
  if (database->ref_count_ == 0 && !database->disconnecting_) ReleaseUnused(database);
}

void TDadaSession::ReleaseUnused(TDadaDatabase* database) {
  if (database->KeepConnection() && database->Connected()) return;
  if (database->Temporary()) {
    FreeTemporary(database);
  } else {
    database->Close();
  }
}

void TDadaSession::FreeTemporary(TDadaDatabase* database) {
  auto owned = std::find_if(temporary_.begin(), temporary_.end(),
                            [database](const std::unique_ptr<TDadaDatabase>& p) { return p.get() == database; });
  if (owned == temporary_.end()) return;
  std::unique_ptr<TDadaDatabase> doomed = std::move(*owned);
  temporary_.erase(owned);
  RemoveDatabase(database);
  doomed.reset();  // disconnects
}

void TDadaSession::AddDatabase(TDadaDatabase* database) {
  if (std::find(databases_.begin(), databases_.end(), database) == databases_.end()) databases_.push_back(database);
}

void TDadaSession::RemoveDatabase(TDadaDatabase* database) {
  databases_.erase(std::remove(databases_.begin(), databases_.end(), database), databases_.end());
  if (database->session_ == this) database->session_ = nullptr;
}

bool TDadaSession::Login(const std::string& file_name, std::string& password) const {
  if (OnLogin) return OnLogin(file_name, password);
  TLoginCallback callback;
  {
    std::lock_guard guard(g_login_lock);
    callback = g_default_login;
  }
  return callback ? callback(file_name, password) : false;
}

// ---- TDadaSessionList ----

TDadaSessionList& TDadaSessionList::Instance() {
  // Created on first use and never destroyed, so that sessions and databases
  // with static lifetime can still reach it while the process ends.
  static TDadaSessionList* list = [] {
    auto* l = new TDadaSessionList();
    l->default_ = std::unique_ptr<TDadaSession>(new TDadaSession(nullptr, l));
    l->default_->Name = "Session";
    l->default_->session_name_ = "Default";
    return l;
  }();
  return *list;
}

TDadaSessionList::TDadaSessionList() = default;

TDadaSession& TDadaSessionList::DefaultSession() { return *default_; }

TDadaSession* TDadaSessionList::FindSession(const std::string& name) {
  if (name.empty()) return default_.get();
  std::lock_guard guard(list_lock_);
  for (TDadaSession* s : sessions_)
    if (SameTextIgnoringCase(s->SessionName(), name)) return s;
  return nullptr;
}

TDadaSession& TDadaSessionList::GetSession(const std::string& name) {
  TDadaSession* s = FindSession(name);
  if (!s) DatabaseError(Format("Invalid session name %s", {name}));
  return *s;
}

std::vector<TDadaSession*> TDadaSessionList::Sessions() {
  std::lock_guard guard(list_lock_);
  return sessions_;
}

void TDadaSessionList::Add(TDadaSession* session) {
  std::lock_guard guard(list_lock_);
  sessions_.push_back(session);
}

void TDadaSessionList::Remove(TDadaSession* session) {
  std::lock_guard guard(list_lock_);
  sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), session), sessions_.end());
}

int TDadaSessionList::TakeAutoNumber() {
  std::lock_guard guard(list_lock_);
  int n = 0;
  while (auto_numbers_.count(n)) ++n;
  auto_numbers_.insert(n);
  return n;
}

void TDadaSessionList::ReleaseAutoNumber(int number) {
  std::lock_guard guard(list_lock_);
  auto_numbers_.erase(number);
}

}  // namespace tdb
