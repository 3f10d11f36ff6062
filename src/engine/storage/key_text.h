// The text of a key value as the unique-key message quotes it ("Invalid
// unique field value '%s'").
//
//   ftString, ftFixedChar            the characters as stored
//   ftSmallint ftInteger ftWord
//   ftAutoInc ftLargeint             decimal
//   ftBoolean                        "True" / "False"
//   ftFloat, ftCurrency              general format: up to 15 significant
//                                    digits, the locale's decimal separator,
//                                    "1E20" style exponents
//   ftDate, ftTime, ftDateTime       short date, long time, date and time of
//                                    the current locale settings
//   blob types                       the content up to its first NUL
//   anything else                    ""
// Texts are Windows-1251.  Stateless; safe from any thread.
#pragma once

#include <string>

#include "engine/storage/field_buffers.h"

namespace tdb {

// The text of one item's value; "" for an inactive item.
std::string KeyValueText(const TFieldBufferItem& item);
// The text of a value of `type` in `size` bytes (for blobs: the content).
std::string KeyValueText(const uint8_t* value, size_t size, TFieldType type);

// A double in the general floating format with `decimal_separator`.
std::string GeneralFloatText(double value, char decimal_separator);

}  // namespace tdb
