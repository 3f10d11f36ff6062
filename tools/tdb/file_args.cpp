// Reading FILE [--password P | --password-file F] from a command line.
#include "tdb/file_args.h"

#include "engine/base/codepage.h"
#include "engine/processing/secure_wipe.h"
#include "tdb/table_access.h"

namespace tdbtool {

TFileArgs ParseFileArgs(const std::vector<std::string>& args) {
  TToolArgs a = ParseToolArgs(args, {"--password"}, 1);
  TFileArgs out;
  out.path = a.words[0];
  if (a.password) {
    out.password = tdb::Utf8ToCp1251(*a.password);
    out.has_password = true;
    tdb::SecureWipe(*a.password);
  }
  return out;
}

}  // namespace tdbtool
