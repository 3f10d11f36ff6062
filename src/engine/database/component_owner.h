// TComponentOwner: what a form or data module is to the engine's components.
//
// Sessions, databases and datasets may be placed on an owner.  The owner
// matters for one thing: a session with AutoSessionName gives its generated
// name to the databases and datasets on the same owner, including those
// placed there later, and an owner holds at most one such session.
// The owner does not own the components; they remove themselves when they go.
// Single thread.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace tdb {

class TDadaSession;

class TSessionNameClient {
 public:
  virtual ~TSessionNameClient() = default;
  // The session with AutoSessionName on this owner has named itself `name`.
  virtual void AutoSessionNameChanged(const std::string& name) = 0;
};

class TComponentOwner {
 public:
  TComponentOwner() = default;
  TComponentOwner(const TComponentOwner&) = delete;
  TComponentOwner& operator=(const TComponentOwner&) = delete;

  const std::vector<TDadaSession*>& Sessions() const { return sessions_; }
  const std::vector<TSessionNameClient*>& Clients() const { return clients_; }

  void AddSession(TDadaSession* s) { sessions_.push_back(s); }
  void RemoveSession(TDadaSession* s) { sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), s), sessions_.end()); }
  void AddClient(TSessionNameClient* c) { clients_.push_back(c); }
  void RemoveClient(TSessionNameClient* c) { clients_.erase(std::remove(clients_.begin(), clients_.end(), c), clients_.end()); }

 private:
  std::vector<TDadaSession*> sessions_;      // not owned
  std::vector<TSessionNameClient*> clients_;  // databases and datasets, not owned
};

}  // namespace tdb
