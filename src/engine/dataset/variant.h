// TVariant: a field value of any type, as Locate and Lookup take and give
// them.  Texts are Windows-1251; dates and times are the datasets' date-time
// values (days since 30 December 1899).  std::monostate is null.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace tdb {

using TVariant = std::variant<std::monostate, bool, int64_t, double, std::string>;

inline bool IsNull(const TVariant& v) { return std::holds_alternative<std::monostate>(v); }

class TField;

// Writes a value into a field through its typed accessors (null leaves the
// field as it is).
void AssignVariant(TField& field, const TVariant& value);

// The field's value in the variant kind of its type.
TVariant FieldVariant(const TField& field);

}  // namespace tdb
