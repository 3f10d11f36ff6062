// Reading FILE [--password P] from a command line.
#include "tdb/file_args.h"

#include "engine/base/codepage.h"
#include "tdb/table_access.h"

namespace tdbtool {

TFileArgs ParseFileArgs(const std::vector<std::string>& args, const std::string& usage) {
  TFileArgs out;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--password" && i + 1 < args.size() && !out.has_password) {
      out.password = tdb::Utf8ToCp1251(args[++i]);
      out.has_password = true;
    } else if (!args[i].starts_with("--") && out.path.empty()) {
      out.path = args[i];
    } else {
      throw TUsageError{usage};
    }
  }
  if (out.path.empty()) throw TUsageError{usage};
  return out;
}

}  // namespace tdbtool
