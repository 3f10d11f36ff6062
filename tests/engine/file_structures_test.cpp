// The byte layout of the file structures: sizes, positions of fields, the
// name-field rules, and that reading gives back what was written.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/base/byte_order.h"
#include "engine/format/file_structures.h"
#include "engine/format/index_options.h"

namespace tdb {
namespace {

TEST(NameFieldTest, ReaderStopsAtNulOrTakesEveryByte) {
  const uint8_t with_nul[5] = {'a', 'b', 0, 'c', 'd'};
  EXPECT_EQ(GetNameField(with_nul, 5), "ab");
  const uint8_t no_nul[5] = {'a', 'b', 'c', 'd', 'e'};
  EXPECT_EQ(GetNameField(no_nul, 5), "abcde");
}

TEST(NameFieldTest, WriterKeepsAtMostWidthMinusOneAndZeroFills) {
  uint8_t buf[6];
  std::memset(buf, 0xEE, sizeof buf);
  PutNameField(buf, 5, "abcdefgh");
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 6), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 0, 0xEE}));
  PutNameField(buf, 5, "x");
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 5), (std::vector<uint8_t>{'x', 0, 0, 0, 0}));
}

TEST(FileStructuresTest, SizesOfTheBlocks) {
  EXPECT_EQ(kDataProcessBlockPos + static_cast<int64_t>(kDataProcessBlockSize), kTableTabPos);
  EXPECT_EQ(kTableTabPos + static_cast<int64_t>(kTableTabSize), kFirstTableHeaderPos);
  EXPECT_EQ(49 + 96 * kFieldTabItemSize + 4, 4181u);
  EXPECT_EQ(4181 + 8 * kIndexHeaderSize + 16, kTableHeaderSize);
  EXPECT_EQ(kRecordTabBlockSize, 5124u);
  EXPECT_EQ(kIndexTabBlockSize, 8196u);
}

TEST(FileStructuresTest, DataProcessBlockFieldsSitAtTheirOffsets) {
  TDataProcessBlock b{true, "ZLIB", true, 3, "Twofish", true, "check"};
  std::vector<uint8_t> buf(kDataProcessBlockSize, 0xEE);
  WriteDataProcessBlock(b, buf);
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(buf[1], 0);  // reserved
  EXPECT_EQ(GetNameField(&buf[2], 33), "ZLIB");
  EXPECT_EQ(buf[35], 1);
  EXPECT_EQ(buf[36], 3);
  EXPECT_EQ(GetNameField(&buf[37], 33), "Twofish");
  EXPECT_EQ(buf[70], 1);
  for (size_t i = 71; i < 327; ++i) ASSERT_EQ(buf[i], 0) << i;
  EXPECT_EQ(GetNameField(&buf[327], 129), "check");
  for (size_t i = 456; i < 472; ++i) ASSERT_EQ(buf[i], 0) << i;

  buf[0] = 7;  // any non-zero flag is true
  TDataProcessBlock back = ReadDataProcessBlock(buf);
  EXPECT_TRUE(back.Compressed);
  EXPECT_EQ(back.CompressAlgoName, "ZLIB");
  EXPECT_EQ(back.EncryptMode, 3);
  EXPECT_EQ(back.EncryptAlgoName, "Twofish");
  EXPECT_TRUE(back.VerifyWrites);
  EXPECT_EQ(back.PasswordCheck, "check");
}

