// The changes: appending, rewriting and deleting a record, and the values
// as they are stored (strings cut to their field size, slots encoded).
//
// Invariants: a change runs under one hold of the file lock, after
// SyncWithFile, and makes its checks (table_io_checks.cpp) before its first
// write; from its first write it runs inside a TChangeHold, which puts back
// what the change wrote and the table's memory unless the change committed.
// The order of writes is the one table_io.h describes, so a change cut short
// leaves the file as before it (or with the record missing from some chains).
// Memory (record table, lists, kept keys) follows the file only after the
// change has committed, and the dataset hears of it then.
#include "engine/storage/table_io.h"

#include <array>
#include <cassert>
#include <cstring>
#include <limits>
#include <utility>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/storage/blob_stream.h"
#include "engine/storage/table_key.h"

namespace tdb {

namespace {

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

// A change inside a batch, from its BatchLock to its end (whether it
// succeeded or raised): a full stretch ends there, so that what the caller
// reads before the next change is under that change's hold of the lock.
// Ending the stretch may fail (the flush, or taking the lock again); the
// next change, or the batch's end, then tries again and raises.
struct TDadaTableIO::TBatchStep {
  explicit TBatchStep(TDadaTableIO& table) : table_(table) {}
  ~TBatchStep() {
    if (!table_.batch_.Active()) return;
    try {
      table_.EndStretchIfFull();
    } catch (...) {
    }
  }
  TBatchStep(const TBatchStep&) = delete;
  TBatchStep& operator=(const TBatchStep&) = delete;
  TDadaTableIO& table_;
};

void TDadaTableIO::BeginBatch(int32_t changes_per_lock) {
  RequireOpen();
  assert(!batch_.Active() && "change batches do not nest");
  batch_.Begin(changes_per_lock);
  batch_flush_due_ = false;
  // Held from the start: a look at a record before the first change is
  // under the same hold as that change.
  try {
    batch_.Hold(file_);
  } catch (...) {
    batch_.End(file_);
    throw;
  }
}

void TDadaTableIO::BatchLock(bool appending) {
  if (!batch_.Active()) return;
  RaiseLostStretch();
  EndStretchIfFull();
  RaiseLostStretch();
  // Only appends are held: any other change goes behind them on the file.
  if (!appending) WriteOutStretch();
  batch_.Take(file_);
}

void TDadaTableIO::WriteOutStretch() {
  try {
    file_.WriteBackOut();
  } catch (...) {
    // What the lists hold of the stretch is not the file's: load it again.
    ReloadAfterFailedChange();
    throw;
  }
}

void TDadaTableIO::RaiseLostStretch() {
  if (!lost_stretch_) return;
  std::exception_ptr error = std::exchange(lost_stretch_, nullptr);
  std::rethrow_exception(error);
}

void TDadaTableIO::EndStretchIfFull() {
  if (!batch_.Full()) return;
  try {
    WriteOutStretch();
  } catch (...) {
    // Told by the next change or the batch's end (this runs where nothing
    // can be raised).
    lost_stretch_ = std::current_exception();
  }
  if (batch_flush_due_ && !file_.Flushed()) file_.Flush();
  batch_flush_due_ = false;
  batch_.Restart(file_);
}

void TDadaTableIO::FlushChange(bool flush) {
  if (!flush) return;
  if (batch_.Active()) batch_flush_due_ = true;
  else file_.Flush();
}

void TDadaTableIO::FinishBatch() {
  if (!batch_.Active()) return;
  try {
    RaiseLostStretch();
    if (file_.IsOpen()) WriteOutStretch();
    if (batch_flush_due_ && file_.IsOpen() && !file_.Flushed()) file_.Flush();
  } catch (...) {
    batch_flush_due_ = false;
    lost_stretch_ = nullptr;
    batch_.End(file_);
    throw;
  }
  batch_flush_due_ = false;
  batch_.End(file_);
}

void TDadaTableIO::EndBatch() noexcept {
  try {
    FinishBatch();
  } catch (...) {
  }
}

void TDadaTableIO::AppendRecord(TFieldBuffers& buffers, bool flush, TIndexAdjustCallback* callback,
                                TNewNumber* number) {
  RequireOpen();
  CheckBuffers(buffers);
  // A number settled here goes back into the buffer as it was when the
  // append fails: the next attempt settles it again.
  struct TNumberGiven {
    uint8_t* slot = nullptr;
    int32_t was = 0;
    bool kept = false;
    ~TNumberGiven() {
      if (slot && !kept) PutInt32LE(slot, was);
    }
  } number_given;
  if (number) {
    const int32_t f = number->FieldNo;
    const bool usable = f >= 0 && f < field_defs_.Count() && field_defs_[f].FieldType == ftInteger &&
                        buffers.Item(f).Active && buffers.Item(f).Buffer && buffers.Item(f).DataSize >= 4;
    if (!usable) DatabaseError(Format("Table '%s' has no integer field number %s", {table_name_, std::to_string(f)}));
  }
  BatchLock(true);
  TBatchStep step(*this);
  TLockHold lock(file_);
  SyncWithFile();
  EnsureAllLists();
  // The checks see the strings as they will be stored.
  CutStrings(buffers);

  if (number) {
    // Settled under this hold of the lock, so no other writer can store the
    // same number before this record is stored.
    auto* slot = static_cast<uint8_t*>(buffers.Item(number->FieldNo).Buffer);
    const int32_t value = GetInt32LE(slot);
    number->Stored = value;
    if (value == number->Offered) {
      const int32_t highest = HighestStored(number->FieldNo);
      if (value <= highest) {
        if (highest == std::numeric_limits<int32_t>::max())
          DatabaseError(ekOutOfRange, Format("The numbers of table '%s' are exhausted", {table_name_}),
                        TableParams(file_.FileName(), table_name_));
        number_given.slot = slot;
        number_given.was = value;
        PutInt32LE(slot, highest + 1);
        number->Stored = highest + 1;
      }
    }
  }

  int32_t counter = header_.AutoIncCounter;
  int32_t auto_inc_value = 0;
  bool auto_inc_given = false;  // the value was handed out here and written into the buffer
  if (auto_inc_field_no_ >= 0) {
    TFieldBufferItem& item = buffers.Item(auto_inc_field_no_);
    bool has_value = item.Active && item.Buffer && item.DataSize >= 4;
    int32_t value = has_value ? GetInt32LE(static_cast<uint8_t*>(item.Buffer)) : 0;
    if (value == 0) {
      if (counter == std::numeric_limits<int32_t>::max())
        DatabaseError(ekOutOfRange, Format("The auto-increment counter of table '%s' is exhausted", {table_name_}),
                      TableParams(file_.FileName(), table_name_));
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
  if (n == std::numeric_limits<int32_t>::max())
    DatabaseError(ekOutOfRange, Format("Table '%s' is full", {table_name_}),
                  TableParams(file_.FileName(), table_name_));
  if (n > 0 && (rec_blocks_.size() != static_cast<size_t>((n - 1) / kTabItemsPerBlock) + 1))
    DatabaseError(ekDamaged,
                  Format("Database file '%s' is damaged: record table of %s", {file_.FileName(), table_name_}),
                  TableParams(file_.FileName(), table_name_));
  for (int32_t i = 0; i < index_count; ++i)
    if (n > 0 && index_blocks_[static_cast<size_t>(i)].size() != static_cast<size_t>((n - 1) / kTabItemsPerBlock) + 1)
      DatabaseError(ekDamaged,
                    Format("Database file '%s' is damaged: index table of %s", {file_.FileName(), index_defs_[i].Name}),
                    TableParams(file_.FileName(), table_name_));
  try {
    for (int32_t i = 0; i < index_count; ++i) CheckUnique(keys[static_cast<size_t>(i)], i, gaps[static_cast<size_t>(i)]);
  } catch (const EDatabaseError&) {
    if (auto_inc_given) PutInt32LE(static_cast<uint8_t*>(buffers.Item(auto_inc_field_no_).Buffer), 0);
    throw;
  }

  // Inside a batch the writes are held, each in the phase of the order of
  // writes it belongs to, and reach the file with the stretch's.
  const bool held = batch_.Active();
  if (held) file_.BeginWriteBack();
  struct TPhase {
    TRadiVOFileIO& file;
    bool held;
    void Set(int phase) {
      if (held) file.SetWritePhase(phase);
    }
    ~TPhase() { file.SetWritePhase(TRadiVOFileIO::kWriteDirect); }
  } phase{file_, held};
  phase.Set(TWriteBack::kUnreachable);
  TChangeHold change(*this, false);
  // 1. New blocks and the record itself, none of it reachable yet: a record
  //    table block when one is full, the entry in its slot, the fixed part and
  //    its blob areas, then the index table blocks with the record's entries.
  const int32_t slot = n % kTabItemsPerBlock;
  const bool new_blocks = slot == 0;
  int32_t rec_block = new_blocks ? file_.AppendZeros(kRecordTabBlockSize) : rec_blocks_.back();
  const int64_t data_pos = file_.FileSize();
  if (data_pos > std::numeric_limits<int32_t>::max() - static_cast<int64_t>(record_size_))
    DatabaseError(ekFileTooLarge, Format("Database file '%s' cannot grow beyond 2 GB", {file_.FileName()}),
                  TableParams(file_.FileName(), table_name_));
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
    phase.Set(TWriteBack::kCounters);
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
  phase.Set(TWriteBack::kCounters);
  header_.RecordTotal = n + 1;
  header_.AutoIncCounter = counter;
  file_.WriteTableCounters(table_no_, header_, auto_inc_field_no_ >= 0 ? 3 : 2);

  // 4. The links: new chain heads, and the predecessors' links.
  phase.Set(TWriteBack::kLinks);
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
  FlushChange(flush);
  change.Commit();
  number_given.kept = true;

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
                                bool flush, const TRecordImage* based_on) {
  RequireOpen();
  CheckBuffers(buffers);
  TListItem target = lists_[0]->at(static_cast<size_t>(CheckedRecordPos(record_pos)));
  if (based_on && based_on->RecIndex != target.RecIndex)
    DatabaseError(Format("The edit of record %s of table '%s' is based on record %s",
                         {std::to_string(target.RecIndex), table_name_, std::to_string(based_on->RecIndex)}));
  BatchLock();
  TBatchStep step(*this);
  TLockHold lock(file_);
  // The record as the edit began is the only one it may overwrite: another
  // writer's rewrite (which shows nowhere but in the record) or deletion in
  // between ends it here, before anything is written.
  std::vector<uint8_t> before(static_cast<size_t>(record_size_));
  bool before_read = false;
  if (based_on) {
    if (!LiveOnDisk(target.RecIndex)) RaiseDeletedByOther(target.RecIndex);
    file_.ReadForRewrite(target.DataOffset, before);
    if (before != based_on->Fixed || (has_blobs_ && StoredBlobs(target.DataOffset) != based_on->Blobs))
      RaiseChangedByOther(target.RecIndex);
    before_read = true;
  }
  SyncWithFile();
  // Only the lists of the indexes whose key changes are needed (built below);
  // a list not built yet is built later from the file, this change included.
  CutStrings(buffers);

  const int32_t index_count = index_defs_.Count();
  std::vector<uint8_t> record;
  int32_t new_counter = 0;
  std::vector<int32_t> old_positions;
  std::vector<TKey> keys;
  std::vector<TGap> gaps;
  for (bool verify = true;; verify = false) {
    if (FindInList0(target.RecIndex) < 0) RaiseDeletedByOther(target.RecIndex);
    // An edit's check above found the record live under this same hold of
    // the lock.
    if (verify && !based_on && !LiveOnDisk(target.RecIndex)) {
      ReloadForOtherWriter();
      continue;
    }
    // The new fixed part is built in memory first; blob values and the
    // auto-increment counter reach the file only once every check has passed.
    // (The record's bytes do not change while this object holds the lock.)
    if (!before_read) ReadOldSlots(buffers, target.DataOffset, before);
    before_read = true;
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
      EnsureList(i + 1);
      TRecordList& list = *lists_[ii + 1];
      const int32_t old_pos = FindInIndexList(i, target);
      if (old_pos < 0) {
        if (verify) {
          in_step = false;
          break;
        }
        DatabaseError(ekDamaged,
                      Format("Database file '%s' is damaged: record %s is missing from index %s",
                             {file_.FileName(), std::to_string(target.RecIndex), index_defs_[i].Name}),
                      TableParams(file_.FileName(), table_name_));
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
  // The kept keys of the record are the old ones now where its key bytes
  // changed (also when only letter case did, or a failure puts the old bytes
  // back: it is read anew); where they did not, what is kept is still right.
  for (int32_t i = 0; i < index_count; ++i) {
    bool same = true;
    for (int32_t f : index_defs_[i].FieldNos) {
      const size_t offset = static_cast<size_t>(field_offsets_[static_cast<size_t>(f)]);
      same = same && !IsBlobFieldType(field_defs_[f].FieldType) &&
             std::memcmp(before.data() + offset, record.data() + offset, static_cast<size_t>(SlotSize(f))) == 0;
    }
    if (!same) key_caches_[static_cast<size_t>(i)].Forget(target.RecIndex);
  }
  std::vector<int32_t> among_others(static_cast<size_t>(index_count), -1);
  for (int32_t i = 0; i < index_count; ++i) among_others[static_cast<size_t>(i)] = gaps[static_cast<size_t>(i)].pos;
  MoveInIndexes(target, old_positions, among_others, &deferred);
  FlushChange(flush);
  change.Commit();
  if (callback)
    for (const auto& m : deferred.moves) callback->IndexAdjustModify(m[0], m[1], m[2]);
  ++change_count_;  // the lists now hold this change
  just_written_.RecIndex = target.RecIndex;
  just_written_.DataOffset = target.DataOffset;
  just_written_.Change = change_count_;
  just_written_.Fixed.swap(record);
}

void TDadaTableIO::DeleteRecord(int32_t record_pos, bool flush) {
  RequireOpen();
  TListItem target = lists_[0]->at(static_cast<size_t>(CheckedRecordPos(record_pos)));
  BatchLock();
  TBatchStep step(*this);
  TLockHold lock(file_);
  SyncWithFile();
  if (FindInList0(target.RecIndex) >= 0 && !LiveOnDisk(target.RecIndex)) ReloadForOtherWriter();
  if (FindInList0(target.RecIndex) < 0) RaiseDeletedByOther(target.RecIndex);
  // A deletion leaves the chains as they are, so a list not built yet needs
  // nothing: built later, it skips the record.
  std::vector<int32_t> positions(static_cast<size_t>(index_defs_.Count()), -1);
  for (int32_t i = 0; i < index_defs_.Count(); ++i)
    if (built_[static_cast<size_t>(i) + 1]) positions[static_cast<size_t>(i)] = FindInIndexList(i, target);
  size_t block = static_cast<size_t>(target.RecIndex) / kTabItemsPerBlock;
  assert(block < rec_blocks_.size());
  TChangeHold change(*this, false);
  file_.MarkDeleted(rec_blocks_[block], target.RecIndex % kTabItemsPerBlock);
  FlushChange(flush);
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
