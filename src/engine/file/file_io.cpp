// The file object: opening a database and its header checks, the table
// directory and table headers, record and index table blocks, blobs, and the
// checked reads and writes that the table storage builds on.
#include "engine/file/file_io.h"

#include "engine/processing/password_check.h"

#include <algorithm>
#include <cassert>
#include <limits>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/format/field_types.h"

namespace tdb {
namespace {

// Positions in the format are int32, so no file grows beyond this.
constexpr int64_t kMaxFileSize = std::numeric_limits<int32_t>::max();
// The largest fixed part of a record taken from a file: far above any table
// the creator makes (96 fields of 65535 characters is 6 MB), and small
// enough that the record buffers of a hostile header cannot exhaust memory.
constexpr int64_t kMaxRecordSize = 16 << 20;

std::string ToString(int64_t v) { return std::to_string(v); }

}  // namespace

TRadiVOFileIO::TRadiVOFileIO() = default;

TRadiVOFileIO::~TRadiVOFileIO() { Close(); }

// ---- opening and closing ------------------------------------------------------

void TRadiVOFileIO::Open(const std::string& name, TRadiVOMediumType medium, bool read_only, bool exclusive) {
  if (IsOpen()) return;
  try {
    medium_.Open(name, medium, read_only, exclusive, [this](const TRadiVOStream& stream) { CheckFileHeader(stream); });
    ReadStructures();
    codec_.Activate(process_block_);
  } catch (...) {
    Close();
    throw;
  }
}

void TRadiVOFileIO::CheckFileHeader(const TRadiVOStream& stream) {
  uint8_t buf[kFileHeaderSize] = {};
  stream.ReadAt(kFileHeaderPos, buf, sizeof buf);  // a short file leaves zeros: not the magic
  TFileHeader header = ReadFileHeader(buf);
  if (header.Magic != kFileMagic)
    DatabaseError(ekNotDatabaseFile, Format("'%s' is not a valid database file", {FileName()}), FileParams(FileName()));
  if (header.Version == "1.00")
    DatabaseError(ekUnsupportedVersion, Format("Version 1.00 of database file '%s' is not supported", {FileName()}),
                  FileParams(FileName()));
  // Compared as byte strings, so "2.00" and "2.1" are too high, "1.5" is not.
  if (header.Version > kFileVersion)
    DatabaseError(ekUnsupportedVersion, Format("Version %s of database file '%s' is too high", {header.Version, FileName()}),
                  FileParams(FileName()));
  version_ = header.Version;
}

void TRadiVOFileIO::ReadStructures() {
  if (medium_.Size() < kFirstTableHeaderPos) Damaged("the file is shorter than its fixed header");
  uint8_t block[kDataProcessBlockSize];
  ReadData(kDataProcessBlockPos, block);
  process_block_ = ReadDataProcessBlock(block);
  uint8_t tab[kTableTabSize];
  ReadData(kTableTabPos, tab);
  table_tab_ = ReadTableTab(tab);
  if (table_tab_.TableCount < 0 || table_tab_.TableCount > kMaxTables)
    Damaged("table count " + ToString(table_tab_.TableCount));
  for (int32_t i = 0; i < table_tab_.TableCount; ++i)
    CheckInside(table_tab_.TableHeaderOffset[i], kTableHeaderSize, "table header");
}

void TRadiVOFileIO::SetProgressEvents(TOnProgress compress, TOnProgress uncompress, TOnProgress encrypt,
                                      TOnProgress decrypt) {
  codec_.SetProgressEvents(std::move(compress), std::move(uncompress), std::move(encrypt), std::move(decrypt));
}

void TRadiVOFileIO::Close() {
  EndWriteBack();
  medium_.Close();
  journal_.End();
}

void TRadiVOFileIO::RequireOpen() const {
  if (!IsOpen()) DatabaseError("Database file is not open");
}

void TRadiVOFileIO::RequireWritable() const {
  RequireOpen();
  if (medium_.ReadOnly())
    DatabaseError(ekReadOnly, Format("Database file '%s' is open for reading only", {FileName()}), FileParams(FileName()));
}

void TRadiVOFileIO::Damaged(const std::string& what) const {
  DatabaseError(ekDamaged, Format("Database file '%s' is damaged: %s", {FileName(), what}), FileParams(FileName()));
}

void TRadiVOFileIO::CheckInside(int64_t pos, int64_t size, const char* what) const {
  RequireOpen();
  // Nothing the engine reads through a position lies in the fixed area.
  if (pos < kFirstTableHeaderPos || !Within(pos, size))
    Damaged(std::string(what) + " position " + ToString(pos) + " outside the file");
}

// ---- flushing, lock, password ----------------------------------------------------

void TRadiVOFileIO::Flush() {
  RequireOpen();
  // Held writes are flushed as they are written out, between their phases.
  if (!write_back_.Empty()) {
    write_back_flush_ = true;
    return;
  }
  medium_.Flush();
}

bool TRadiVOFileIO::Flushed() const { return write_back_.Empty() && medium_.Flushed(); }

void TRadiVOFileIO::Lock() {
  RequireOpen();
  medium_.Lock();
}

void TRadiVOFileIO::Unlock() {
  // Others may read once the lock is free: nothing stays held.
  EndWriteBack();
  medium_.Unlock();
}

void TRadiVOFileIO::Relock() {
  RequireOpen();
  EndWriteBack();
  medium_.Relock();
}

// ---- held writes -------------------------------------------------------------------

namespace {

// The undo of a change whose writes are held: the old bytes go back over
// the held ones.
class TWriteBackPatch : public TRadiVOStream {
 public:
  explicit TWriteBackPatch(TWriteBack& held) : held_(held) {}
  int64_t Size() const override { return held_.Size(); }
  size_t ReadAt(int64_t, uint8_t*, size_t) const override { return 0; }
  void WriteAt(int64_t pos, const uint8_t* src, size_t n) override { held_.Patch(pos, src, n); }
  bool Writable() const override { return true; }

