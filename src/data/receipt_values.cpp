// Reads the register's current receipt through the dataset's fields.
#include "data/receipt_values.h"

#include "engine/base/database_error.h"
#include "engine/dataset/dataset.h"
#include "engine/dataset/field.h"

namespace receipts {

std::string DataSetReceipt::Text(std::string_view field) const {
  return dataset_.FieldByName(field).AsString();
}

tdb::TCurrency DataSetReceipt::Amount(std::string_view field) const {
  return dataset_.FieldByName(field).AsCurrency();
}

bool DataSetReceipt::Flag(std::string_view field) const { return dataset_.FieldByName(field).AsBoolean(); }

tdb::TDateParts DataSetReceipt::Date(std::string_view field) const {
  const tdb::TField& f = dataset_.FieldByName(field);
  if (auto stamp = tdb::DateTimeToStamp(f.AsDateTime())) {
    if (auto date = tdb::DecodeDate(stamp->date)) return *date;
  }
  tdb::DatabaseError(tdb::Format("Field '%s' holds no valid date", {f.FieldName()}));
}

}  // namespace receipts
