// Records of a table as JSON objects, the line format of `tdb dump`,
// `tdb insert` and `tdb locate`: "_recno" (the record's bookmark) first, then
// every field by its stored name (UTF-8).
//
//   ftString, ftFixedChar, ftMemo, ftFmtMemo   UTF-8 text
//   integer types                              JSON integers (64-bit ones exact)
//   ftBoolean                                  true / false
//   ftFloat, ftCurrency                        numbers, shortest round-trip form
//   ftDate / ftTime / ftDateTime               "YYYY-MM-DD" / "HH:MM:SS.mmm" /
//                                              "YYYY-MM-DDTHH:MM:SS.mmm"
//   other blob types                           standard Base64
// A stored value with no such form (an invalid date, a NaN) is null.
//
// Values go through the dataset's field objects as raw bytes of their
// in-memory encoding (the same bytes the file stores), so nothing is lost to
// a text conversion; blob content goes through the dataset's blob access.
// Not thread-safe.
#pragma once

#include <string>
#include <vector>

#include "engine/dataset/dataset.h"
#include "engine/dataset/variant.h"
#include "tdb/json.h"

namespace tdbtool {

// The JSON line of the dataset's current record (no newline).
// REQUIRES: the dataset is open and has a current record.
std::string RecordToJson(const tdb::TDataSet& data);

// Writes the members of a JSON object into the fields of the record being
// inserted or edited; "_recno" is ignored, fields left out keep their values.
// Raises tdb::EDatabaseError naming the field for an unknown field, a value of
// the wrong kind or out of range, a text too long or outside Windows-1251.
// REQUIRES: the dataset is in insert or edit state.
void RecordFromJson(const JsonValue& object, tdb::TDataSet& data);

// A value for `field` given as text (a tdb locate VALUE): in the form dump
// prints for the field's type (12.5, 2024-03-05, 09:30:00.000,
// 2024-03-05T09:30:00.000, true, a 64-bit integer) it becomes that typed
// value; any other text goes as Windows-1251 text, which the field reads in
// its own way (12,5, 05.03.2024, True) or refuses.
tdb::TVariant VariantFromText(const tdb::TField& field, const std::string& utf8);

std::string Base64Encode(const std::vector<uint8_t>& bytes);
// Raises tdb::EDatabaseError for text that is not standard Base64.
std::vector<uint8_t> Base64Decode(const std::string& text);

}  // namespace tdbtool
