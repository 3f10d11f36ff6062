// tdb repair: the engine's repair of a file, with one line per repair made.
#include "tdb/repair_command.h"

#include <ostream>

#include "engine/base/database_error.h"
#include "engine/repair/file_repair.h"
#include "tdb/file_args.h"

namespace tdbtool {

int RepairCommand(const std::vector<std::string>& args, std::ostream& out) {
  const TFileArgs parsed = ParseFileArgs(args);
  tdb::TRepairResult result;
  try {
    result = tdb::RepairDatabaseFile(parsed.path, parsed.has_password ? &parsed.password : nullptr);
  } catch (const tdb::EDatabaseError& e) {
    if (e.Kind() != tdb::ekWrongPassword || parsed.has_password) throw;
    tdb::DatabaseError(tdb::ekWrongPassword,
                       tdb::Format("File %s is encrypted: repair needs --password or --password-file", {parsed.path}),
                       e.Params());
  }
  if (!result.Repaired) {
    out << "nothing to repair\n";
    return 0;
  }
  out << "original copied to " << result.Backup << "\n";
  for (const std::string& line : result.Lines) out << line << "\n";
  return 0;
}

}  // namespace tdbtool