TEST(FileStructuresTest, TableHeaderFieldsSitAtTheirOffsets) {
  TTableHeader h;
  h.TableName = "formix";
  h.RecTabOffset = 0x01020304;
  h.RecordTotal = 5;
  h.AutoIncCounter = 41;
  h.FieldCount = 2;
  h.FieldTab[0] = TFieldTabItem{"nomer", 3, 0, 0};
  h.FieldTab[1] = TFieldTabItem{"Platel", 1, 100, 2};
  h.IndexCount = 1;
  h.IndexHeaders[0].IndexName = "iplatel";
  h.IndexHeaders[0].IndexOptions = WithIndexOption(0, tiUnique);
  h.IndexHeaders[0].IndexFields[0] = 1;
  h.IndexHeaders[0].IndexTabOffset = 9000;
  h.IndexHeaders[0].StartIndex = 4;
  h.FieldTab[5].FieldName = "unused";  // beyond FieldCount: written as zeros

  std::vector<uint8_t> buf(kTableHeaderSize, 0xEE);
  WriteTableHeaderBytes(h, buf);
  EXPECT_EQ(GetNameField(&buf[0], 33), "formix");
  EXPECT_EQ(GetInt32LE(&buf[33]), 0x01020304);
  EXPECT_EQ(GetInt32LE(&buf[37]), 5);
  EXPECT_EQ(GetInt32LE(&buf[41]), 41);
  EXPECT_EQ(GetInt32LE(&buf[45]), 2);
  const uint8_t* f1 = &buf[49 + 43];
  EXPECT_EQ(GetNameField(f1, 33), "Platel");
  EXPECT_EQ(f1[33], 1);
  EXPECT_EQ(GetInt32LE(f1 + 34), 100);
  EXPECT_EQ(f1[38], 2);
  EXPECT_EQ(GetInt32LE(f1 + 39), 0);
  EXPECT_EQ(buf[49 + 5 * 43], 0);
  EXPECT_EQ(GetInt32LE(&buf[4177]), 1);
  const uint8_t* x0 = &buf[4181];
  EXPECT_EQ(GetNameField(x0, 33), "iplatel");
  EXPECT_EQ(x0[33], 0x02);
  EXPECT_EQ(GetInt32LE(x0 + 34), 1);
  for (int k = 1; k < 8; ++k) EXPECT_EQ(GetInt32LE(x0 + 34 + 4 * k), -1);
  EXPECT_EQ(GetInt32LE(x0 + 66), 9000);
  EXPECT_EQ(GetInt32LE(x0 + 70), 4);
  for (size_t i = 4181 + 78; i < kTableHeaderSize; ++i) ASSERT_EQ(buf[i], 0) << i;

  TTableHeader back = ReadTableHeaderBytes(buf);
  EXPECT_EQ(back.TableName, "formix");
  EXPECT_EQ(back.FieldTab[1].FieldName, "Platel");
  EXPECT_EQ(back.FieldTab[1].FieldSize, 100);
  EXPECT_EQ(back.IndexHeaders[0].IndexFields, h.IndexHeaders[0].IndexFields);
  EXPECT_EQ(IndexKeyLength(back.IndexHeaders[0]), 1);
  EXPECT_EQ(back.IndexHeaders[0].StartIndex, 4);
}

TEST(FileStructuresTest, SmallItemsAndTheBlobDescriptorCarryReservedBytes) {
  uint8_t rec[5];
  WriteRecordTabItem(TRecordTabItem{0x11223344, true}, rec);
  EXPECT_EQ(std::vector<uint8_t>(rec, rec + 5), (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11, 1}));
  uint8_t idx[8];
  WriteIndexTabItem(TIndexTabItem{3, -1}, idx);
  EXPECT_EQ(ReadIndexTabItem(idx).Next, -1);

  uint8_t blob[20];
  for (int i = 0; i < 20; ++i) blob[i] = static_cast<uint8_t>(i);
  TBlobDescriptor d = ReadBlobDescriptor(blob);
  d.BlobSize = 63;
  WriteBlobDescriptor(d, blob);
  EXPECT_EQ(GetInt32LE(blob + 4), 63);
  for (int i = 12; i < 20; ++i) EXPECT_EQ(blob[i], i);
}

TEST(IndexOptionsTest, NamesInBitOrder) {
  TTDIndexOptions o = WithIndexOption(WithIndexOption(0, tiCaseInsensitive), tiPrimary);
  EXPECT_EQ(o, 0x09);
  auto names = IndexOptionNames(o);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "tiPrimary");
  EXPECT_EQ(names[1], "tiCaseInsensitive");
  EXPECT_EQ(IndexOptionFromName("unique"), tiUnique);
  EXPECT_EQ(IndexOptionFromName("TIDESCENDING"), tiDescending);
  EXPECT_FALSE(IndexOptionFromName("clustered"));
}

}  // namespace
}  // namespace tdb
