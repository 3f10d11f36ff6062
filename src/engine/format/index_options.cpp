// Names of the index options.
#include "engine/format/index_options.h"

#include "engine/base/ascii.h"

#include <cctype>

namespace tdb {
namespace {

constexpr std::string_view kNames[] = {"tiPrimary", "tiUnique", "tiDescending", "tiCaseInsensitive"};

}  // namespace

std::vector<std::string_view> IndexOptionNames(TTDIndexOptions options) {
  std::vector<std::string_view> names;
  for (uint8_t bit = 0; bit < 4; ++bit)
    if (HasIndexOption(options, static_cast<TTDIndexOption>(bit))) names.push_back(kNames[bit]);
  return names;
}

std::optional<TTDIndexOption> IndexOptionFromName(std::string_view name) {
  for (uint8_t bit = 0; bit < 4; ++bit)
    if (SameAsciiIgnoringCase(name, kNames[bit]) || SameAsciiIgnoringCase(name, kNames[bit].substr(2)))
      return static_cast<TTDIndexOption>(bit);
  return std::nullopt;
}

}  // namespace tdb
