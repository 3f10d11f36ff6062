// The structures of a database file and their byte layout.
//
// A database file begins with a fixed area:
//
//   position  size  structure
//   0         12    TFileHeader
//   12        2305  reserved (zero bytes)
//   2317      472   TDataProcessBlock
//   2789      1032  TTableTab
//   3821      ...   table headers, record and index table blocks, record
//                   data and blob areas, found through positions
//
// Every structure here is a plain value; the Read/Write functions move it
// from and to a byte buffer field by field as little-endian bytes, never by
// casting over the buffer.  A Read function REQUIRES a buffer of at least the
// structure's size and checks nothing about the values: the file object
// (engine/file) decides what a sane value is.  A Write function writes every
// byte of the structure, reserved bytes as zeros (the blob descriptor's
// reserved bytes excepted, which are carried over).
//
// Names (table, field, index, algorithm names) are raw bytes in the file's
// code page (Windows-1251 for this system's files).  No state, thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tdb {

// ---- sizes and positions ----------------------------------------------------

constexpr size_t kNameFieldSize = 33;  // a NUL-terminated name of up to 32 bytes
constexpr size_t kMaxNameLength = kNameFieldSize - 1;

constexpr int64_t kFileHeaderPos = 0;
constexpr size_t kFileHeaderSize = 12;
constexpr int64_t kDataProcessBlockPos = 2317;
constexpr size_t kDataProcessBlockSize = 472;
constexpr int64_t kTableTabPos = 2789;
constexpr size_t kTableTabSize = 1032;
constexpr int64_t kFirstTableHeaderPos = 3821;  // also the size of the fixed area

constexpr int32_t kMaxTables = 256;
constexpr int32_t kMaxFields = 96;
constexpr int32_t kMaxIndexes = 8;
constexpr int32_t kMaxIndexFields = 8;
constexpr size_t kPasswordCheckSize = 129;

constexpr size_t kTableHeaderSize = 4821;
constexpr size_t kFieldTabItemSize = 43;
constexpr size_t kIndexHeaderSize = 78;
// Offsets inside a table header of the values rewritten in place.
constexpr size_t kRecTabOffsetOfs = 33;
constexpr size_t kRecordTotalOfs = 37;
constexpr size_t kAutoIncCounterOfs = 41;

// Record table: blocks of a next-block position and 1024 five-byte entries.
constexpr int32_t kTabItemsPerBlock = 1024;
constexpr size_t kRecordTabItemSize = 5;
constexpr size_t kRecordTabBlockSize = 4 + kTabItemsPerBlock * kRecordTabItemSize;  // 5124
// Index table: blocks of a next-block position and 1024 eight-byte entries.
constexpr size_t kIndexTabItemSize = 8;
constexpr size_t kIndexTabBlockSize = 4 + kTabItemsPerBlock * kIndexTabItemSize;  // 8196

constexpr std::string_view kFileMagic = "RadiVO";
constexpr std::string_view kFileVersion = "2.0";

// ---- names ------------------------------------------------------------------

// Reads a name field of `width` bytes: the bytes up to the first NUL, or all
// of them when there is none.
std::string GetNameField(const uint8_t* p, size_t width);

// Writes a name field of `width` bytes: at most width - 1 bytes of `name`,
// then zero bytes to the field's end.
void PutNameField(uint8_t* p, size_t width, std::string_view name);

// ---- structures -------------------------------------------------------------

struct TFileHeader {
  std::string Magic;    // "RadiVO"
  std::string Version;  // "2.0"
};

struct TDataProcessBlock {
  bool Compressed = false;
  std::string CompressAlgoName;
  bool Encrypted = false;
  uint8_t EncryptMode = 0;
  std::string EncryptAlgoName;
  bool VerifyWrites = false;
  std::string PasswordCheck;  // at most 128 bytes
};

struct TTableTab {
  int32_t TableCount = 0;
  std::array<int32_t, kMaxTables> TableHeaderOffset{};  // entries >= TableCount unused
};

struct TFieldTabItem {
  std::string FieldName;
  uint8_t FieldType = 0;
  int32_t FieldSize = 0;
  uint8_t ProcessMode = 0;  // 0: processed as the data process block says
};

struct TIndexHeader {
  std::string IndexName;
  uint8_t IndexOptions = 0;  // TTDIndexOptions (index_options.h)
  std::array<int32_t, kMaxIndexFields> IndexFields{-1, -1, -1, -1, -1, -1, -1, -1};
  int32_t IndexTabOffset = 0;
  int32_t StartIndex = 0;
};

struct TTableHeader {
  std::string TableName;
  int32_t RecTabOffset = 0;
  int32_t RecordTotal = 0;
  int32_t AutoIncCounter = 0;
  int32_t FieldCount = 0;
  std::array<TFieldTabItem, kMaxFields> FieldTab{};
  int32_t IndexCount = 0;
  std::array<TIndexHeader, kMaxIndexes> IndexHeaders{};
};

struct TRecordTabItem {
  int32_t DataOffset = 0;
  bool Deleted = false;
};

struct TIndexTabItem {
  int32_t RecIndex = 0;
  int32_t Next = -1;
};

struct TBlobDescriptor {
  int32_t BlobOffset = 0;
  int32_t BlobSize = 0;
  int32_t AreaSize = 0;
  std::array<uint8_t, 8> Reserved{};  // carried over when a blob is rewritten
};

// Number of key fields of an index: the entries up to the first -1, at most 8.
int32_t IndexKeyLength(const TIndexHeader& index);

// ---- reading and writing ----------------------------------------------------
// Each REQUIRES the span to hold at least the structure's size.

TFileHeader ReadFileHeader(std::span<const uint8_t> buf);
void WriteFileHeader(const TFileHeader& header, std::span<uint8_t> buf);

TDataProcessBlock ReadDataProcessBlock(std::span<const uint8_t> buf);
void WriteDataProcessBlock(const TDataProcessBlock& block, std::span<uint8_t> buf);

TTableTab ReadTableTab(std::span<const uint8_t> buf);
void WriteTableTab(const TTableTab& tab, std::span<uint8_t> buf);

TFieldTabItem ReadFieldTabItem(std::span<const uint8_t> buf);
void WriteFieldTabItem(const TFieldTabItem& item, std::span<uint8_t> buf);

TIndexHeader ReadIndexHeader(std::span<const uint8_t> buf);
void WriteIndexHeader(const TIndexHeader& index, std::span<uint8_t> buf);

TTableHeader ReadTableHeaderBytes(std::span<const uint8_t> buf);
void WriteTableHeaderBytes(const TTableHeader& header, std::span<uint8_t> buf);

TRecordTabItem ReadRecordTabItem(std::span<const uint8_t> buf);
void WriteRecordTabItem(const TRecordTabItem& item, std::span<uint8_t> buf);

TIndexTabItem ReadIndexTabItem(std::span<const uint8_t> buf);
void WriteIndexTabItem(const TIndexTabItem& item, std::span<uint8_t> buf);

TBlobDescriptor ReadBlobDescriptor(std::span<const uint8_t> buf);
void WriteBlobDescriptor(const TBlobDescriptor& blob, std::span<uint8_t> buf);

}  // namespace tdb
