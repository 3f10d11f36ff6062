// The tdb commands for a register on a PostgreSQL server: creating its
// tables, giving a clerk's role its rights, copying a data folder in and out,
// and comparing a folder with a server.  SERVER is a libpq connection string
// ("host=... dbname=... user=..."); a password comes from libpq's password or
// service file or PGPASSWORD, never from the command line.
//
// Each takes the command's arguments (after the command word), writes its
// report to `out` and returns the exit code; failures raise
// tdb::EDatabaseError, wrong arguments TUsageError.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tdbtool {

// tdb server-create SERVER
int ServerCreateCommand(const std::vector<std::string>& args, std::ostream& out);
// tdb server-grant SERVER ROLE
int ServerGrantCommand(const std::vector<std::string>& args, std::ostream& out);
// tdb server-import DIR SERVER [PASSWORD]
int ServerImportCommand(const std::vector<std::string>& args, std::ostream& out);
// tdb server-export SERVER DIR
int ServerExportCommand(const std::vector<std::string>& args, std::ostream& out);
// tdb server-compare DIR SERVER [PASSWORD]: 0 when the same, 1 and one line
// per difference otherwise.
int ServerCompareCommand(const std::vector<std::string>& args, std::ostream& out);

}  // namespace tdbtool
