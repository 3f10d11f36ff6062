// Where the data lives, as the settings name it, and the home that opens the
// four tables there.
//
// The settings hold a server connection string (libpq's key=value form:
// host, port, dbname, user, sslmode) or nothing.  Nothing means the data
// folder, the program's own ".tdb" files, as always; a string means the
// server.  A password never belongs in it: libpq's password file or service
// file gives it, or the clerk types it when the first table opens.
#pragma once

#include <memory>
#include <string>

#include "data/data_home.h"
#include "server/server_home.h"

namespace home {

struct DataLocation {
  std::string server;  // the connection string, UTF-8; empty: the data folder

  bool OnServer() const { return !server.empty(); }
};

// The home of `location`: the data folder (FolderHome, shared, not owned) or
// a server home asking for a missing password through `ask`.  Raises
// ekInvalidValue for a connection string that does not parse or holds a
// password.
std::shared_ptr<const receipts::DataHome> OpenHome(const DataLocation& location,
                                                   server::ServerHome::PasswordAsk ask = {});

}  // namespace home
