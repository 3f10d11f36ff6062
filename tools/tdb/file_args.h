// The arguments of the commands that take a whole file: FILE [--password P].
#pragma once

#include <string>
#include <vector>

namespace tdbtool {

struct TFileArgs {
  std::string path;
  std::string password;  // Windows-1251, converted from the command line's UTF-8
  bool has_password = false;
};

// Raises TUsageError{usage} for anything else on the command line.
TFileArgs ParseFileArgs(const std::vector<std::string>& args, const std::string& usage);

}  // namespace tdbtool