 private:
  TWriteBack& held_;
};

}  // namespace

void TRadiVOFileIO::BeginWriteBack() {
  RequireWritable();
  assert(medium_.Locked() || medium_.MediumType() == mtMemory);
  if (write_back_.Active()) return;
  write_back_.Begin(medium_.Size());
  write_back_flush_ = false;
}

void TRadiVOFileIO::WriteBackOut() {
  if (write_back_.Empty()) return;
  const bool flush = write_back_flush_;
  write_back_flush_ = false;
  try {
    write_back_.WriteOut(medium_.Stream(), [&] {
      if (flush) medium_.Flush();
    });
  } catch (...) {
    ++write_backs_lost_;
    throw;
  }
  medium_.Written(write_back_.Size());
}

void TRadiVOFileIO::EndWriteBack() noexcept {
  if (!write_back_.Active()) return;
  try {
    WriteBackOut();
  } catch (...) {
  }
  write_back_.End();
  write_phase_ = kWriteDirect;
  write_back_flush_ = false;
}

bool TRadiVOFileIO::Within(int64_t pos, int64_t n) const {
  if (write_back_.Active() && pos >= 0 && n >= 0 && pos <= write_back_.Size() - n) return true;
  return medium_.WithinFile(pos, n);
}

bool TRadiVOFileIO::SetPassword(std::string_view password) {
  if (!IsOpen()) return false;
  if (!process_block_.Encrypted) return true;
  if (!PasswordMatchesCheck(password, process_block_.PasswordCheck)) return false;
  codec_.SetKey(password);
  return true;
}

// ---- table headers ---------------------------------------------------------------

int64_t TRadiVOFileIO::TableHeaderPos(int32_t table_no) const {
  RequireOpen();
  if (table_no < 0 || table_no >= table_tab_.TableCount)
    DatabaseError(Format("Database file '%s' has no table number %s", {FileName(), ToString(table_no)}));
  return table_tab_.TableHeaderOffset[table_no];
}

std::vector<std::string> TRadiVOFileIO::GetTableNames() {
  RequireOpen();
  std::vector<std::string> names;
  for (int32_t i = 0; i < table_tab_.TableCount; ++i) {
    uint8_t buf[kNameFieldSize];
    ReadData(TableHeaderPos(i), buf);
    names.push_back(GetNameField(buf, kNameFieldSize));
  }
  return names;
}

TTableHeader TRadiVOFileIO::ReadTableHeader(int32_t table_no) {
  int64_t pos = TableHeaderPos(table_no);
  std::vector<uint8_t> buf(kTableHeaderSize);
  ReadData(pos, buf);
  TTableHeader header = ReadTableHeaderBytes(buf);
  CheckTableHeader(header);
  return header;
}

void TRadiVOFileIO::CheckTableHeader(const TTableHeader& h) const {
  if (h.FieldCount < 0 || h.FieldCount > kMaxFields) Damaged("field count " + ToString(h.FieldCount));
  if (h.IndexCount < 0 || h.IndexCount > kMaxIndexes) Damaged("index count " + ToString(h.IndexCount));
  if (h.RecordTotal < 0) Damaged("record total " + ToString(h.RecordTotal));
  if (h.RecTabOffset < 0) Damaged("record table position " + ToString(h.RecTabOffset));
  int64_t record_size = 0;
  for (int32_t f = 0; f < h.FieldCount; ++f) {
    const TFieldTabItem& field = h.FieldTab[f];
    if (!IsKnownFieldType(field.FieldType)) DatabaseError(ekDamaged, "General error", FileParams(FileName()));
    if (IsStringFieldType(field.FieldType) && field.FieldSize < 0)
      Damaged("size " + ToString(field.FieldSize) + " of field " + field.FieldName);
    // Summed wide: a string's FieldSize + 1 alone may not fit in 32 bits.
    record_size += IsStringFieldType(field.FieldType) ? static_cast<int64_t>(field.FieldSize) + 1
                                                      : FieldSlotSize(field.FieldType, 0);
  }
  if (record_size > kMaxRecordSize) Damaged("record size " + ToString(record_size));
  for (int32_t i = 0; i < h.IndexCount; ++i) {
    const TIndexHeader& index = h.IndexHeaders[i];
    for (int32_t k = 0; k < IndexKeyLength(index); ++k)
      if (index.IndexFields[k] < 0 || index.IndexFields[k] >= h.FieldCount)
        Damaged("index " + index.IndexName + " names field number " + ToString(index.IndexFields[k]));
    if (index.IndexTabOffset < 0) Damaged("index table position of index " + index.IndexName);
    if (index.IndexTabOffset != 0 && h.RecordTotal > 0 && (index.StartIndex < 0 || index.StartIndex >= h.RecordTotal))
      Damaged("start of index " + index.IndexName);
  }
}

void TRadiVOFileIO::WriteTableHeader(int32_t table_no, const TTableHeader& header) {
  RequireWritable();
  int64_t pos = TableHeaderPos(table_no);
  std::vector<uint8_t> buf(kTableHeaderSize);
  WriteTableHeaderBytes(header, buf);
  WriteData(pos, buf);
}

void TRadiVOFileIO::WriteTableCounters(int32_t table_no, const TTableHeader& header, int count) {
  assert(count >= 1 && count <= 3);
  RequireWritable();
  int64_t pos = TableHeaderPos(table_no);
  uint8_t buf[12];
  PutInt32LE(buf, header.RecTabOffset);
  PutInt32LE(buf + 4, header.RecordTotal);
  PutInt32LE(buf + 8, header.AutoIncCounter);
  WriteData(pos + kRecTabOffsetOfs, std::span<const uint8_t>(buf, 4 * static_cast<size_t>(count)));
}

void TRadiVOFileIO::WriteAutoIncCounter(int32_t table_no, int32_t value) {
  RequireWritable();
  int64_t pos = TableHeaderPos(table_no);
  uint8_t buf[4];
  PutInt32LE(buf, value);
  WriteData(pos + kAutoIncCounterOfs, buf);
}

// ---- record and index tables ---------------------------------------------------------

namespace {

// Walks the chain of blocks that holds `total` entries of `item_size` bytes,
// checking each block against the file, and hands each block's bytes and the
// number of its entries in use to `take`.  `items` is sized for the entries
// once the count has been found to fit in the file, so it is filled without
// growing by steps.
template <typename Items, typename Take>
void WalkBlocks(const TRadiVOFileIO& io, int64_t first, int32_t total, size_t block_size,
                std::vector<int32_t>& block_positions, Items& items, Take take, const char* what,
                const std::function<void(const std::string&)>& damaged) {
  block_positions.clear();
  if (total == 0) return;
  int64_t blocks = (static_cast<int64_t>(total) + kTabItemsPerBlock - 1) / kTabItemsPerBlock;
  // Blocks never overlap, so a count whose blocks cannot fit in the file is damage,
  // found before anything is allocated for it.
  if (blocks > io.FileSize() / static_cast<int64_t>(block_size))
    damaged(std::string(what) + " of " + std::to_string(total) + " entries does not fit in the file");
  block_positions.reserve(static_cast<size_t>(blocks));
  items.reserve(static_cast<size_t>(total));
  std::vector<uint8_t> block(block_size);
  int64_t pos = first;
  for (int64_t b = 0; b < blocks; ++b) {
    if (pos < kFirstTableHeaderPos) damaged(std::string(what) + " block position " + std::to_string(pos));
    io.ReadData(pos, block);  // checks the end of the block against the file
    block_positions.push_back(static_cast<int32_t>(pos));
    int32_t used = static_cast<int32_t>(std::min<int64_t>(kTabItemsPerBlock, total - b * kTabItemsPerBlock));
    take(block.data() + 4, used);
    pos = GetInt32LE(block.data());
  }
}

}  // namespace

TRecordTable TRadiVOFileIO::ReadRecordTable(const TTableHeader& header, std::vector<int32_t>& block_positions) {
  RequireOpen();
  TRecordTable items;
  if (header.RecordTotal < 0) Damaged("record total " + ToString(header.RecordTotal));
  auto damaged = [this](const std::string& what) { Damaged(what); };
  WalkBlocks(
      *this, header.RecTabOffset, header.RecordTotal, kRecordTabBlockSize, block_positions, items,
      [&](const uint8_t* p, int32_t used) {
        for (int32_t i = 0; i < used; ++i)
          items.push_back(tdb::ReadRecordTabItem(std::span<const uint8_t>(p + i * kRecordTabItemSize, kRecordTabItemSize)));
      },
      "record table", damaged);
  return items;
}

TIndexTable TRadiVOFileIO::ReadIndexTable(const TIndexHeader& index, int32_t record_total,
                                          std::vector<int32_t>& block_positions) {
  RequireOpen();
  TIndexTable items;
  block_positions.clear();
  if (index.IndexTabOffset == 0) return items;
  if (record_total < 0) Damaged("record total " + ToString(record_total));
  auto damaged = [this](const std::string& what) { Damaged(what); };
  WalkBlocks(
      *this, index.IndexTabOffset, record_total, kIndexTabBlockSize, block_positions, items,
      [&](const uint8_t* p, int32_t used) {
        for (int32_t i = 0; i < used; ++i) {
          TIndexTabItem item =
              tdb::ReadIndexTabItem(std::span<const uint8_t>(p + i * kIndexTabItemSize, kIndexTabItemSize));
          if (item.Next < -1 || item.Next >= record_total)
            Damaged("index " + index.IndexName + " links to record " + ToString(item.Next));
          items.push_back(item);
        }
      },
      "index table", damaged);
  return items;
}

int64_t TRadiVOFileIO::TabItemPos(int32_t block_pos, int32_t slot, size_t block_size, size_t item_size) const {
  if (slot < 0 || slot >= kTabItemsPerBlock) Damaged("table slot " + ToString(slot));
  CheckInside(block_pos, static_cast<int64_t>(block_size), "table block");
  return static_cast<int64_t>(block_pos) + 4 + static_cast<int64_t>(slot) * static_cast<int64_t>(item_size);
}

TRecordTabItem TRadiVOFileIO::ReadRecordTabItem(int32_t block_pos, int32_t slot) {
  uint8_t buf[kRecordTabItemSize];
  ReadData(TabItemPos(block_pos, slot, kRecordTabBlockSize, kRecordTabItemSize), buf);
  return tdb::ReadRecordTabItem(buf);
}

void TRadiVOFileIO::WriteRecordTabItem(int32_t block_pos, int32_t slot, const TRecordTabItem& item) {
  uint8_t buf[kRecordTabItemSize];
  tdb::WriteRecordTabItem(item, buf);
  WriteData(TabItemPos(block_pos, slot, kRecordTabBlockSize, kRecordTabItemSize), buf);
}

TIndexTabItem TRadiVOFileIO::ReadIndexTabItem(int32_t block_pos, int32_t slot) {
  uint8_t buf[kIndexTabItemSize];
  ReadData(TabItemPos(block_pos, slot, kIndexTabBlockSize, kIndexTabItemSize), buf);
  return tdb::ReadIndexTabItem(buf);
}

void TRadiVOFileIO::WriteIndexTabItem(int32_t block_pos, int32_t slot, const TIndexTabItem& item) {
  uint8_t buf[kIndexTabItemSize];
  tdb::WriteIndexTabItem(item, buf);
  WriteData(TabItemPos(block_pos, slot, kIndexTabBlockSize, kIndexTabItemSize), buf);
}

void TRadiVOFileIO::MarkDeleted(int32_t block_pos, int32_t slot) {
  TRecordTabItem item = ReadRecordTabItem(block_pos, slot);
  item.Deleted = true;
  WriteRecordTabItem(block_pos, slot, item);
}

void TRadiVOFileIO::WriteNextBlockPos(int32_t block_pos, int32_t next) {
  // Record table blocks are the smaller kind; the next-block position is
  // their first four bytes either way.
  CheckInside(block_pos, static_cast<int64_t>(kRecordTabBlockSize), "table block");
  uint8_t buf[4];
  PutInt32LE(buf, next);
  WriteData(block_pos, buf);
}

// ---- raw data -------------------------------------------------------------------------

int64_t TRadiVOFileIO::FileSize() const {
  RequireOpen();
  // No one else writes while writes are held (the lock is ours).
  if (write_back_.Active()) return write_back_.Size();
  return medium_.Size();
}

TFileStamp TRadiVOFileIO::Stamp() const {
  RequireOpen();
  return medium_.Stamp();
}

void TRadiVOFileIO::CheckReadable(int64_t pos, int64_t n) const {
  RequireOpen();
  if (!Within(pos, n)) Damaged("read of " + ToString(n) + " bytes at " + ToString(pos) + " outside the file");
}

void TRadiVOFileIO::ReadData(int64_t pos, std::span<uint8_t> dst) const { ReadChecked(pos, dst, false); }

void TRadiVOFileIO::ReadForRewrite(int64_t pos, std::span<uint8_t> dst) const { ReadChecked(pos, dst, true); }

void TRadiVOFileIO::ReadChecked(int64_t pos, std::span<uint8_t> dst, bool before_write) const {
  int64_t n = static_cast<int64_t>(dst.size());
  CheckReadable(pos, n);
  TRadiVOStream& stream = medium_.Stream();
  if (!write_back_.Empty()) {
    // The medium's bytes, then the held ones over them; all bytes beyond the
    // medium's end are held.
    const int64_t on_medium = std::clamp<int64_t>(write_back_.MediumSize() - pos, 0, n);
    size_t got = 0;
    if (on_medium > 0)
      got = before_write ? stream.ReadBeforeWrite(pos, dst.data(), static_cast<size_t>(on_medium))
                         : stream.ReadAt(pos, dst.data(), static_cast<size_t>(on_medium));
    if (got != static_cast<size_t>(on_medium)) Damaged("short read of " + ToString(n) + " bytes at " + ToString(pos));
    std::fill(dst.begin() + on_medium, dst.end(), uint8_t{0});
    write_back_.Overlay(pos, dst.data(), dst.size());
    return;
  }
  const size_t got = before_write ? stream.ReadBeforeWrite(pos, dst.data(), dst.size())
                                  : stream.ReadAt(pos, dst.data(), dst.size());
  if (got != dst.size()) {
    // A file cut short behind our back reads as a read outside it.
    medium_.Size();
    if (!medium_.WithinFile(pos, n)) Damaged("read of " + ToString(n) + " bytes at " + ToString(pos) + " outside the file");
    Damaged("short read of " + ToString(n) + " bytes at " + ToString(pos));
  }
}

void TRadiVOFileIO::WriteData(int64_t pos, std::span<const uint8_t> src) {
  RequireWritable();
  int64_t n = static_cast<int64_t>(src.size());
  if (!Within(pos, 0)) Damaged("write at " + ToString(pos) + " beyond the end of the file");
  if (pos > kMaxFileSize - n)
    DatabaseError(ekFileTooLarge, Format("Database file '%s' cannot grow beyond 2 GB", {FileName()}), FileParams(FileName()));
  const bool hold = write_back_.Active() && write_phase_ != kWriteDirect;
  // A write of its own goes behind everything held before it.
  if (!hold) WriteBackOut();
  TRadiVOStream& stream = medium_.Stream();
  if (journal_.Active() && pos < journal_.StartSize()) {
    std::vector<uint8_t> old(static_cast<size_t>(std::min(n, journal_.StartSize() - pos)));
    if (hold) {
      ReadForRewrite(pos, old);
    } else {
      CheckReadable(pos, static_cast<int64_t>(old.size()));
      if (stream.ReadBeforeWrite(pos, old.data(), old.size()) != old.size())
        ReadData(pos, old);  // reports the short read as ReadData does
    }
    journal_.Keep(pos, std::move(old));
  }
  if (hold) {
    write_back_.Write(write_phase_, pos, src.data(), src.size());
    return;
  }
  stream.WriteAt(pos, src.data(), src.size());
  medium_.Written(pos + n);
  if (write_back_.Active()) write_back_.Grew(pos + n);
}

void TRadiVOFileIO::BeginChange() {
  RequireOpen();
  journal_.Begin(FileSize());
}

void TRadiVOFileIO::EndChange() { journal_.End(); }

bool TRadiVOFileIO::RollBackChange() noexcept {
  if (!write_back_.Empty()) {
    // The change's writes are held (a change's writes are all held or none).
    TWriteBackPatch patch(write_back_);
    return journal_.RollBack(&patch);
  }
  return journal_.RollBack(medium_.IsOpen() ? &medium_.Stream() : nullptr);
}

int32_t TRadiVOFileIO::AppendData(std::span<const uint8_t> src) {
  int64_t pos = FileSize();
  WriteData(pos, src);
  return static_cast<int32_t>(pos);
}

int32_t TRadiVOFileIO::AppendZeros(size_t size) {
  std::vector<uint8_t> zeros(size, 0);
  return AppendData(zeros);
}

TBlobDescriptor TRadiVOFileIO::ReadBlobDescriptor(int64_t descriptor_pos) const {
  uint8_t buf[kBlobDescriptorSize];
  CheckInside(descriptor_pos, kBlobDescriptorSize, "blob descriptor");
  ReadData(descriptor_pos, buf);
  TBlobDescriptor blob = tdb::ReadBlobDescriptor(buf);
  if (blob.BlobSize < 0) Damaged("blob size " + ToString(blob.BlobSize));
  if (blob.BlobSize > 0) CheckInside(blob.BlobOffset, blob.BlobSize, "blob");
  return blob;
}

std::vector<uint8_t> TRadiVOFileIO::ReadBlobData(int64_t descriptor_pos, bool compressed, bool encrypted) {
  TBlobDescriptor blob = ReadBlobDescriptor(descriptor_pos);
  std::vector<uint8_t> stored(static_cast<size_t>(blob.BlobSize));
  if (!stored.empty()) ReadData(blob.BlobOffset, stored);
  return DecodeStream(stored, compressed, encrypted);
}

// ---- encoding ----------------------------------------------------------------------------

void TRadiVOFileIO::EncodeBuffer(const uint8_t* value, uint8_t* slot, bool encrypt, size_t n) {
  codec_.EncodeBuffer(value, slot, encrypt, n);
}

void TRadiVOFileIO::DecodeBuffer(const uint8_t* slot, uint8_t* value, bool encrypt, size_t n) {
  codec_.DecodeBuffer(slot, value, encrypt, n);
}

std::vector<uint8_t> TRadiVOFileIO::EncodeStream(std::span<const uint8_t> value, bool compress, bool encrypt) {
  return codec_.EncodeStream(value, compress, encrypt);
}

std::vector<uint8_t> TRadiVOFileIO::DecodeStream(std::span<const uint8_t> stored, bool compress, bool encrypt) {
  return codec_.DecodeStream(stored, compress, encrypt);
}

}  // namespace tdb
