// Hand-built database images for the file object's tests: the smallest file
// that shows a fault, written with the format's own writers.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <fstream>
#include <string>
#include <vector>

#include "engine/base/byte_order.h"
#include "engine/format/field_types.h"
#include "engine/format/file_structures.h"

namespace tdb::testing {

// Positions in the image of OneRecordImage().
constexpr int32_t kTableHeaderAt = 3821;
constexpr int32_t kRecTabAt = kTableHeaderAt + 4821;
constexpr int32_t kRecordAt = kRecTabAt + 5124;
constexpr int32_t kRecordSize = 4 + 11 + 20;  // ftInteger, ftString(10), ftMemo
constexpr int32_t kBlobAt = kRecordAt + kRecordSize;
constexpr int32_t kIndexTabAt = kBlobAt + 64;

// A file with no tables, with the given magic and version.
inline std::vector<uint8_t> EmptyImage(const std::string& magic = "RadiVO", const std::string& version = "2.0") {
  std::vector<uint8_t> image(kFirstTableHeaderPos, 0);
  WriteFileHeader(TFileHeader{magic, version}, image);
  return image;
}

// The header of table "t": fields a (ftInteger), s (ftString 10), m (ftMemo);
// index "ia" on a.
inline TTableHeader SmallTableHeader() {
  TTableHeader h;
  h.TableName = "t";
  h.FieldCount = 3;
  h.FieldTab[0] = TFieldTabItem{"a", ftInteger, 0, 0};
  h.FieldTab[1] = TFieldTabItem{"s", ftString, 10, 0};
  h.FieldTab[2] = TFieldTabItem{"m", ftMemo, 0, 0};
  h.IndexCount = 1;
  h.IndexHeaders[0].IndexName = "ia";
  h.IndexHeaders[0].IndexFields[0] = 0;
  return h;
}

inline void SetTableCount(std::vector<uint8_t>& image, int32_t count) {
  TTableTab tab;
  tab.TableCount = count;
  for (int32_t i = 0; i < count; ++i) tab.TableHeaderOffset[i] = kTableHeaderAt + 4821 * i;
  WriteTableTab(tab, std::span<uint8_t>(image).subspan(kTableTabPos));
}

// One table with no records.
inline std::vector<uint8_t> OneTableImage(const TTableHeader& header = SmallTableHeader()) {
  std::vector<uint8_t> image = EmptyImage();
  image.resize(kTableHeaderAt + 4821, 0);
  SetTableCount(image, 1);
  WriteTableHeaderBytes(header, std::span<uint8_t>(image).subspan(kTableHeaderAt));
  return image;
}

// One table holding one record (a = 7, s = "abc", m = "hello"), with its
// record table block, its fixed part, its blob area and the index table.
inline std::vector<uint8_t> OneRecordImage() {
  TTableHeader h = SmallTableHeader();
  h.RecTabOffset = kRecTabAt;
  h.RecordTotal = 1;
  h.IndexHeaders[0].IndexTabOffset = kIndexTabAt;
  std::vector<uint8_t> image = OneTableImage(h);
  image.resize(kIndexTabAt + 8196, 0);
  PutInt32LE(&image[kRecTabAt + 4], kRecordAt);
  PutInt32LE(&image[kRecordAt], 7);
  std::memcpy(&image[kRecordAt + 4], "abc", 3);
  WriteBlobDescriptor(TBlobDescriptor{kBlobAt, 5, 64, {}}, std::span<uint8_t>(image).subspan(kRecordAt + 15));
  std::memcpy(&image[kBlobAt], "hello", 5);
  WriteIndexTabItem(TIndexTabItem{0, -1}, std::span<uint8_t>(image).subspan(kIndexTabAt + 4));
  return image;
}

// A temporary folder removed with its files at the end of the test.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/tdb-test-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  const std::string& path() const { return path_; }
  std::string File(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::string p = path_ + "/" + name;
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<std::streamsize>(bytes.size()));
    return p;
  }

 private:
  std::string path_;
};

}  // namespace tdb::testing
