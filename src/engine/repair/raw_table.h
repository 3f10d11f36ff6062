// TRawTable: one table read straight from its file structures, for the code
// that inspects or mends a file (the check and the repair) rather than uses it
// through a dataset.
//
// It holds the table header, the record layout worked out from the field
// table, and the record table as read; it decodes stored values and compares
// records by an index's key.  Every value is read afresh from the file, and a
// value that cannot be read is reported as absent, never raised.  The file
// object belongs to the caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/file/file_io.h"
#include "engine/format/file_structures.h"

namespace tdb {

class TRawTable {
 public:
  TRawTable(TRadiVOFileIO& file, int32_t table_no) : file_(file), table_no_(table_no) {}

 protected:
  // Reads the header (raising as the file object does) and works out the layout.
  void ReadHeader();
  // Whether field f's stored value is encrypted.
  bool Encrypted(int32_t f) const;
  // The decoded stored value of field f of record n, NUL-terminated; nothing
  // when it cannot be read (or, with sound_blob_areas_, when a blob's
  // descriptor does not describe a sound area inside the file).
  std::optional<std::vector<uint8_t>> FieldValue(int32_t n, int32_t f);
  // -1, 0 or 1 for records a and b in the order of `index`; 0 when a value
  // cannot be read or compared.
  int CompareRecords(const TIndexHeader& index, int32_t a, int32_t b);

  TRadiVOFileIO& file_;
  int32_t table_no_;
  TTableHeader header_;
  std::string name_;  // the table's name in UTF-8
  std::vector<int32_t> offsets_, sizes_;
  int32_t record_size_ = 0;
  TRecordTable records_;
  bool sound_blob_areas_ = false;
};

}  // namespace tdb
