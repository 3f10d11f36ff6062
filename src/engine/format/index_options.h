// The index option byte of an index header (TTDIndexOptions) and the names of
// its options as the tools show them.  No state, thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tdb {

// Bit numbers of the options; TTDIndexOptions is the byte holding them.
enum TTDIndexOption : uint8_t {
  tiPrimary = 0,
  tiUnique = 1,
  tiDescending = 2,
  tiCaseInsensitive = 3,
};
using TTDIndexOptions = uint8_t;

// Every bit an index option may use; a writer keeps the others 0.
constexpr TTDIndexOptions kAllIndexOptions = 0x0F;

constexpr bool HasIndexOption(TTDIndexOptions options, TTDIndexOption option) {
  return (options >> option) & 1;
}
constexpr TTDIndexOptions WithIndexOption(TTDIndexOptions options, TTDIndexOption option) {
  return static_cast<TTDIndexOptions>(options | (1u << option));
}

// The names of the options set in `options`, in bit order ("tiPrimary", ...).
// Bits without a name are left out.
std::vector<std::string_view> IndexOptionNames(TTDIndexOptions options);

// The option of a name ("tiUnique"), compared without regard to case, with or
// without the "ti" prefix; nothing for an unknown name.
std::optional<TTDIndexOption> IndexOptionFromName(std::string_view name);

}  // namespace tdb
