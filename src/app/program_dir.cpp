// Derives the program directory from the executable's path.
#include "app/program_dir.h"

namespace app {

std::string ProgramDirectoryOf(std::string_view exePath) {
  const std::size_t last = exePath.find_last_of("\\/");
  if (last == std::string_view::npos) return {};
  return std::string(exePath.substr(0, last + 1));
}

}  // namespace app
