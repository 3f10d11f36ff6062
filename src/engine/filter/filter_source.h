// What a filter expression needs from the dataset it filters: its fields by
// name and their values in the record buffer in use, and the options of one
// evaluation.
//
// The table dataset implements TFilterFieldSource; the filter parser keeps a
// reference to it for its whole life and calls it on the thread that parses
// and evaluates.  Nothing here owns record data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/format/field_types.h"

namespace tdb {

// One data field of the dataset as the filter sees it.
struct TFilterFieldInfo {
  int index = 0;               // position in the dataset's field list
  TFieldType type = ftUnknown;
  int32_t size = 0;            // declared size of ftString / ftFixedChar; 0 otherwise
  bool is_blob = false;        // content only through BlobFieldText
};

class TFilterFieldSource {
 public:
  virtual ~TFilterFieldSource() = default;

  // The field of that name, matched without regard to letter case
  // (SameTextIgnoringCase); nothing when the dataset has no such data field.
  virtual std::optional<TFilterFieldInfo> FindFilterField(std::string_view name) const = 0;

  // The field's value in the buffer that field access uses now (the filter
  // buffer while filtering), in its in-memory encoding; null when there is no
  // buffer.  The pointer stays valid as long as that buffer does: a string
  // field's value is readable for size + 1 bytes, the others for their
  // encoding's size.
  virtual const uint8_t* FieldValuePointer(int index) const = 0;

  // A blob field's content, read as text now from the buffer in use.
  virtual std::string BlobFieldText(int index) const = 0;
};

// The dataset's FilterOptions, a set of these flags.
enum TFilterOption : uint8_t {
  foCaseInsensitive = 1,   // relations and LIKE ignore letter case
  foNoPartialCompare = 2,  // "*" in a text constant is an ordinary character
  // With foCaseInsensitive, LIKE ignores the case of every letter of the
  // code page (Cyrillic too), as the relations do; without it LIKE folds
  // only "a" to "z".  No effect without foCaseInsensitive.
  foLikeFoldsEveryLetter = 4,
};
using TFilterOptions = uint8_t;

}  // namespace tdb
