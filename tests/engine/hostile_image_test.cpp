// Files found by fuzzing the reading of database images (fuzz/image_fuzzer),
// each reduced to the smallest image that shows the fault, and the sound
// behaviour in its place.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/base/database_error.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/field.h"
#include "engine/db_image.h"
#include "engine/file/file_io.h"
#include "engine/file/memory_stream.h"

namespace tdb {
namespace {

using ::testing::HasSubstr;
using testing::OneTableImage;

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "";
}

struct TImage {
  explicit TImage(std::vector<uint8_t> bytes)
      : stream(std::make_shared<TMemoryStream>(std::move(bytes))), handle(RegisterMemoryStream(stream)) {}
  ~TImage() { UnregisterMemoryStream(handle); }
  std::string Name() const { return MemoryDatabaseName(handle); }
  std::shared_ptr<TMemoryStream> stream;
  TMemoryStreamHandle handle;
};

// A table without fields has records of no bytes: appending one writes an
// empty fixed part, which arrives with no buffer at all.
TEST(HostileImageTest, TableWithoutFieldsTakesRecordsOfNoBytes) {
  TTableHeader h;
  h.TableName = "t";
  TImage image(OneTableImage(h));
  TDadaTable t;
  t.SetMediumType(mtMemory);
  t.SetDatabaseName(image.Name());
  t.SetTableName("t");
  t.Open();
  t.Insert();
  t.Post();
  t.Insert();
  t.Post();
  EXPECT_EQ(t.RecordCount(), 2);
}

TEST(HostileImageTest, EmptyWritesAndReadsOfAMemoryStream) {
  TMemoryStream s(std::vector<uint8_t>{1, 2, 3});
  s.WriteAt(3, nullptr, 0);
  s.WriteAt(1, nullptr, 0);
  EXPECT_EQ(s.ReadAt(1, nullptr, 0), 0u);
  EXPECT_EQ(s.Bytes(), (std::vector<uint8_t>{1, 2, 3}));
}

// A string field of a billion characters would have every open allocate
// gigabytes for its record buffers, though no such record fits in the file.
TEST(HostileImageTest, RecordSizeBeyondAnyCreatedTableIsDamage) {
  struct Case {
    int32_t size;
    bool opens;
  };
  // The other two fields take 4 and 20 bytes, the string its size + 1.
  for (Case c : {Case{65535, true}, Case{(16 << 20) - 25, true}, Case{(16 << 20) - 24, false},
                 Case{1300000000, false}}) {
    SCOPED_TRACE(c.size);
    TTableHeader h = testing::SmallTableHeader();
    h.FieldTab[1].FieldSize = c.size;
    TImage image(OneTableImage(h));
    TRadiVOFileIO io;
    io.Open(image.Name(), mtMemory, true, false);
    std::string error = ErrorOf([&] { io.ReadTableHeader(0); });
    if (c.opens)
      EXPECT_EQ(error, "");
    else
      EXPECT_THAT(error, HasSubstr("is damaged: record size"));
  }
}

}  // namespace
}  // namespace tdb
