// Moving values between variants and fields.
#include "engine/dataset/variant.h"

#include "engine/dataset/field.h"

namespace tdb {

void AssignVariant(TField& field, const TVariant& value) {
  std::visit(
      [&field](const auto& v) {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, bool>)
          field.SetAsBoolean(v);
        else if constexpr (std::is_same_v<V, int64_t>)
          field.SetAsLargeInt(v);
        else if constexpr (std::is_same_v<V, double>)
          field.SetAsFloat(v);
        else if constexpr (std::is_same_v<V, std::string>)
          field.SetAsString(v);
      },
      value);
}

TVariant FieldVariant(const TField& field) {
  switch (field.DataType()) {
    case ftBoolean: return field.AsBoolean();
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint: return field.AsLargeInt();
    case ftFloat:
    case ftCurrency: return field.AsFloat();
    case ftDate:
    case ftTime:
    case ftDateTime: return field.AsDateTime();
    default: return field.AsString();
  }
}

}  // namespace tdb
