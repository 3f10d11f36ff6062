// The table storage's changes: appending, rewriting and deleting records, the
// unique check, blob areas with write verification, and the index chains on
// disk.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <cstring>
#include <limits>
#include <utility>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/storage/blob_stream.h"
#include "engine/storage/key_text.h"
#include "engine/storage/table_io.h"
#include "engine/storage/table_key.h"

namespace tdb {
namespace {

// Blob areas come in multiples of 64 bytes and are always larger than what
// they hold, so an area of an empty value is 64 bytes.
constexpr int32_t kAreaUnit = 64;
// A blob write that keeps reading back wrong is given up after this many tries.
constexpr int kVerifyAttempts = 3;

int32_t AreaSizeFor(size_t stored_size) {
  if (stored_size > static_cast<size_t>(std::numeric_limits<int32_t>::max() - kAreaUnit))
    DatabaseError("Blob value is too large");
  return static_cast<int32_t>((stored_size / kAreaUnit + 1) * kAreaUnit);
}

uint32_t Crc32Of(std::span<const uint8_t> bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes lengths as uInt; feed large values in pieces.
  size_t done = 0;
  while (done < bytes.size()) {
    uInt n = static_cast<uInt>(std::min<size_t>(bytes.size() - done, 1u << 30));
    crc = crc32(crc, bytes.data() + done, n);
    done += n;
  }
  return static_cast<uint32_t>(crc);
}

std::span<const uint8_t> BlobValueOf(const TFieldBufferItem& item) {
  if (!item.Active || !item.Stream) return {};
  const std::vector<uint8_t>& bytes = item.Stream->Bytes();
  return bytes;
}

// The moves of a rewrite, held back until the rewrite has succeeded.
struct TDeferredModifies : TIndexAdjustCallback {
  std::vector<std::array<int32_t, 3>> moves;
  void IndexAdjustAppend(int32_t, int32_t, const TListItem&) override {}
  void IndexAdjustModify(int32_t index_no, int32_t old_position, int32_t new_position) override {
    moves.push_back({index_no, old_position, new_position});
  }
};

}  // namespace

// A change under way.  Unless Commit() is reached, what the change wrote
// inside the file is put back (bytes it appended stay, unreachable) and the
// table's memory with it, so that a change that raised leaves no trace; when
// even that fails, the table is loaded again from what the file holds.
struct TDadaTableIO::TChangeHold {
  TChangeHold(TDadaTableIO& table, bool reload_lists) : table_(table), before_(table.header_), reload_lists_(reload_lists) {
    table_.file_.BeginChange();
  }
  // What a change may alter in the header: its counters and chain places
  // (names and definitions never change), kept to be put back.
  struct TMovingParts {
    explicit TMovingParts(const TTableHeader& h)
        : rec_tab_offset(h.RecTabOffset), record_total(h.RecordTotal), auto_inc_counter(h.AutoIncCounter) {
      for (size_t i = 0; i < h.IndexHeaders.size(); ++i)
        chains[i] = {h.IndexHeaders[i].IndexTabOffset, h.IndexHeaders[i].StartIndex};
    }
    void PutBack(TTableHeader& h) const {
      h.RecTabOffset = rec_tab_offset;
      h.RecordTotal = record_total;
      h.AutoIncCounter = auto_inc_counter;
      for (size_t i = 0; i < h.IndexHeaders.size(); ++i) {
        h.IndexHeaders[i].IndexTabOffset = chains[i].first;
        h.IndexHeaders[i].StartIndex = chains[i].second;
      }
    }
    int32_t rec_tab_offset, record_total, auto_inc_counter;
    std::array<std::pair<int32_t, int32_t>, kMaxIndexes> chains{};
  };
  ~TChangeHold() {
    if (committed_) return;
    before_.PutBack(table_.header_);
    if (!table_.file_.RollBackChange()) {
      table_.ReloadAfterFailedChange();
    } else if (reload_lists_) {
      try {
        table_.LoadRecordsAndLists();
      } catch (...) {
      }
    }
  }
  TChangeHold(const TChangeHold&) = delete;
  TChangeHold& operator=(const TChangeHold&) = delete;
  void Commit() {
    table_.file_.EndChange();
    committed_ = true;
  }

