// Dispatch of the tdb tool's commands.
#include "tdb/commands.h"

#include <cstring>
#include <iostream>

namespace tdbtool {

namespace {
const char kUsage[] =
    "usage: tdb COMMAND [ARGS]\n"
    "Commands for database files (.tdb).\n";
}  // namespace

int RunCommand(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
    std::cout << kUsage;
    return argc < 2 ? 2 : 0;
  }
  std::cerr << "tdb: unknown command '" << argv[1] << "'\n" << kUsage;
  return 2;
}

}  // namespace tdbtool
