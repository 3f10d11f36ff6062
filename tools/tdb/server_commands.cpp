// The server commands of the tdb tool.
#include "tdb/server_commands.h"

#include <ostream>

#include "engine/base/codepage.h"
#include "engine/processing/secure_wipe.h"
#include "server/server_connection.h"
#include "server/server_schema.h"
#include "server/server_transfer.h"
#include "tdb/table_access.h"

namespace tdbtool {
namespace {

void Report(const std::vector<server::TableCount>& counts, const char* verb, std::ostream& out) {
  for (const server::TableCount& c : counts)
    out << tdb::Cp1251ToUtf8(c.table) << ": " << c.records << " records " << verb << "\n";
}

std::string FilePassword(const TToolArgs& a) { return a.password ? tdb::Utf8ToCp1251(*a.password) : std::string(); }

}  // namespace

int ServerCreateCommand(const std::vector<std::string>& args, std::ostream& out) {
  TToolArgs a = ParseToolArgs(args, {}, 1);
  server::ServerConnection c(a.words[0]);
  InUtf8([&] { server::CreateSchema(c); });
  out << "created the tables formix, platel, poluchat, sprkodbk\n";
  return 0;
}

int ServerGrantCommand(const std::vector<std::string>& args, std::ostream& out) {
  TToolArgs a = ParseToolArgs(args, {}, 2);
  server::ServerConnection c(a.words[0]);
  server::GrantClerk(c, a.words[1]);
  out << "role " << a.words[1] << " may read and change the records of the four tables\n";
  return 0;
}

int ServerImportCommand(const std::vector<std::string>& args, std::ostream& out) {
  TToolArgs a = ParseToolArgs(args, {"--password"}, 2);
  server::ServerConnection c(a.words[1]);
  std::string password = FilePassword(a);
  auto counts = InUtf8([&] { return server::CopyFolderToServer(a.words[0], c, password); });
  tdb::SecureWipe(password);
  Report(counts, "copied to the server", out);
  return 0;
}

int ServerExportCommand(const std::vector<std::string>& args, std::ostream& out) {
  TToolArgs a = ParseToolArgs(args, {}, 2);
  server::ServerConnection c(a.words[0]);
  auto counts = InUtf8([&] { return server::CopyServerToFolder(c, a.words[1]); });
  Report(counts, "written to the folder", out);
  return 0;
}

int ServerCompareCommand(const std::vector<std::string>& args, std::ostream& out) {
  TToolArgs a = ParseToolArgs(args, {"--password"}, 2);
  server::ServerConnection c(a.words[1]);
  std::string password = FilePassword(a);
  auto lines = InUtf8([&] { return server::CompareFolderWithServer(a.words[0], c, password); });
  tdb::SecureWipe(password);
  for (const std::string& line : lines) out << line << "\n";
  return lines.empty() ? 0 : 1;
}

}  // namespace tdbtool
