// The arguments of the commands that take a whole file:
// FILE [--password P | --password-file F].
#pragma once

#include <string>
#include <vector>

namespace tdbtool {

struct TFileArgs {
  std::string path;
  std::string password;  // Windows-1251, converted from the command line's UTF-8
  bool has_password = false;
};

// Raises TUsageError naming what does not fit; a password file that cannot
// be read raises tdb::EDatabaseError.
TFileArgs ParseFileArgs(const std::vector<std::string>& args);

}  // namespace tdbtool
