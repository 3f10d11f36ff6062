// Names of the index options.
#include "engine/format/index_options.h"

#include <cctype>

namespace tdb {
namespace {

constexpr std::string_view kNames[] = {"tiPrimary", "tiUnique", "tiDescending", "tiCaseInsensitive"};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

std::vector<std::string_view> IndexOptionNames(TTDIndexOptions options) {
  std::vector<std::string_view> names;
  for (uint8_t bit = 0; bit < 4; ++bit)
    if (HasIndexOption(options, static_cast<TTDIndexOption>(bit))) names.push_back(kNames[bit]);
  return names;
}

std::optional<TTDIndexOption> IndexOptionFromName(std::string_view name) {
  for (uint8_t bit = 0; bit < 4; ++bit)
    if (EqualNoCase(name, kNames[bit]) || EqualNoCase(name, kNames[bit].substr(2)))
      return static_cast<TTDIndexOption>(bit);
  return std::nullopt;
}

}  // namespace tdb
