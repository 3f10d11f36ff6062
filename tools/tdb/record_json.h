// Records of a table as JSON objects, the line format of `tdb dump` and
// `tdb insert`: "_recno" first, then every field by its stored name (UTF-8).
//
//   ftString, ftFixedChar, ftMemo, ftFmtMemo   UTF-8 text
//   integer types                              JSON integers
//   ftBoolean                                  true / false
//   ftFloat, ftCurrency                        numbers, shortest round-trip form
//   ftDate / ftTime / ftDateTime               "YYYY-MM-DD" / "HH:MM:SS.mmm" /
//                                              "YYYY-MM-DDTHH:MM:SS.mmm"
//   other blob types                           standard Base64
// A stored value with no such form (an invalid date, a NaN) is null.
//
// TToolRecord holds one record's values as a dataset's record buffer would.
// Not thread-safe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/storage/blob_stream.h"
#include "engine/storage/table_io.h"
#include "tdb/json.h"

namespace tdbtool {

class TToolRecord {
 public:
  // Buffers for every field of the open table, holding the initial values
  // of a new record (zero or empty; dates today, times now, date-times
  // 30 December 1899).
  explicit TToolRecord(const tdb::TDadaTableIO& table);
  tdb::TFieldBuffers& Buffers();
  std::vector<uint8_t>& Value(int32_t field_no) { return values_[static_cast<size_t>(field_no)]; }
  tdb::TOptimBlobStream& Stream(int32_t field_no) { return *streams_[static_cast<size_t>(field_no)]; }

 private:
  const tdb::TDadaTableIO& table_;
  std::vector<std::vector<uint8_t>> values_;
  std::vector<std::unique_ptr<tdb::TOptimBlobStream>> streams_;
  tdb::TFieldBuffers buffers_;
};

// The JSON line of a record read into `record` (no newline).
std::string RecordToJson(const tdb::TDadaTableIO& table, TToolRecord& record, int32_t recno);

// Fills `record` from a JSON object; "_recno" is ignored.  Raises
// tdb::EDatabaseError naming the field for an unknown field, a value of the
// wrong kind or out of range, a text too long or outside Windows-1251.
void RecordFromJson(const tdb::TDadaTableIO& table, const JsonValue& object, TToolRecord& record);

std::string Base64Encode(const std::vector<uint8_t>& bytes);
// Raises tdb::EDatabaseError for text that is not standard Base64.
std::vector<uint8_t> Base64Decode(const std::string& text);

}  // namespace tdbtool
