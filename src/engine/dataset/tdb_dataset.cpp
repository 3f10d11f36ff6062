// Binding a dataset to its database through a session.
#include "engine/dataset/tdb_dataset.h"

#include "engine/database/session.h"

namespace tdb {

TTDBDataSet::TTDBDataSet(TComponentOwner* owner) : owner_(owner) {
  if (owner_) {
    owner_->AddClient(this);
    for (TDadaSession* s : owner_->Sessions())
      if (s->AutoSessionName()) session_name_ = s->SessionName();
  }
}

TTDBDataSet::~TTDBDataSet() {
  if (database_) {
    // The concrete dataset has closed already; a database still bound here
    // means that closing failed half-way.
    database_->UnregisterClient(this);
    database_ = nullptr;
  }
  if (owner_) owner_->RemoveClient(this);
}

void TTDBDataSet::CheckInactive() const {
  if (Active()) Error("Cannot perform this operation on an open dataset");
}

void TTDBDataSet::SetDatabaseName(const std::string& name) {
  if (name == database_name_) return;
  CheckInactive();
  if (database_) Error("Cannot perform this operation on an open database");
  database_name_ = name;
}

void TTDBDataSet::SetSessionName(const std::string& name) {
  if (name == session_name_) return;
  CheckInactive();
  session_name_ = name;
}

void TTDBDataSet::AutoSessionNameChanged(const std::string& name) {
  if (!Active()) session_name_ = name;
}

void TTDBDataSet::OpenDatabase(TRadiVOMediumType medium) {
  TDadaSession& session = TDadaSessionList::Instance().GetSession(session_name_);
  TDadaDatabase* db = session.OpenDatabase(database_name_, medium);
  database_ = db;
  session_ = &session;
  db->RegisterClient(this);
}

void TTDBDataSet::CloseDatabase() {
  if (!database_) return;
  TDadaDatabase* db = database_;
  database_ = nullptr;
  db->UnregisterClient(this);
  TDadaSession* session = db->Session() ? db->Session() : session_;
  session_ = nullptr;
  if (session) session->CloseDatabase(db);
}

}  // namespace tdb
