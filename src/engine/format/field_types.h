// Field types of the database file: their codes, the size of their slot in the
// fixed part of a record, and which of them are blobs.
//
// The stored value of each type, identical in the record buffers of the
// datasets:
//   ftString, ftFixedChar   Windows-1251 characters, a NUL, zero bytes to the
//                           slot's end; slot FieldSize + 1
//   ftSmallint / ftWord     signed / unsigned 16-bit integer
//   ftInteger, ftAutoInc    signed 32-bit integer
//   ftLargeint              signed 64-bit integer
//   ftBoolean               16-bit: 1 true, 0 false, any non-zero reads true
//   ftFloat, ftCurrency     IEEE 754 double
//   ftDate                  int32 day number, 1 January of year 1 = 1
//                           (30 December 1899 = 693594)
//   ftTime                  int32 milliseconds since midnight
//   ftDateTime              double: day number * 86400000 + milliseconds
//   blob types              20-byte blob descriptor in the slot
// All integers and doubles are little-endian.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tdb {

enum TFieldType : uint8_t {
  ftUnknown = 0,
  ftString = 1,
  ftSmallint = 2,
  ftInteger = 3,
  ftWord = 4,
  ftBoolean = 5,
  ftFloat = 6,
  ftCurrency = 7,
  ftDate = 9,
  ftTime = 10,
  ftDateTime = 11,
  ftAutoInc = 14,
  ftBlob = 15,
  ftMemo = 16,
  ftGraphic = 17,
  ftFmtMemo = 18,
  ftParadoxOle = 19,
  ftDBaseOle = 20,
  ftTypedBinary = 21,
  ftFixedChar = 23,
  ftLargeint = 25,
  ftOraBlob = 30,
  ftOraClob = 31,
};

// Day number of 30 December 1899, the zero of the date-time values the
// datasets hand out.
constexpr int32_t kDayNumberOf18991230 = 693594;
constexpr int32_t kMillisecondsPerDay = 86400000;

// Size of a blob field's slot (its descriptor).
constexpr int32_t kBlobDescriptorSize = 20;

// True for the codes of the table above; any other code makes a table unusable.
bool IsKnownFieldType(int code);

// True for the blob types (codes 15 to 21, 30 and 31).
inline bool IsBlobFieldType(int code) {
  return (code >= ftBlob && code <= ftTypedBinary) || code == ftOraBlob || code == ftOraClob;
}

// True for ftString and ftFixedChar.
inline bool IsStringFieldType(int code) { return code == ftString || code == ftFixedChar; }

// Size of the field's slot in the fixed part of a record; field_size matters
// for the string types only.  REQUIRES: IsKnownFieldType(code), field_size >= 0.
int32_t FieldSlotSize(int code, int32_t field_size);

// The type's name as written above ("ftString"); "ftUnknown" for other codes.
std::string_view FieldTypeName(int code);

// The code for a name, compared without regard to case, with or without the
// "ft" prefix ("String", "ftstring"); nothing for an unknown name.
std::optional<TFieldType> FieldTypeFromName(std::string_view name);

}  // namespace tdb
