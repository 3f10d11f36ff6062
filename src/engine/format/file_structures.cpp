// Field-by-field conversion of the database file's structures to and from
// their little-endian byte images.
#include "engine/format/file_structures.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "engine/base/byte_order.h"

namespace tdb {
namespace {

// Offsets inside TDataProcessBlock.
constexpr size_t kCompressedOfs = 0;
constexpr size_t kCompressAlgoNameOfs = 2;
constexpr size_t kEncryptedOfs = 35;
constexpr size_t kEncryptModeOfs = 36;
constexpr size_t kEncryptAlgoNameOfs = 37;
constexpr size_t kVerifyWritesOfs = 70;
constexpr size_t kPasswordCheckOfs = 327;

// Offsets inside TTableHeader.
constexpr size_t kFieldCountOfs = 45;
constexpr size_t kFieldTabOfs = 49;
constexpr size_t kIndexCountOfs = 4177;
constexpr size_t kIndexHeadersOfs = 4181;

// Offsets inside TFieldTabItem and TIndexHeader.
constexpr size_t kFieldTypeOfs = 33;
constexpr size_t kFieldSizeOfs = 34;
constexpr size_t kProcessModeOfs = 38;
constexpr size_t kIndexOptionsOfs = 33;
constexpr size_t kIndexFieldsOfs = 34;
constexpr size_t kIndexTabOffsetOfs = 66;
constexpr size_t kStartIndexOfs = 70;

void Clear(std::span<uint8_t> buf, size_t size) {
  assert(buf.size() >= size);
  std::memset(buf.data(), 0, size);
}

}  // namespace

std::string GetNameField(const uint8_t* p, size_t width) {
  const uint8_t* end = std::find(p, p + width, uint8_t{0});
  return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p));
}

void PutNameField(uint8_t* p, size_t width, std::string_view name) {
  std::memset(p, 0, width);
  size_t n = std::min(name.size(), width - 1);
  std::memcpy(p, name.data(), n);
}

int32_t IndexKeyLength(const TIndexHeader& index) {
  int32_t n = 0;
  while (n < kMaxIndexFields && index.IndexFields[n] != -1) ++n;
  return n;
}

TFileHeader ReadFileHeader(std::span<const uint8_t> buf) {
  assert(buf.size() >= kFileHeaderSize);
  return TFileHeader{GetNameField(buf.data(), 7), GetNameField(buf.data() + 7, 5)};
}

void WriteFileHeader(const TFileHeader& header, std::span<uint8_t> buf) {
  Clear(buf, kFileHeaderSize);
  PutNameField(buf.data(), 7, header.Magic);
  PutNameField(buf.data() + 7, 5, header.Version);
}

TDataProcessBlock ReadDataProcessBlock(std::span<const uint8_t> buf) {
  assert(buf.size() >= kDataProcessBlockSize);
  const uint8_t* p = buf.data();
  TDataProcessBlock b;
  b.Compressed = p[kCompressedOfs] != 0;
  b.CompressAlgoName = GetNameField(p + kCompressAlgoNameOfs, kNameFieldSize);
  b.Encrypted = p[kEncryptedOfs] != 0;
  b.EncryptMode = p[kEncryptModeOfs];
  b.EncryptAlgoName = GetNameField(p + kEncryptAlgoNameOfs, kNameFieldSize);
  b.VerifyWrites = p[kVerifyWritesOfs] != 0;
  b.PasswordCheck = GetNameField(p + kPasswordCheckOfs, kPasswordCheckSize);
  return b;
}

void WriteDataProcessBlock(const TDataProcessBlock& b, std::span<uint8_t> buf) {
  Clear(buf, kDataProcessBlockSize);
  uint8_t* p = buf.data();
  p[kCompressedOfs] = b.Compressed ? 1 : 0;
  PutNameField(p + kCompressAlgoNameOfs, kNameFieldSize, b.CompressAlgoName);
  p[kEncryptedOfs] = b.Encrypted ? 1 : 0;
  p[kEncryptModeOfs] = b.EncryptMode;
  PutNameField(p + kEncryptAlgoNameOfs, kNameFieldSize, b.EncryptAlgoName);
  p[kVerifyWritesOfs] = b.VerifyWrites ? 1 : 0;
  PutNameField(p + kPasswordCheckOfs, kPasswordCheckSize, b.PasswordCheck);
}

TTableTab ReadTableTab(std::span<const uint8_t> buf) {
  assert(buf.size() >= kTableTabSize);
  TTableTab t;
  t.TableCount = GetInt32LE(buf.data());
  for (int i = 0; i < kMaxTables; ++i) t.TableHeaderOffset[i] = GetInt32LE(buf.data() + 8 + 4 * i);
  return t;
}

void WriteTableTab(const TTableTab& t, std::span<uint8_t> buf) {
  Clear(buf, kTableTabSize);
  PutInt32LE(buf.data(), t.TableCount);
  for (int i = 0; i < kMaxTables; ++i) PutInt32LE(buf.data() + 8 + 4 * i, t.TableHeaderOffset[i]);
}

TFieldTabItem ReadFieldTabItem(std::span<const uint8_t> buf) {
  assert(buf.size() >= kFieldTabItemSize);
  const uint8_t* p = buf.data();
  return TFieldTabItem{GetNameField(p, kNameFieldSize), p[kFieldTypeOfs], GetInt32LE(p + kFieldSizeOfs),
                       p[kProcessModeOfs]};
}

void WriteFieldTabItem(const TFieldTabItem& f, std::span<uint8_t> buf) {
  Clear(buf, kFieldTabItemSize);
  uint8_t* p = buf.data();
  PutNameField(p, kNameFieldSize, f.FieldName);
  p[kFieldTypeOfs] = f.FieldType;
  PutInt32LE(p + kFieldSizeOfs, f.FieldSize);
  p[kProcessModeOfs] = f.ProcessMode;
}