  TDadaTableIO& table_;
  const TMovingParts before_;
  const bool reload_lists_;  // the lists may have changed before the failure
  bool committed_ = false;
};

void TDadaTableIO::ReloadAfterFailedChange() noexcept {
  // Should even reading the file fail, the table stays out of step and the
  // next change loads again.
  try {
    ReloadForOtherWriter();
  } catch (...) {
  }
}

// ---- values -----------------------------------------------------------------------------

void TDadaTableIO::CutStrings(TFieldBuffers& buffers) const {
  for (int32_t f = 0; f < buffers.Count(); ++f) {
    TFieldBufferItem& item = buffers.Item(f);
    const TDadaFieldDef& def = field_defs_[f];
    if (!item.Active || !item.Buffer || item.DataSize <= 0 || !IsStringFieldType(def.FieldType)) continue;
    auto* p = static_cast<uint8_t*>(item.Buffer);
    size_t size = static_cast<size_t>(item.DataSize);
    size_t limit = std::min(static_cast<size_t>(std::max(def.FieldSize, 0)), size - 1);
    const void* nul = std::memchr(p, 0, size);
    size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : size;
    length = std::min(length, limit);
    std::memset(p + length, 0, size - length);
  }
}

// The stored bytes of a fixed-size field; an item without a value stores the
// field's initial value, zero bytes, encrypted like any other value.
void TDadaTableIO::EncodeSlot(const TFieldBufferItem* item, int32_t field_no, uint8_t* slot) {
  size_t size = static_cast<size_t>(SlotSize(field_no));
  std::vector<uint8_t>& value = scratch_value_;
  std::memset(value.data(), 0, size);
  if (item && item->Active && item->Buffer)
    std::memcpy(value.data(), item->Buffer, std::min(size, static_cast<size_t>(item->DataSize)));
  if (FieldEncrypted(field_no)) file_.EncodeBuffer(value.data(), slot, true, size);
  else std::memcpy(slot, value.data(), size);
}

// ---- unique check -------------------------------------------------------------------------

void TDadaTableIO::CheckUnique(const TKey& key, int32_t index_no, TGap& gap) const {
  const TDadaIndexDef& index = index_defs_[index_no];
  if (!index.Has(tiPrimary) && !index.Has(tiUnique)) return;
  // The gap's neighbours are live and adjacent on disk, and the chain is in
  // key order with no key twice: an equal key can only be one of them.
  if (gap.before.RecIndex >= 0 && gap.before_cmp == TGap::kNotCompared)
    gap.before_cmp = CompareWithEntry(key, gap.before, index_no, false);
  if (gap.after.RecIndex >= 0 && gap.after_cmp == TGap::kNotCompared)
    gap.after_cmp = CompareWithEntry(key, gap.after, index_no, false);
  if (!(gap.before.RecIndex >= 0 && gap.before_cmp == 0) && !(gap.after.RecIndex >= 0 && gap.after_cmp == 0)) return;
  std::string text;
  for (int32_t k = 0; k < key.Count(); ++k) {
    if (k) text += ",";
    text += KeyValueText(static_cast<const uint8_t*>(key.Value(k).data), key.Size(k), key.Value(k).type);
  }
  DatabaseError(Format("Invalid unique field value '%s'", {text}));
}

// ---- blobs ----------------------------------------------------------------------------------

// Writes `encoded` and zero bytes up to `area_size` at `pos` (at most the end
// of the file); with VerifyWrites reads the value back and retries.
void TDadaTableIO::WriteBlobArea(int64_t pos, std::span<const uint8_t> value, std::vector<uint8_t>& encoded,
                                 int32_t area_size, int32_t field_no) {
  bool verify = file_.DataProcessBlock().VerifyWrites;
  uint32_t crc = verify ? Crc32Of(value) : 0;
  for (int attempt = 1;; ++attempt) {
    assert(encoded.size() < static_cast<size_t>(area_size));
    std::vector<uint8_t> area(static_cast<size_t>(area_size), 0);
    if (!encoded.empty()) std::memcpy(area.data(), encoded.data(), encoded.size());
    file_.WriteData(pos, area);
    if (!verify) return;
    std::vector<uint8_t> back(encoded.size());
    if (!back.empty()) file_.ReadData(pos, back);
    bool same = false;
    try {
      same = Crc32Of(file_.DecodeStream(back, FieldCompressed(field_no), FieldEncrypted(field_no))) == crc;
    } catch (const EDatabaseError&) {
      same = false;  // a value that no longer decodes is a mismatch
    }
    if (same) return;
    if (attempt == kVerifyAttempts)
      DatabaseError(Format("Verification of the blob written for field %s failed", {field_defs_[field_no].Name}));
    encoded = file_.EncodeStream(value, FieldCompressed(field_no), FieldEncrypted(field_no));
    if (encoded.size() >= static_cast<size_t>(area_size))
      DatabaseError(Format("Verification of the blob written for field %s failed", {field_defs_[field_no].Name}));
  }
}

TBlobDescriptor TDadaTableIO::WriteNewBlob(std::span<const uint8_t> value, int32_t field_no) {
  std::vector<uint8_t> encoded = file_.EncodeStream(value, FieldCompressed(field_no), FieldEncrypted(field_no));
  int32_t area = AreaSizeFor(encoded.size());
  int64_t pos = file_.FileSize();
  WriteBlobArea(pos, value, encoded, area, field_no);
  return TBlobDescriptor{static_cast<int32_t>(pos), static_cast<int32_t>(encoded.size()), area, {}};
}

TBlobDescriptor TDadaTableIO::RewriteBlob(std::span<const uint8_t> value, int32_t field_no, const TBlobDescriptor& old) {
  std::vector<uint8_t> encoded = file_.EncodeStream(value, FieldCompressed(field_no), FieldEncrypted(field_no));
  int64_t end = file_.FileSize();
  // An area that does not lie wholly inside the file past the fixed header is
  // never written into: the value moves to the end instead.
  bool area_sound = old.AreaSize > 0 && old.AreaSize % kAreaUnit == 0 && old.BlobOffset >= kFirstTableHeaderPos &&
                    static_cast<int64_t>(old.BlobOffset) + old.AreaSize <= end;
  TBlobDescriptor blob = old;
  int32_t area;
  int64_t pos;
  if (area_sound && encoded.size() < static_cast<size_t>(old.AreaSize)) {
    pos = old.BlobOffset;
    area = old.AreaSize;
  } else {
    area = AreaSizeFor(encoded.size());
    pos = area_sound && static_cast<int64_t>(old.BlobOffset) + old.AreaSize == end ? old.BlobOffset : end;
  }
  // In place, what the area held is put back when verification gives up.
  std::vector<uint8_t> before;
  bool overwrites = pos < end;
  if (overwrites && file_.DataProcessBlock().VerifyWrites) {
    before.resize(static_cast<size_t>(std::min<int64_t>(area, end - pos)));
    file_.ReadData(pos, before);
  }
  try {
    WriteBlobArea(pos, value, encoded, area, field_no);
  } catch (const EDatabaseError&) {
    if (!before.empty()) file_.WriteData(pos, before);
    throw;
  }
  blob.BlobOffset = static_cast<int32_t>(pos);
  blob.BlobSize = static_cast<int32_t>(encoded.size());
  blob.AreaSize = area;
  return blob;
}

// ---- chains ------------------------------------------------------------------------------------

TIndexTabItem TDadaTableIO::ReadChainEntry(int32_t index_no, int32_t rec_index) const {
  const std::vector<int32_t>& blocks = index_blocks_[static_cast<size_t>(index_no)];
  size_t block = static_cast<size_t>(rec_index) / kTabItemsPerBlock;
  if (rec_index < 0 || block >= blocks.size())
    DatabaseError(Format("Database file '%s' is damaged: index %s has no entry for record %s",
                         {file_.FileName(), index_defs_[index_no].Name, std::to_string(rec_index)}));
  return const_cast<TRadiVOFileIO&>(file_).ReadIndexTabItem(blocks[block], rec_index % kTabItemsPerBlock);
}

void TDadaTableIO::WriteChainEntry(int32_t index_no, const TIndexTabItem& item) {
  const std::vector<int32_t>& blocks = index_blocks_[static_cast<size_t>(index_no)];
  size_t block = static_cast<size_t>(item.RecIndex) / kTabItemsPerBlock;
  if (item.RecIndex < 0 || block >= blocks.size())
    DatabaseError(Format("Database file '%s' is damaged: index %s has no entry for record %s",
                         {file_.FileName(), index_defs_[index_no].Name, std::to_string(item.RecIndex)}));
  file_.WriteIndexTabItem(blocks[block], item.RecIndex % kTabItemsPerBlock, item);
}

void TDadaTableIO::SetStartIndex(int32_t index_no, int32_t rec_index) {
  header_.IndexHeaders[static_cast<size_t>(index_no)].StartIndex = rec_index;
  file_.WriteTableHeader(table_no_, header_);
}

// ---- append ------------------------------------------------------------------------------------

void TDadaTableIO::AppendRecord(TFieldBuffers& buffers, bool flush, TIndexAdjustCallback* callback) {
  RequireOpen();
  CheckBuffers(buffers);
  BatchLock();
  TLockHold lock(file_);
  SyncWithFile();
  EnsureAllLists();
  // The checks see the strings as they will be stored.
  CutStrings(buffers);

  int32_t counter = header_.AutoIncCounter;
  int32_t auto_inc_value = 0;
  bool auto_inc_given = false;  // the value was handed out here and written into the buffer
  if (auto_inc_field_no_ >= 0) {
    TFieldBufferItem& item = buffers.Item(auto_inc_field_no_);
    bool has_value = item.Active && item.Buffer && item.DataSize >= 4;
    int32_t value = has_value ? GetInt32LE(static_cast<uint8_t*>(item.Buffer)) : 0;
    if (value == 0) {
      if (counter == std::numeric_limits<int32_t>::max())
        DatabaseError(Format("The auto-increment counter of table '%s' is exhausted", {table_name_}));
      value = ++counter;
      if (has_value) {
        PutInt32LE(static_cast<uint8_t*>(item.Buffer), value);
        auto_inc_given = true;
      }
    } else if (value > counter) {
      counter = value;
    }
    auto_inc_value = value;
  }

  // Where the record goes in every index, found before anything changes, and
  // checked against the file: from lists another process has made stale the
  // table is loaded again and the places found anew.
  const int32_t index_count = index_defs_.Count();
  std::vector<TKey> keys;
  std::vector<TGap> gaps(static_cast<size_t>(index_count));
  for (int32_t i = 0; i < index_count; ++i) keys.push_back(KeyFromBuffers(buffers, i, 0, -1));
  for (bool verify = true;; verify = false) {
    bool in_step = true;
    for (int32_t i = 0; i < index_count && in_step; ++i) {
      size_t ii = static_cast<size_t>(i);
      gaps[ii] = FindGap(keys[ii], *lists_[ii + 1], i);
      in_step = !verify || GapOnDisk(i, keys[ii], gaps[ii], -1);
    }
    if (in_step) break;
    ReloadForOtherWriter();
  }
  const int32_t n = header_.RecordTotal;
  if (n == std::numeric_limits<int32_t>::max()) DatabaseError(Format("Table '%s' is full", {table_name_}));
  if (n > 0 && (rec_blocks_.size() != static_cast<size_t>((n - 1) / kTabItemsPerBlock) + 1))
    DatabaseError(Format("Database file '%s' is damaged: record table of %s", {file_.FileName(), table_name_}));
  for (int32_t i = 0; i < index_count; ++i)
    if (n > 0 && index_blocks_[static_cast<size_t>(i)].size() != static_cast<size_t>((n - 1) / kTabItemsPerBlock) + 1)
      DatabaseError(Format("Database file '%s' is damaged: index table of %s", {file_.FileName(), index_defs_[i].Name}));
  try {
    for (int32_t i = 0; i < index_count; ++i) CheckUnique(keys[static_cast<size_t>(i)], i, gaps[static_cast<size_t>(i)]);
  } catch (const EDatabaseError&) {
    if (auto_inc_given) PutInt32LE(static_cast<uint8_t*>(buffers.Item(auto_inc_field_no_).Buffer), 0);
    throw;
  }

  TChangeHold change(*this, false);
  // 1. New blocks and the record itself, none of it reachable yet: a record
  //    table block when one is full, the entry in its slot, the fixed part and
  //    its blob areas, then the index table blocks with the record's entries.
  const int32_t slot = n % kTabItemsPerBlock;
  const bool new_blocks = slot == 0;
  int32_t rec_block = new_blocks ? file_.AppendZeros(kRecordTabBlockSize) : rec_blocks_.back();
  const int64_t data_pos = file_.FileSize();
  if (data_pos > std::numeric_limits<int32_t>::max() - static_cast<int64_t>(record_size_))
    DatabaseError(Format("Database file '%s' cannot grow beyond 2 GB", {file_.FileName()}));
  const int32_t data_offset = static_cast<int32_t>(data_pos);
  file_.WriteRecordTabItem(rec_block, slot, TRecordTabItem{data_offset, false});

  std::vector<uint8_t> record(static_cast<size_t>(record_size_), 0);
  if (has_blobs_) file_.AppendZeros(static_cast<size_t>(record_size_));
  for (int32_t f = 0; f < field_defs_.Count(); ++f) {
    const TFieldBufferItem& item = buffers.Item(f);
    uint8_t* dst = record.data() + field_offsets_[static_cast<size_t>(f)];
    if (IsBlobFieldType(field_defs_[f].FieldType)) {
      // A blob without a value gets the area of an empty value.
      WriteBlobDescriptor(WriteNewBlob(BlobValueOf(item), f), std::span<uint8_t>(dst, kBlobDescriptorSize));
    } else if (f == auto_inc_field_no_) {
      uint8_t value[4];
      PutInt32LE(value, auto_inc_value);
      TFieldBufferItem stored{value, nullptr, ftAutoInc, 4, true};
      EncodeSlot(&stored, f, dst);
    } else {
      EncodeSlot(&item, f, dst);
    }
  }
  if (has_blobs_) file_.WriteData(data_offset, record);
  else file_.AppendData(record);

  std::vector<int32_t> new_index_blocks(static_cast<size_t>(index_count), 0);
  std::vector<TIndexTabItem> predecessors(static_cast<size_t>(index_count));
  for (int32_t i = 0; i < index_count; ++i) {
    size_t ii = static_cast<size_t>(i);
    int32_t block = new_blocks ? file_.AppendZeros(kIndexTabBlockSize) : index_blocks_[ii].back();
    new_index_blocks[ii] = block;
    TIndexTabItem entry{n, -1};
    if (n > 0) {
      if (gaps[ii].pos == 0) {
        entry.Next = header_.IndexHeaders[ii].StartIndex;
      } else {
        // Read under this lock when the gap was checked, and unchanged since.
        predecessors[ii] = gaps[ii].before_entry_read ? gaps[ii].before_entry : ReadChainEntry(i, gaps[ii].before.RecIndex);
        entry.Next = predecessors[ii].Next;
      }
    }
    file_.WriteIndexTabItem(block, slot, entry);
  }

  // 2. The new blocks join their chains; past the last block they are not read yet.
  if (new_blocks && n > 0) {
    file_.WriteNextBlockPos(rec_blocks_.back(), rec_block);
    for (int32_t i = 0; i < index_count; ++i)
      file_.WriteNextBlockPos(index_blocks_[static_cast<size_t>(i)].back(), new_index_blocks[static_cast<size_t>(i)]);
  }
  // The first record also gives the table its record and index tables;
  // with the record count still 0 nothing reads them yet.
  if (n == 0) {
    header_.RecTabOffset = rec_block;
    for (int32_t i = 0; i < index_count; ++i) {
      header_.IndexHeaders[static_cast<size_t>(i)].IndexTabOffset = new_index_blocks[static_cast<size_t>(i)];
      header_.IndexHeaders[static_cast<size_t>(i)].StartIndex = 0;
    }
    file_.WriteTableHeader(table_no_, header_);
  }
  // Everything the record count makes reachable is on the disk before it.
  if (flush) file_.Flush();

  // 3. The record count: from here on the record exists.
  header_.RecordTotal = n + 1;
  header_.AutoIncCounter = counter;
  file_.WriteTableCounters(table_no_, header_, auto_inc_field_no_ >= 0 ? 3 : 2);

  // 4. The links: new chain heads, and the predecessors' links.
  bool new_head = false;
  for (int32_t i = 0; i < index_count; ++i)
    if (n > 0 && gaps[static_cast<size_t>(i)].pos == 0) {
      header_.IndexHeaders[static_cast<size_t>(i)].StartIndex = n;
      new_head = true;
    }
  if (new_head) {
    // A chain head reaches the disk only behind the count that covers it,
    // or the header itself would read as damaged.
    if (flush) file_.Flush();
    file_.WriteTableHeader(table_no_, header_);
  }
  for (int32_t i = 0; i < index_count; ++i) {
    size_t ii = static_cast<size_t>(i);
    if (n == 0 || gaps[ii].pos == 0) continue;
    TIndexTabItem pred = predecessors[ii];
    pred.Next = n;
    pred.RecIndex = gaps[ii].before.RecIndex;
    WriteChainEntry(i, pred);
  }
  if (flush) file_.Flush();
  change.Commit();

  // 5. Memory follows the file, and the dataset hears of the record.
  rec_tab_.push_back(TRecordTabItem{data_offset, false});
  if (new_blocks) {
    rec_blocks_.push_back(rec_block);
    for (int32_t i = 0; i < index_count; ++i)
      index_blocks_[static_cast<size_t>(i)].push_back(new_index_blocks[static_cast<size_t>(i)]);
  }
  const TListItem item{data_offset, n};
  ForgetKeys(n);  // a number an append that failed had taken is new again
  lists_[0]->push_back(item);
  if (callback) callback->IndexAdjustAppend(-1, -1, item);
  for (int32_t i = 0; i < index_count; ++i) {
    int32_t pos = gaps[static_cast<size_t>(i)].pos;
    if (callback) callback->IndexAdjustAppend(i, pos, item);
    lists_[static_cast<size_t>(i) + 1]->insert(static_cast<size_t>(pos), item);
  }
  ++change_count_;  // the lists now hold this change
}

// ---- rewrite -------------------------------------------------------------------------------------

void TDadaTableIO::ReadOldSlots(const TFieldBuffers& buffers, int32_t data_offset, std::vector<uint8_t>& before) const {
  // The slots a rewrite keeps or looks at: fields without a new value, blob
  // descriptors, the auto-increment field (0 keeps it) and every key field.
  std::vector<int32_t> wanted;
  size_t bytes = 0;
  for (int32_t f = 0; f < field_defs_.Count(); ++f) {
    const TFieldBufferItem& item = buffers.Item(f);
    TFieldType type = field_defs_[f].FieldType;
    const bool keep = !item.Active || IsBlobFieldType(type) || type == ftAutoInc || !item.Buffer ||
                      key_fields_[static_cast<size_t>(f)];
    if (!keep) continue;
    wanted.push_back(f);
    bytes += static_cast<size_t>(SlotSize(f));
  }
  if (bytes > kOldSlotReadBytes) {
    file_.ReadData(data_offset, before);
    return;
  }
  // Every other slot is overwritten whole; the fixed part must still lie
  // inside the file, as for a read of all of it.
  file_.CheckReadable(data_offset, record_size_);
  for (int32_t f : wanted)
    file_.ReadData(static_cast<int64_t>(data_offset) + field_offsets_[static_cast<size_t>(f)],
                   std::span<uint8_t>(before.data() + field_offsets_[static_cast<size_t>(f)],
                                      static_cast<size_t>(SlotSize(f))));
}

bool TDadaTableIO::KeyMayChange(int32_t index_no, const TFieldBuffers& buffers, int32_t data_offset,
                                const std::vector<uint8_t>& before,
                                const std::vector<uint8_t>& after) const {
  const TDadaIndexDef& index = index_defs_[index_no];
  const bool case_insensitive = index.Has(tiCaseInsensitive);
  for (int32_t f : index.FieldNos) {
    TFieldType type = field_defs_[f].FieldType;
    if (IsBlobFieldType(type)) {
      // A blob key is compared only when a new value is given.
      const TFieldBufferItem& item = buffers.Item(f);
      if (item.Active && item.Stream && !BlobUnchanged(item, data_offset, f)) return true;
      continue;
    }
    const size_t offset = static_cast<size_t>(field_offsets_[static_cast<size_t>(f)]);
    const size_t size = static_cast<size_t>(SlotSize(f));
    if (std::memcmp(before.data() + offset, after.data() + offset, size) == 0) continue;
    // Different bytes may still be an equal key (letter case, what follows a
    // string's NUL): the index's own comparison decides.
    std::vector<uint8_t> old_value(size + 1, 0), new_value(size + 1, 0);
    const bool encrypted = FieldEncrypted(f);
    const_cast<TRadiVOFileIO&>(file_).DecodeBuffer(before.data() + offset, old_value.data(), encrypted, size);
    const_cast<TRadiVOFileIO&>(file_).DecodeBuffer(after.data() + offset, new_value.data(), encrypted, size);
    const std::ptrdiff_t length = IsStringFieldType(type) ? static_cast<std::ptrdiff_t>(size) - 1 : -1;
    if (tdb::CompareKeyValue(TFieldValue{new_value.data(), type, length}, TFieldValue{old_value.data(), type, length},
                             false, case_insensitive) != 0)
      return true;
  }
  return false;
}


bool TDadaTableIO::BlobUnchanged(const TFieldBufferItem& item, int32_t data_offset, int32_t field_no) const {
  return item.Stream->HoldsStoredValueOf(
      file_, static_cast<int64_t>(data_offset) + field_offsets_[static_cast<size_t>(field_no)]);
}

int32_t TDadaTableIO::CheckedRecordPos(int32_t record_pos) const {
  if (record_pos < 0 || static_cast<size_t>(record_pos) >= lists_[0]->size())
    DatabaseError(Format("Record position %s out of range", {std::to_string(record_pos)}));
  return record_pos;
}

TDadaTableIO::TKey TDadaTableIO::KeyOfNewRecord(const std::vector<uint8_t>& record, const TFieldBuffers& buffers,
                                                int32_t data_offset, int32_t index_no) const {
  TKey key;
  for (int32_t f : index_defs_[index_no].FieldNos) {
    const TFieldType type = field_defs_[f].FieldType;
    const size_t offset = static_cast<size_t>(field_offsets_[static_cast<size_t>(f)]);
    if (IsBlobFieldType(type)) {
      const TFieldBufferItem& item = buffers.Item(f);
      if (item.Active && item.Stream) {
        const std::vector<uint8_t>& bytes = item.Stream->Bytes();
        key.AddBorrowed(bytes.data(), bytes.size(), type, static_cast<std::ptrdiff_t>(bytes.size()));
      } else {
        std::vector<uint8_t> stored = const_cast<TRadiVOFileIO&>(file_).ReadBlobData(
            static_cast<int64_t>(data_offset) + static_cast<int64_t>(offset), FieldCompressed(f), FieldEncrypted(f));
        std::ptrdiff_t length = static_cast<std::ptrdiff_t>(stored.size());
        key.AddOwned(std::move(stored), type, length);
      }
      continue;
    }
    const size_t size = static_cast<size_t>(SlotSize(f));
    std::vector<uint8_t> value(size);
    const_cast<TRadiVOFileIO&>(file_).DecodeBuffer(record.data() + offset, value.data(), FieldEncrypted(f), size);
    key.AddOwned(std::move(value), type, IsStringFieldType(type) ? static_cast<std::ptrdiff_t>(size) - 1 : -1);
  }
  return key;
}

void TDadaTableIO::ModifyRecord(TFieldBuffers& buffers, int32_t record_pos, TIndexAdjustCallback* callback,
                                bool flush) {
  RequireOpen();
  CheckBuffers(buffers);
  TListItem target = lists_[0]->at(static_cast<size_t>(CheckedRecordPos(record_pos)));
  BatchLock();
  TLockHold lock(file_);
  SyncWithFile();
  EnsureAllLists();
  CutStrings(buffers);

  const int32_t index_count = index_defs_.Count();
  std::vector<uint8_t> before(static_cast<size_t>(record_size_));
  std::vector<uint8_t> record;
  int32_t new_counter = 0;
  std::vector<int32_t> old_positions;
  std::vector<TKey> keys;
  std::vector<TGap> gaps;
  for (bool verify = true;; verify = false) {
    if (FindInList0(target.RecIndex) < 0)
      DatabaseError(Format("Record %s of table '%s' was deleted by another user",
                           {std::to_string(target.RecIndex), table_name_}));
    if (verify && !LiveOnDisk(target.RecIndex)) {
      ReloadForOtherWriter();
      continue;
    }
    // The new fixed part is built in memory first; blob values and the
    // auto-increment counter reach the file only once every check has passed.
    ReadOldSlots(buffers, target.DataOffset, before);
    record = before;
    new_counter = header_.AutoIncCounter;
    for (int32_t f = 0; f < field_defs_.Count(); ++f) {
      const TFieldBufferItem& item = buffers.Item(f);
      if (!item.Active) continue;
      TFieldType type = field_defs_[f].FieldType;
      uint8_t* dst = record.data() + field_offsets_[static_cast<size_t>(f)];
      if (IsBlobFieldType(type)) continue;
      if (type == ftAutoInc) {
        if (!item.Buffer || item.DataSize < 4) continue;
        int32_t value = GetInt32LE(static_cast<const uint8_t*>(item.Buffer));
        if (value == 0) continue;
        EncodeSlot(&item, f, dst);
        new_counter = std::max(new_counter, value);
      } else if (item.Buffer) {
        EncodeSlot(&item, f, dst);
      }
    }

    // An index whose key the rewrite leaves equal keeps the record where it
    // stands: searched again among equal keys it could land elsewhere in
    // their run, and a caller walking that order would meet records twice or
    // never.  Where the key changes, the record's place now (found by its key
    // as stored now) and its new place among the others.
    old_positions.assign(static_cast<size_t>(index_count), -1);
    keys.clear();
    keys.reserve(static_cast<size_t>(index_count));
    gaps.assign(static_cast<size_t>(index_count), TGap{});
    bool in_step = true;
    for (int32_t i = 0; i < index_count && in_step; ++i) {
      const size_t ii = static_cast<size_t>(i);
      keys.push_back(TKey{});
      if (!KeyMayChange(i, buffers, target.DataOffset, before, record)) continue;
      TRecordList& list = *lists_[ii + 1];
      const int32_t old_pos = FindInIndexList(i, target);
      if (old_pos < 0) {
        if (verify) {
          in_step = false;
          break;
        }
        DatabaseError(Format("Database file '%s' is damaged: record %s is missing from index %s",
                             {file_.FileName(), std::to_string(target.RecIndex), index_defs_[i].Name}));
      }
      old_positions[ii] = old_pos;
      keys[ii] = KeyOfNewRecord(record, buffers, target.DataOffset, i);
      list.erase(static_cast<size_t>(old_pos));
      gaps[ii] = FindGap(keys[ii], list, i);
      list.insert(static_cast<size_t>(old_pos), target);
      if (!verify) continue;
      // On disk the record's predecessor is the one before it in the list,
      // and without it the gap is a gap.
      const int32_t pred = old_pos > 0 ? list[static_cast<size_t>(old_pos) - 1].RecIndex : -1;
      in_step = (pred < 0 || LiveOnDisk(pred)) && NextOnDisk(i, pred, -1, nullptr) == target.RecIndex &&
                GapOnDisk(i, keys[ii], gaps[ii], target.RecIndex);
    }
    if (in_step) break;
    ReloadForOtherWriter();
  }
  for (int32_t i = 0; i < index_count; ++i)
    if (old_positions[static_cast<size_t>(i)] >= 0) CheckUnique(keys[static_cast<size_t>(i)], i, gaps[static_cast<size_t>(i)]);

  // From here on the file changes: a failure puts back what was written
  // (the old bytes of a blob area rewritten in place too), and the dataset
  // hears of the moves once everything is written.
  TChangeHold change(*this, true);
  TDeferredModifies deferred;
  bool wrote_before_record = false;
  for (int32_t f = 0; f < field_defs_.Count(); ++f) {
    const TFieldBufferItem& item = buffers.Item(f);
    if (!item.Active || !item.Stream || !IsBlobFieldType(field_defs_[f].FieldType)) continue;
    // A blob the caller left as it read it stays where it is, unwritten: its
    // copy may be stale, or not loaded at all.
    if (BlobUnchanged(item, target.DataOffset, f)) continue;
    uint8_t* dst = record.data() + field_offsets_[static_cast<size_t>(f)];
    TBlobDescriptor old = ReadBlobDescriptor(std::span<const uint8_t>(dst, kBlobDescriptorSize));
    WriteBlobDescriptor(RewriteBlob(BlobValueOf(item), f, old), std::span<uint8_t>(dst, kBlobDescriptorSize));
    wrote_before_record = true;
  }
  if (new_counter != header_.AutoIncCounter) {
    file_.WriteAutoIncCounter(table_no_, new_counter);
    header_.AutoIncCounter = new_counter;
    wrote_before_record = true;
  }
  // The blob areas are on the disk before the descriptors that lead to them.
  if (flush && wrote_before_record) file_.Flush();
  file_.WriteData(target.DataOffset, record);
  // The kept keys of the record are the old ones now (also when only letter
  // case changed, or a failure puts the old bytes back: it is read anew).
  ForgetKeys(target.RecIndex);
  std::vector<int32_t> among_others(static_cast<size_t>(index_count), -1);
  for (int32_t i = 0; i < index_count; ++i) among_others[static_cast<size_t>(i)] = gaps[static_cast<size_t>(i)].pos;
  MoveInIndexes(target, old_positions, among_others, &deferred);
  if (flush) file_.Flush();
  change.Commit();
  if (callback)
    for (const auto& m : deferred.moves) callback->IndexAdjustModify(m[0], m[1], m[2]);
  ++change_count_;  // the lists now hold this change
}

void TDadaTableIO::MoveInIndexes(const TListItem& target, const std::vector<int32_t>& old_positions,
                                 const std::vector<int32_t>& among_others_of, TIndexAdjustCallback* callback) {
  for (int32_t i = 0; i < index_defs_.Count(); ++i) {
    TRecordList& list = *lists_[static_cast<size_t>(i) + 1];
    const int32_t old_pos = old_positions[static_cast<size_t>(i)];
    if (old_pos < 0) continue;  // the key stayed equal: the record keeps its place
    const int32_t among_others = among_others_of[static_cast<size_t>(i)];
    if (among_others == old_pos) continue;
    const int32_t new_pos = among_others > old_pos ? among_others + 1 : among_others;
    if (callback) callback->IndexAdjustModify(i, old_pos, new_pos);

    // Out of the chain: the predecessor in the list takes over the record's Next.
    TIndexTabItem self = ReadChainEntry(i, target.RecIndex);
    if (old_pos == 0) {
      SetStartIndex(i, self.Next);
    } else {
      TIndexTabItem pred = ReadChainEntry(i, list[static_cast<size_t>(old_pos) - 1].RecIndex);
      pred.Next = self.Next;
      WriteChainEntry(i, pred);
    }
    // Into the chain behind its new predecessor (the entry before it among the others).
    self.RecIndex = target.RecIndex;
    if (among_others == 0) {
      self.Next = header_.IndexHeaders[static_cast<size_t>(i)].StartIndex;
      WriteChainEntry(i, self);
      SetStartIndex(i, target.RecIndex);
    } else {
      int32_t q = among_others - 1 < old_pos ? among_others - 1 : among_others;
      TIndexTabItem pred = ReadChainEntry(i, list[static_cast<size_t>(q)].RecIndex);
      self.Next = pred.Next;
      WriteChainEntry(i, self);
      pred.Next = target.RecIndex;
      WriteChainEntry(i, pred);
    }
    list.move(static_cast<size_t>(old_pos), static_cast<size_t>(among_others));
  }
}

// ---- delete --------------------------------------------------------------------------------------

void TDadaTableIO::DeleteRecord(int32_t record_pos, bool flush) {
  RequireOpen();
  TListItem target = lists_[0]->at(static_cast<size_t>(CheckedRecordPos(record_pos)));
  BatchLock();
  TLockHold lock(file_);
  SyncWithFile();
  if (FindInList0(target.RecIndex) >= 0 && !LiveOnDisk(target.RecIndex)) ReloadForOtherWriter();
  if (FindInList0(target.RecIndex) < 0)
    DatabaseError(Format("Record %s of table '%s' was deleted by another user",
                         {std::to_string(target.RecIndex), table_name_}));
  EnsureAllLists();
  std::vector<int32_t> positions(static_cast<size_t>(index_defs_.Count()));
  for (int32_t i = 0; i < index_defs_.Count(); ++i) positions[static_cast<size_t>(i)] = FindInIndexList(i, target);
  size_t block = static_cast<size_t>(target.RecIndex) / kTabItemsPerBlock;
  assert(block < rec_blocks_.size());
  TChangeHold change(*this, false);
  file_.MarkDeleted(rec_blocks_[block], target.RecIndex % kTabItemsPerBlock);
  if (flush) file_.Flush();
  change.Commit();
  rec_tab_[static_cast<size_t>(target.RecIndex)].Deleted = true;
  ForgetKeys(target.RecIndex);
  for (int32_t i = 0; i < index_defs_.Count(); ++i)
    if (positions[static_cast<size_t>(i)] >= 0)
      lists_[static_cast<size_t>(i) + 1]->erase(static_cast<size_t>(positions[static_cast<size_t>(i)]));
  lists_[0]->erase(static_cast<size_t>(FindInList0(target.RecIndex)));
  ++change_count_;  // the lists now hold this change
}

}  // namespace tdb
