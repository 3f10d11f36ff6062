// Writes the frozen code page and collation tables into a source tree:
//   make_icu_tables SOURCE_DIR
// Run it through scripts/generate-icu-tables; commit what it changes only
// when the order of stored indexes may change (see the README).
#include <cstdio>
#include <fstream>
#include <string>

#include "icu_tables.h"

namespace {

bool Write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) {
    std::fprintf(stderr, "make_icu_tables: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%s\n", path.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icu_tables SOURCE_DIR\n");
    return 2;
  }
  const std::string root = argv[1];
  const bool ok = Write(root + "/src/engine/base/cp1251_table.h", icu_tables::CodePageHeader()) &&
                  Write(root + "/src/engine/compare/collation_weights.h", icu_tables::CollationHeader());
  return ok ? 0 : 1;
}
