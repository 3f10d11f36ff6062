// TTDBDataSet: a dataset bound to a database by name, through a session.
//
// The dataset never opens a file itself: at open it asks the session named
// SessionName (the default session when empty) for the database named
// DatabaseName, which the session finds or creates and connects; at close it
// gives the database back.  While bound it is registered with the database,
// which closes it when it disconnects.
//
// Single thread, like every dataset.
#pragma once

#include <string>

#include "engine/database/component_owner.h"
#include "engine/database/database.h"
#include "engine/dataset/dataset.h"

namespace tdb {

class TDadaSession;

class TTDBDataSet : public TDataSet, public TDatabaseClient, public TSessionNameClient {
 public:
  // `owner` is the form the dataset is placed on, or null.
  explicit TTDBDataSet(TComponentOwner* owner = nullptr);
  ~TTDBDataSet() override;

  const std::string& DatabaseName() const { return database_name_; }
  // Refused while open ("Cannot perform this operation on an open dataset")
  // or while a database is bound ("... on an open database") when the name
  // differs.
  virtual void SetDatabaseName(const std::string& name);
  const std::string& SessionName() const { return session_name_; }
  void SetSessionName(const std::string& name);

  // The bound database; null while closed.
  TDadaDatabase* Database() const { return database_; }

  // TDatabaseClient
  void CloseForDatabase() override { Close(); }
  // TSessionNameClient
  void AutoSessionNameChanged(const std::string& name) override;

 protected:
  // Obtains the database from the session and registers with it.
  void OpenDatabase(TRadiVOMediumType medium);
  // Unregisters and gives the database back to its session.
  void CloseDatabase();
  void CheckInactive() const;

 private:
  TComponentOwner* owner_;
  std::string database_name_;
  std::string session_name_;
  TDadaDatabase* database_ = nullptr;  // not owned
  TDadaSession* session_ = nullptr;    // the session the database came from
};

}  // namespace tdb
