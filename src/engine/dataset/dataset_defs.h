// The definition lists a table dataset rebuilds from its table at every
// open: TFieldDefs (name, type, size) and TIndexDefs (name, fields, options).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/format/field_types.h"

namespace tdb {

struct TFieldDef {
  std::string Name;
  TFieldType DataType = ftUnknown;
  int32_t Size = 0;  // characters for the string types, 0 for the others
  bool Required = false;
};

enum TIndexOption : uint8_t {
  ixPrimary = 1,
  ixUnique = 2,
  ixDescending = 4,
  ixCaseInsensitive = 8,
};

struct TIndexDef {
  std::string Name;
  std::string Fields;   // the key field names, separated by ","
  uint8_t Options = 0;  // TIndexOption bits
  bool Has(TIndexOption option) const { return (Options & option) != 0; }
};

using TFieldDefs = std::vector<TFieldDef>;
using TIndexDefs = std::vector<TIndexDef>;

}  // namespace tdb