TIndexHeader ReadIndexHeader(std::span<const uint8_t> buf) {
  assert(buf.size() >= kIndexHeaderSize);
  const uint8_t* p = buf.data();
  TIndexHeader x;
  x.IndexName = GetNameField(p, kNameFieldSize);
  x.IndexOptions = p[kIndexOptionsOfs];
  for (int i = 0; i < kMaxIndexFields; ++i) x.IndexFields[i] = GetInt32LE(p + kIndexFieldsOfs + 4 * i);
  x.IndexTabOffset = GetInt32LE(p + kIndexTabOffsetOfs);
  x.StartIndex = GetInt32LE(p + kStartIndexOfs);
  return x;
}

void WriteIndexHeader(const TIndexHeader& x, std::span<uint8_t> buf) {
  Clear(buf, kIndexHeaderSize);
  uint8_t* p = buf.data();
  PutNameField(p, kNameFieldSize, x.IndexName);
  p[kIndexOptionsOfs] = x.IndexOptions;
  for (int i = 0; i < kMaxIndexFields; ++i) PutInt32LE(p + kIndexFieldsOfs + 4 * i, x.IndexFields[i]);
  PutInt32LE(p + kIndexTabOffsetOfs, x.IndexTabOffset);
  PutInt32LE(p + kStartIndexOfs, x.StartIndex);
}

TTableHeader ReadTableHeaderBytes(std::span<const uint8_t> buf) {
  assert(buf.size() >= kTableHeaderSize);
  const uint8_t* p = buf.data();
  TTableHeader h;
  h.TableName = GetNameField(p, kNameFieldSize);
  h.RecTabOffset = GetInt32LE(p + kRecTabOffsetOfs);
  h.RecordTotal = GetInt32LE(p + kRecordTotalOfs);
  h.AutoIncCounter = GetInt32LE(p + kAutoIncCounterOfs);
  h.FieldCount = GetInt32LE(p + kFieldCountOfs);
  for (int i = 0; i < kMaxFields; ++i)
    h.FieldTab[i] = ReadFieldTabItem(buf.subspan(kFieldTabOfs + i * kFieldTabItemSize));
  h.IndexCount = GetInt32LE(p + kIndexCountOfs);
  for (int i = 0; i < kMaxIndexes; ++i)
    h.IndexHeaders[i] = ReadIndexHeader(buf.subspan(kIndexHeadersOfs + i * kIndexHeaderSize));
  return h;
}

void WriteTableHeaderBytes(const TTableHeader& h, std::span<uint8_t> buf) {
  Clear(buf, kTableHeaderSize);
  uint8_t* p = buf.data();
  PutNameField(p, kNameFieldSize, h.TableName);
  PutInt32LE(p + kRecTabOffsetOfs, h.RecTabOffset);
  PutInt32LE(p + kRecordTotalOfs, h.RecordTotal);
  PutInt32LE(p + kAutoIncCounterOfs, h.AutoIncCounter);
  PutInt32LE(p + kFieldCountOfs, h.FieldCount);
  // Unused entries are written as zero bytes, whatever the in-memory copy holds.
  for (int i = 0; i < kMaxFields && i < h.FieldCount; ++i)
    WriteFieldTabItem(h.FieldTab[i], buf.subspan(kFieldTabOfs + i * kFieldTabItemSize));
  PutInt32LE(p + kIndexCountOfs, h.IndexCount);
  for (int i = 0; i < kMaxIndexes && i < h.IndexCount; ++i)
    WriteIndexHeader(h.IndexHeaders[i], buf.subspan(kIndexHeadersOfs + i * kIndexHeaderSize));
}

TRecordTabItem ReadRecordTabItem(std::span<const uint8_t> buf) {
  assert(buf.size() >= kRecordTabItemSize);
  return TRecordTabItem{GetInt32LE(buf.data()), buf[4] != 0};
}

void WriteRecordTabItem(const TRecordTabItem& item, std::span<uint8_t> buf) {
  assert(buf.size() >= kRecordTabItemSize);
  PutInt32LE(buf.data(), item.DataOffset);
  buf[4] = item.Deleted ? 1 : 0;
}

TIndexTabItem ReadIndexTabItem(std::span<const uint8_t> buf) {
  assert(buf.size() >= kIndexTabItemSize);
  return TIndexTabItem{GetInt32LE(buf.data()), GetInt32LE(buf.data() + 4)};
}

void WriteIndexTabItem(const TIndexTabItem& item, std::span<uint8_t> buf) {
  assert(buf.size() >= kIndexTabItemSize);
  PutInt32LE(buf.data(), item.RecIndex);
  PutInt32LE(buf.data() + 4, item.Next);
}

TBlobDescriptor ReadBlobDescriptor(std::span<const uint8_t> buf) {
  assert(buf.size() >= 20);
  TBlobDescriptor b;
  b.BlobOffset = GetInt32LE(buf.data());
  b.BlobSize = GetInt32LE(buf.data() + 4);
  b.AreaSize = GetInt32LE(buf.data() + 8);
  std::memcpy(b.Reserved.data(), buf.data() + 12, 8);
  return b;
}

void WriteBlobDescriptor(const TBlobDescriptor& b, std::span<uint8_t> buf) {
  assert(buf.size() >= 20);
  PutInt32LE(buf.data(), b.BlobOffset);
  PutInt32LE(buf.data() + 4, b.BlobSize);
  PutInt32LE(buf.data() + 8, b.AreaSize);
  std::memcpy(buf.data() + 12, b.Reserved.data(), 8);
}

}  // namespace tdb
