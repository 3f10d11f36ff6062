// The table storage: opening and loading a table, its lists, reading records
// and field values, and the key searches.  Changes are in table_io_write.cpp.
#include "engine/storage/table_io.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <optional>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/compare/collation.h"
#include "engine/storage/blob_stream.h"
#include "engine/storage/table_key.h"

namespace tdb {

TDadaTableIO::TDadaTableIO(TRadiVOFileIO& file, std::string table_name)
    : file_(file), table_name_(std::move(table_name)) {}

void TDadaTableIO::RequireOpen() const {
  if (open_count_ <= 0) DatabaseError(Format("Table '%s' is not open", {table_name_}));
}

// ---- opening ------------------------------------------------------------------------

void TDadaTableIO::OpenTable(TListLoading loading) {
  if (open_count_ == 0) {
    TLockHold lock(file_);
    try {
      LoadTable(loading);
    } catch (...) {
      DropTable();
      throw;
    }
  } else if (loading == TListLoading::kAllLists) {
    EnsureAllLists();
  }
  ++open_count_;
}

void TDadaTableIO::CloseTable() {
  if (open_count_ == 0) return;
  if (--open_count_ == 0) DropTable();
}

void TDadaTableIO::DropTable() {
  table_no_ = -1;
  field_defs_.Clear();
  index_defs_.Clear();
  field_offsets_.clear();
  slot_sizes_.clear();
  record_size_ = 0;
  max_slot_size_ = 0;
  auto_inc_field_no_ = -1;
  has_blobs_ = false;
  header_ = TTableHeader{};
  rec_tab_.clear();
  rec_blocks_.clear();
  index_blocks_.clear();
  lists_.clear();
  built_.clear();
  key_caches_.clear();
  key_fields_.clear();
}

void TDadaTableIO::LoadTable(TListLoading loading) {
  std::vector<std::string> names = file_.GetTableNames();
  table_no_ = -1;
  for (size_t i = 0; i < names.size(); ++i)
    if (SameTextIgnoringCase(names[i], table_name_)) {
      table_no_ = static_cast<int32_t>(i);
      break;
    }
  if (table_no_ < 0) DatabaseError(Format("Table '%s' not found", {table_name_}));
  header_ = file_.ReadTableHeader(table_no_);  // checks types, counts and key field numbers

  for (int32_t f = 0; f < header_.FieldCount; ++f) {
    const TFieldTabItem& item = header_.FieldTab[static_cast<size_t>(f)];
    field_defs_.Add(TDadaFieldDef{item.FieldName, static_cast<TFieldType>(item.FieldType), item.FieldSize,
                                  item.ProcessMode});
  }
  for (int32_t i = 0; i < header_.IndexCount; ++i) {
    const TIndexHeader& index = header_.IndexHeaders[static_cast<size_t>(i)];
    TDadaIndexDef def{index.IndexName, index.IndexOptions, {}};
    for (int32_t k = 0; k < IndexKeyLength(index); ++k) def.FieldNos.push_back(index.IndexFields[static_cast<size_t>(k)]);
    index_defs_.Add(std::move(def));
  }
  // The file object has checked that the record size fits in 32 bits.
  int32_t offset = 0;
  for (const TDadaFieldDef& def : field_defs_) {
    int32_t size = FieldSlotSize(def.FieldType, def.FieldSize);
    field_offsets_.push_back(offset);
    slot_sizes_.push_back(size);
    offset += size;
    max_slot_size_ = std::max(max_slot_size_, size);
    if (def.FieldType == ftAutoInc && auto_inc_field_no_ < 0) auto_inc_field_no_ = static_cast<int32_t>(slot_sizes_.size()) - 1;
    if (IsBlobFieldType(def.FieldType)) has_blobs_ = true;
  }
  record_size_ = offset;
  scratch_raw_.assign(static_cast<size_t>(max_slot_size_) + 1, 0);
  scratch_value_.assign(static_cast<size_t>(max_slot_size_) + 1, 0);
  built_.assign(static_cast<size_t>(header_.IndexCount) + 1, loading == TListLoading::kAllLists);
  built_[0] = true;
  key_fields_.assign(static_cast<size_t>(header_.FieldCount), false);
  for (int32_t i = 0; i < header_.IndexCount; ++i)
    for (int32_t f : index_defs_[i].FieldNos)
      if (f >= 0 && f < header_.FieldCount) key_fields_[static_cast<size_t>(f)] = true;
  // Keys of blob fields are not kept: their values have no fixed size.
  key_caches_.assign(static_cast<size_t>(header_.IndexCount), TKeyCache{});
  for (int32_t i = 0; i < header_.IndexCount; ++i) {
    size_t key_size = 0;
    for (int32_t f : index_defs_[i].FieldNos) {
      if (IsBlobFieldType(field_defs_[f].FieldType)) {
        key_size = 0;
        break;
      }
      key_size += static_cast<size_t>(SlotSize(f));
    }
    key_caches_[static_cast<size_t>(i)].Configure(key_size, kKeyCacheBudget);
  }
  LoadRecordsAndLists();
}

void TDadaTableIO::LoadRecordsAndLists() {
  ++change_count_;
  // What is kept of stored keys is the file's as it was: read anew.
  ClearKeyCaches();
  // Until the load has finished the lists are not the file's.
  in_step_ = false;
  rec_tab_ = file_.ReadRecordTable(header_, rec_blocks_);
  index_blocks_.assign(static_cast<size_t>(header_.IndexCount), {});
  // The list objects stay the same across reloads, so references to them
  // (and the identity checks of ListPosToListPos) stay good.
  lists_.resize(static_cast<size_t>(header_.IndexCount) + 1);
  for (auto& list : lists_) {
    if (!list) list = std::make_unique<TRecordList>();
    list->clear();
  }
  for (size_t n = 0; n < rec_tab_.size(); ++n)
    if (!rec_tab_[n].Deleted) lists_[0]->push_back(TListItem{rec_tab_[n].DataOffset, static_cast<int32_t>(n)});
  for (int32_t i = 0; i < header_.IndexCount; ++i)
    if (built_[static_cast<size_t>(i) + 1]) BuildIndexList(i, *lists_[static_cast<size_t>(i) + 1]);
  in_step_ = true;
}

void TDadaTableIO::EnsureList(int32_t list_no) {
  if (built_[static_cast<size_t>(list_no)]) return;
  // Built from the file as it is now, so first the lists already built are
  // brought up to date with it: all of them then describe the same file.
  TLockHold lock(file_);
  SyncWithFile();
  if (built_[static_cast<size_t>(list_no)]) return;
  TRecordList& list = *lists_[static_cast<size_t>(list_no)];
  try {
    BuildIndexList(list_no - 1, list);
  } catch (...) {
    list.clear();
    index_blocks_[static_cast<size_t>(list_no) - 1].clear();
    throw;
  }
  built_[static_cast<size_t>(list_no)] = true;
}

void TDadaTableIO::EnsureAllLists() {
  for (int32_t k = 1; k < static_cast<int32_t>(lists_.size()); ++k) EnsureList(k);
}

void TDadaTableIO::BuildIndexList(int32_t index_no, TRecordList& list) {
  const TIndexHeader& index = header_.IndexHeaders[static_cast<size_t>(index_no)];
  std::vector<TIndexTabItem> items = file_.ReadIndexTable(index, header_.RecordTotal, index_blocks_[static_cast<size_t>(index_no)]);
  if (items.empty()) return;
  // A chain that meets a record twice loops; following it would list records
  // over and over, so it is damage.
  std::vector<bool> seen(items.size(), false);
  int32_t n = index.StartIndex;
  for (int32_t links = 0; n != -1 && links < header_.RecordTotal; ++links) {
    if (n < 0 || n >= header_.RecordTotal || seen[static_cast<size_t>(n)])
      DatabaseError(Format("Database file '%s' is damaged: the chain of index %s loops at record %s",
                           {file_.FileName(), index.IndexName, std::to_string(n)}));
    seen[static_cast<size_t>(n)] = true;
    const TRecordTabItem& rec = rec_tab_[static_cast<size_t>(n)];
    if (!rec.Deleted) list.push_back(TListItem{rec.DataOffset, n});
    n = items[static_cast<size_t>(n)].Next;
  }
}

bool TDadaTableIO::SyncWithFile() {
  assert(file_.Locked() || file_.MediumType() == mtMemory);
  int64_t pos = file_.TableTab().TableHeaderOffset[static_cast<size_t>(table_no_)];
  uint8_t counters[12];
  file_.ReadData(pos + kRecTabOffsetOfs, counters);
  bool same = GetInt32LE(counters) == header_.RecTabOffset && GetInt32LE(counters + 4) == header_.RecordTotal &&
              GetInt32LE(counters + 8) == header_.AutoIncCounter;
  if (same && header_.IndexCount > 0) {
    std::vector<uint8_t> indexes(static_cast<size_t>(header_.IndexCount) * kIndexHeaderSize);
    file_.ReadData(pos + 4181, indexes);
    for (int32_t i = 0; i < header_.IndexCount && same; ++i) {
      TIndexHeader disk = ReadIndexHeader(std::span<const uint8_t>(indexes).subspan(static_cast<size_t>(i) * kIndexHeaderSize));
      const TIndexHeader& mine = header_.IndexHeaders[static_cast<size_t>(i)];
      same = disk.IndexTabOffset == mine.IndexTabOffset && disk.StartIndex == mine.StartIndex;
    }
  }
  if (same && in_step_) return false;
  ReloadForOtherWriter();
  return true;
}

void TDadaTableIO::ReloadForOtherWriter() {
  assert(file_.Locked() || file_.MediumType() == mtMemory);
  ++external_change_count_;
  in_step_ = false;
  TTableHeader fresh = file_.ReadTableHeader(table_no_);
  if (fresh.FieldCount != header_.FieldCount || fresh.IndexCount != header_.IndexCount)
    DatabaseError(Format("Database file '%s' is damaged: the definition of table %s changed",
                         {file_.FileName(), table_name_}));
  header_ = std::move(fresh);
  LoadRecordsAndLists();
}

// ---- what a change relies on ------------------------------------------------------------

bool TDadaTableIO::LiveOnDisk(int32_t rec_index) const {
  size_t block = static_cast<size_t>(rec_index) / kTabItemsPerBlock;
  if (rec_index < 0 || rec_index >= header_.RecordTotal || block >= rec_blocks_.size()) return false;
  return !const_cast<TRadiVOFileIO&>(file_).ReadRecordTabItem(rec_blocks_[block], rec_index % kTabItemsPerBlock).Deleted;
}

int32_t TDadaTableIO::NextOnDisk(int32_t index_no, int32_t from, int32_t skip, TIndexTabItem* from_entry) const {
  const int32_t total = header_.RecordTotal;
  if (total == 0 || header_.IndexHeaders[static_cast<size_t>(index_no)].IndexTabOffset == 0) return -1;
  int32_t n = header_.IndexHeaders[static_cast<size_t>(index_no)].StartIndex;
  if (from >= 0) {
    TIndexTabItem entry = ReadChainEntry(index_no, from);
    if (from_entry) *from_entry = entry;
    n = entry.Next;
  }
  for (int32_t links = 0; links <= total; ++links) {
    if (n == -1) return -1;
    if (n < 0 || n >= total || static_cast<size_t>(n) >= rec_tab_.size()) return kBrokenChain;
    // A record deleted as far as this object knows is deleted on disk too:
    // nothing takes a deletion back.  One it holds live may not be, and is
    // then taken for a change it has not seen.
    if (n != skip && !rec_tab_[static_cast<size_t>(n)].Deleted) return n;
    n = ReadChainEntry(index_no, n).Next;
  }
  return kBrokenChain;
}

bool TDadaTableIO::GapOnDisk(int32_t index_no, const TKey& key, TGap& gap, int32_t skip) const {
  // `before` must be live: a deleted record may have been cut out of the
  // chain by another process's relinking, its own link left behind.  What
  // is reached from a live record is in the chain, in key order, deleted or
  // not; but in a unique index a deleted `after` must not count as an equal
  // key, nor hide one.
  if (gap.before.RecIndex >= 0 && !LiveOnDisk(gap.before.RecIndex)) return false;
  const TDadaIndexDef& index = index_defs_[index_no];
  if ((index.Has(tiPrimary) || index.Has(tiUnique)) && gap.after.RecIndex >= 0 && !LiveOnDisk(gap.after.RecIndex))
    return false;
  if (NextOnDisk(index_no, gap.before.RecIndex, skip, &gap.before_entry) != gap.after.RecIndex) return false;
  gap.before_entry_read = gap.before.RecIndex >= 0;
  if (gap.before.RecIndex >= 0 && gap.before_cmp == TGap::kNotCompared)
    gap.before_cmp = CompareWithEntry(key, gap.before, index_no, false);
  if (gap.after.RecIndex >= 0 && gap.after_cmp == TGap::kNotCompared)
    gap.after_cmp = CompareWithEntry(key, gap.after, index_no, false);
  return (gap.before.RecIndex < 0 || gap.before_cmp >= 0) && (gap.after.RecIndex < 0 || gap.after_cmp <= 0);
}

// ---- definitions and lists ------------------------------------------------------------

int32_t TDadaTableIO::PrimaryIndexNo() const {
  for (int32_t i = 0; i < index_defs_.Count(); ++i)
    if (index_defs_[i].Has(tiPrimary)) return i;
  return -1;
}

bool TDadaTableIO::FieldEncrypted(int32_t field_no) const {
  return file_.DataProcessBlock().Encrypted && field_defs_[field_no].ProcessMode == 0;
}

bool TDadaTableIO::FieldCompressed(int32_t field_no) const {
  return file_.DataProcessBlock().Compressed && IsBlobFieldType(field_defs_[field_no].FieldType) &&
         field_defs_[field_no].ProcessMode == 0;
}

const TRecordList& TDadaTableIO::IndexLists(int32_t list_no) const {
  RequireOpen();
  if (list_no < 0 || list_no >= static_cast<int32_t>(lists_.size()))
    DatabaseError(Format("Table '%s' has no list %s", {table_name_, std::to_string(list_no)}));
  // Building a list on first use changes no answer: it is what the open
  // would have built, brought up to date as LoadIndexList does.
  const_cast<TDadaTableIO*>(this)->EnsureList(list_no);
  return *lists_[static_cast<size_t>(list_no)];
}

void TDadaTableIO::LoadIndexList(int32_t list_no, bool reload) {
  RequireOpen();
  if (list_no < 0 || list_no >= static_cast<int32_t>(lists_.size()))
    DatabaseError(Format("Table '%s' has no list %s", {table_name_, std::to_string(list_no)}));
  if (reload) {
    TLockHold lock(file_);
    SyncWithFile();
  }
  EnsureList(list_no);
}

int32_t TDadaTableIO::FindInList0(int32_t rec_index) const {
  const TRecordList& list = *lists_[0];
  size_t lo = 0, hi = list.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (list[mid].RecIndex < rec_index) lo = mid + 1;
    else hi = mid;
  }
  return lo < list.size() && list[lo].RecIndex == rec_index ? static_cast<int32_t>(lo) : -1;
}

int32_t TDadaTableIO::FindInIndexList(int32_t index_no, const TListItem& item) const {
  const TRecordList& list = *lists_[static_cast<size_t>(index_no) + 1];
  // The record's own key leads to the run of equal keys that holds it; only
  // that run is scanned, in memory.
  TKey key = StoredKey(item.DataOffset, index_no);
  TSearchResult first = SearchBound(key, list, index_no, false, true);
  if (first.Side == kSearchEqual) {
    // A key that no other record has: the run is this one entry.
    if (list[static_cast<size_t>(first.Position)].RecIndex == item.RecIndex) return first.Position;
    TSearchResult last = SearchBound(key, list, index_no, false, false);
    for (int32_t p = first.Position; p <= last.Position; ++p)
      if (list[static_cast<size_t>(p)].RecIndex == item.RecIndex) return p;
  }
  // Not where its key says (a list ordered by another collation, or damage):
  // the whole list is the last resort.
  for (size_t p = 0; p < list.size(); ++p)
    if (list[p].RecIndex == item.RecIndex) return static_cast<int32_t>(p);
  return -1;
}

int32_t TDadaTableIO::RecordPosOfIndexPos(const TRecordList& list, int32_t pos) const {
  RequireOpen();
  if (pos < 0 || static_cast<size_t>(pos) >= list.size()) return -1;
  return FindInList0(list[static_cast<size_t>(pos)].RecIndex);
}

int32_t TDadaTableIO::ListPosToListPos(int32_t index_no, int32_t pos, const TRecordList& target) const {
  const TRecordList& source = IndexLists(index_no + 1);
  if (&source == &target) return pos >= 0 && static_cast<size_t>(pos) < source.size() ? pos : -1;
  if (pos < 0 || static_cast<size_t>(pos) >= source.size()) return -1;
  const TListItem& item = source[static_cast<size_t>(pos)];
  if (&target == lists_[0].get()) return FindInList0(item.RecIndex);
  for (size_t k = 1; k < lists_.size(); ++k)
    if (&target == lists_[k].get()) return FindInIndexList(static_cast<int32_t>(k) - 1, item);
  for (size_t p = 0; p < target.size(); ++p)
    if (target[p].RecIndex == item.RecIndex) return static_cast<int32_t>(p);
  return -1;
}

// ---- reading --------------------------------------------------------------------------

void TDadaTableIO::ReadSlot(int32_t data_offset, int32_t field_no, uint8_t* value) const {
  int32_t size = SlotSize(field_no);
  int64_t pos = static_cast<int64_t>(data_offset) + field_offsets_[static_cast<size_t>(field_no)];
  if (FieldEncrypted(field_no)) {
    file_.ReadData(pos, std::span<uint8_t>(scratch_raw_.data(), static_cast<size_t>(size)));
    const_cast<TRadiVOFileIO&>(file_).DecodeBuffer(scratch_raw_.data(), value, true, static_cast<size_t>(size));
  } else {
    file_.ReadData(pos, std::span<uint8_t>(value, static_cast<size_t>(size)));
  }
}

void TDadaTableIO::CheckBuffers(const TFieldBuffers& buffers) const {
  if (buffers.Count() != field_defs_.Count())
    DatabaseError(Format("Table '%s' has %s fields, the record buffers %s",
                         {table_name_, std::to_string(field_defs_.Count()), std::to_string(buffers.Count())}));
  for (int32_t f = 0; f < buffers.Count(); ++f)
    if (buffers.Item(f).DataSize < 0) DatabaseError(Format("Invalid data size of field %s", {field_defs_[f].Name}));
}

void TDadaTableIO::LockForRead(std::optional<TLockHold>& lock) {
  if (!read_run_) {
    lock.emplace(file_);
  } else if (!file_.Locked() || (run_holds_lock_ && run_reads_ >= kReadsPerLock)) {
    // Give others their turn between stretches of reads.  A lock held by a
    // change batch serves the reads between its changes as it is.
    if (run_holds_lock_ && file_.Locked()) file_.Unlock();
    run_holds_lock_ = false;
    file_.Lock();
    run_holds_lock_ = true;
    run_reads_ = 0;
  }
  ++run_reads_;
}

void TDadaTableIO::StoreSlotValue(const uint8_t* slot, size_t size, bool encrypted, bool is_string, uint8_t* dst,
                                  int32_t data_size) {
  const uint8_t* value = slot;
  if (encrypted) {
    file_.DecodeBuffer(slot, scratch_value_.data(), true, size);
    value = scratch_value_.data();
  }
  size_t n = std::min(size, static_cast<size_t>(data_size));
  std::memmove(dst, value, n);
  if (n < static_cast<size_t>(data_size)) std::memset(dst + n, 0, static_cast<size_t>(data_size) - n);
  // A string slot without its NUL is read only up to the slot's end.
  if (is_string && !std::memchr(dst, 0, static_cast<size_t>(data_size))) dst[data_size - 1] = 0;
}

void TDadaTableIO::ReadRecord(TFieldBuffers& buffers, const TRecordList& list, int32_t pos) {
  RequireOpen();
  CheckBuffers(buffers);
  if (pos < 0 || static_cast<size_t>(pos) >= list.size())
    DatabaseError(Format("Record position %s out of range", {std::to_string(pos)}));
  int32_t data_offset = list[static_cast<size_t>(pos)].DataOffset;
  std::optional<TLockHold> lock;
  LockForRead(lock);
  std::vector<uint8_t>& record = record_scratch_;
  record.resize(static_cast<size_t>(record_size_));
  // A few small fields (a filter's) are read slot by slot, each a copy from
  // the file's map; otherwise the fixed part in one read.  Either way the
  // whole fixed part must lie inside the file.
  size_t wanted = 0, wanted_bytes = 0;
  for (int32_t f = 0; f < buffers.Count(); ++f) {
    const TFieldBufferItem& item = buffers.Item(f);
    if (!item.Active || IsBlobFieldType(field_defs_[f].FieldType)) continue;
    ++wanted;
    wanted_bytes += static_cast<size_t>(SlotSize(f));
  }
  const bool by_slot = wanted <= kSlotReadFields && wanted_bytes <= kSlotReadBytes;
  if (by_slot) file_.CheckReadable(data_offset, record_size_);
  else file_.ReadData(data_offset, record);
  for (int32_t f = 0; f < buffers.Count(); ++f) {
    TFieldBufferItem& item = buffers.Item(f);
    if (!item.Active) continue;
    const TDadaFieldDef& def = field_defs_[f];
    uint8_t* slot = record.data() + field_offsets_[static_cast<size_t>(f)];
    if (by_slot && !IsBlobFieldType(def.FieldType))
      file_.ReadData(static_cast<int64_t>(data_offset) + field_offsets_[static_cast<size_t>(f)],
                     std::span<uint8_t>(slot, static_cast<size_t>(SlotSize(f))));
    if (IsBlobFieldType(def.FieldType)) {
      if (item.Stream)
        item.Stream->SetSource(&file_, static_cast<int64_t>(data_offset) + field_offsets_[static_cast<size_t>(f)],
                               FieldCompressed(f), FieldEncrypted(f));
      continue;
    }
    if (!item.Buffer || item.DataSize == 0) continue;
    StoreSlotValue(slot, static_cast<size_t>(SlotSize(f)), FieldEncrypted(f), IsStringFieldType(def.FieldType),
                   static_cast<uint8_t*>(item.Buffer), item.DataSize);
  }
}

TDadaTableIO::TReadPlan TDadaTableIO::PlanRead(const TFieldBuffers& buffers) const {
  RequireOpen();
  CheckBuffers(buffers);
  TReadPlan plan;
  size_t wanted_bytes = 0;
  for (int32_t f = 0; f < buffers.Count(); ++f) {
    const TFieldBufferItem& item = buffers.Item(f);
    if (!item.Active) continue;
    const TFieldType type = field_defs_[f].FieldType;
    if (IsBlobFieldType(type)) return TReadPlan{};
    wanted_bytes += static_cast<size_t>(SlotSize(f));
    if (!item.Buffer || item.DataSize == 0) continue;  // read for nothing by ReadRecord
    plan.reads.push_back(TReadPlan::TSlot{field_offsets_[static_cast<size_t>(f)], SlotSize(f),
                                          static_cast<uint8_t*>(item.Buffer), item.DataSize, FieldEncrypted(f),
                                          IsStringFieldType(type)});
  }
  size_t wanted = 0;
  for (int32_t f = 0; f < buffers.Count(); ++f) wanted += buffers.Item(f).Active ? 1 : 0;
  if (wanted > kSlotReadFields || wanted_bytes > kSlotReadBytes) return TReadPlan{};
  plan.usable = true;
  return plan;
}

void TDadaTableIO::ReadPlanned(const TReadPlan& plan, const TRecordList& list, int32_t pos) {
  RequireOpen();
  if (pos < 0 || static_cast<size_t>(pos) >= list.size())
    DatabaseError(Format("Record position %s out of range", {std::to_string(pos)}));
  const int32_t data_offset = list[static_cast<size_t>(pos)].DataOffset;
  std::optional<TLockHold> lock;
  LockForRead(lock);
  file_.CheckReadable(data_offset, record_size_);
  uint8_t* slot = record_scratch_.data();
  if (record_scratch_.size() < static_cast<size_t>(max_slot_size_)) {
    record_scratch_.resize(static_cast<size_t>(std::max(record_size_, max_slot_size_)));
    slot = record_scratch_.data();
  }
  for (const TReadPlan::TSlot& s : plan.reads) {
    file_.ReadData(static_cast<int64_t>(data_offset) + s.offset, std::span<uint8_t>(slot, static_cast<size_t>(s.size)));
    StoreSlotValue(slot, static_cast<size_t>(s.size), s.encrypted, s.is_string, s.dst, s.data_size);
  }
}

void TDadaTableIO::BeginBatch() {
  RequireOpen();
  assert(!batch_ && "change batches do not nest");
  batch_ = true;
  batch_holds_lock_ = false;
  batch_changes_ = 0;
}

void TDadaTableIO::BatchLock() {
  if (!batch_) return;
  if (batch_holds_lock_ && batch_changes_ >= kChangesPerLock && file_.Locked()) {
    // Others get their turn between stretches of changes.
    file_.Unlock();
    batch_holds_lock_ = false;
  }
  if (!file_.Locked()) {
    file_.Lock();
    batch_holds_lock_ = true;
    batch_changes_ = 0;
  }
  ++batch_changes_;
}

void TDadaTableIO::EndBatch() {
  if (batch_holds_lock_ && file_.Locked()) file_.Unlock();
  batch_holds_lock_ = false;
  batch_ = false;
  batch_changes_ = 0;
}

void TDadaTableIO::EndReadRun() {
  if (run_holds_lock_ && file_.Locked()) file_.Unlock();
  run_holds_lock_ = false;
  read_run_ = false;
  run_reads_ = 0;
}

std::vector<uint8_t> TDadaTableIO::ReadFieldValue(int32_t record_no, int32_t field_no) const {
  RequireOpen();
  if (record_no < 0 || static_cast<size_t>(record_no) >= rec_tab_.size())
    DatabaseError(Format("Record number %s out of range", {std::to_string(record_no)}));
  if (field_no < 0 || field_no >= field_defs_.Count())
    DatabaseError(Format("Field number %s out of range", {std::to_string(field_no)}));
  int32_t data_offset = rec_tab_[static_cast<size_t>(record_no)].DataOffset;
  if (IsBlobFieldType(field_defs_[field_no].FieldType))
    return const_cast<TRadiVOFileIO&>(file_).ReadBlobData(
        static_cast<int64_t>(data_offset) + field_offsets_[static_cast<size_t>(field_no)], FieldCompressed(field_no),
        FieldEncrypted(field_no));
  std::vector<uint8_t> value(static_cast<size_t>(SlotSize(field_no)));
  ReadSlot(data_offset, field_no, value.data());
  if (IsStringFieldType(field_defs_[field_no].FieldType)) value.back() = 0;  // read up to the slot's end
  return value;
}

// ---- keys and searches ------------------------------------------------------------------

TDadaTableIO::TKey TDadaTableIO::KeyFromBuffers(const TFieldBuffers& buffers, int32_t index_no,
                                                int32_t key_field_count, int32_t fallback_offset) const {
  const TDadaIndexDef& index = index_defs_[index_no];
  int32_t count = static_cast<int32_t>(index.FieldNos.size());
  if (key_field_count > 0) count = std::min(count, key_field_count);
  TKey key;
  for (int32_t k = 0; k < count; ++k) {
    int32_t f = index.FieldNos[static_cast<size_t>(k)];
    TFieldType type = field_defs_[f].FieldType;
    const TFieldBufferItem* item = f < buffers.Count() ? &buffers.Item(f) : nullptr;
    bool active = item && item->Active && (IsBlobFieldType(type) ? item->Stream != nullptr : item->Buffer != nullptr);
    if (active && IsBlobFieldType(type)) {
      const std::vector<uint8_t>& bytes = item->Stream->Bytes();
      key.AddBorrowed(bytes.data(), bytes.size(), type, static_cast<std::ptrdiff_t>(bytes.size()));
      continue;
    }
    size_t slot = static_cast<size_t>(SlotSize(f));
    if (active && IsStringFieldType(type)) {
      key.AddBorrowed(item->Buffer, static_cast<size_t>(item->DataSize), type, item->DataSize);
      continue;
    }
    if (active && static_cast<size_t>(item->DataSize) >= slot) {
      key.AddBorrowed(item->Buffer, slot, type, -1);
      continue;
    }
    // No usable value: the stored one when rewriting, else the initial zeros
    // (a short buffer contributes what it has).
    if (!active && fallback_offset >= 0) {
      std::vector<uint8_t> stored(slot);
      if (IsBlobFieldType(type)) {
        stored = const_cast<TRadiVOFileIO&>(file_).ReadBlobData(
            static_cast<int64_t>(fallback_offset) + field_offsets_[static_cast<size_t>(f)], FieldCompressed(f),
            FieldEncrypted(f));
      } else {
        ReadSlot(fallback_offset, f, stored.data());
      }
      // A string slot counts up to FieldSize characters even without its NUL.
      std::ptrdiff_t length = IsBlobFieldType(type)     ? static_cast<std::ptrdiff_t>(stored.size())
                              : IsStringFieldType(type) ? static_cast<std::ptrdiff_t>(stored.size()) - 1
                                                        : -1;
      key.AddOwned(std::move(stored), type, length);
      continue;
    }
    std::vector<uint8_t> value(IsBlobFieldType(type) ? 0 : slot, 0);
    if (active) std::memcpy(value.data(), item->Buffer, static_cast<size_t>(item->DataSize));
    std::ptrdiff_t length = IsBlobFieldType(type) || IsStringFieldType(type) ? static_cast<std::ptrdiff_t>(value.size()) : -1;
    key.AddOwned(std::move(value), type, length);
  }
  return key;
}

TDadaTableIO::TKey TDadaTableIO::StoredKey(int32_t data_offset, int32_t index_no) const {
  // KeyFromBuffers with no value given: every key field as stored.
  TKey key;
  for (int32_t f : index_defs_[index_no].FieldNos) {
    const TFieldType type = field_defs_[f].FieldType;
    if (IsBlobFieldType(type)) {
      std::vector<uint8_t> stored = const_cast<TRadiVOFileIO&>(file_).ReadBlobData(
          static_cast<int64_t>(data_offset) + field_offsets_[static_cast<size_t>(f)], FieldCompressed(f),
          FieldEncrypted(f));
      const std::ptrdiff_t length = static_cast<std::ptrdiff_t>(stored.size());
      key.AddOwned(std::move(stored), type, length);
      continue;
    }
    std::vector<uint8_t> stored(static_cast<size_t>(SlotSize(f)));
    ReadSlot(data_offset, f, stored.data());
    // A string slot counts up to FieldSize characters even without its NUL.
    const std::ptrdiff_t length = IsStringFieldType(type) ? static_cast<std::ptrdiff_t>(stored.size()) - 1 : -1;
    key.AddOwned(std::move(stored), type, length);
  }
  return key;
}

int TDadaTableIO::CompareWithEntry(const TKey& key, const TListItem& entry, int32_t index_no, bool partial) const {
  const TDadaIndexDef& index = index_defs_[index_no];
  bool case_insensitive = index.Has(tiCaseInsensitive);
  for (int32_t k = 0; k < key.Count(); ++k) {
    int32_t f = index.FieldNos[static_cast<size_t>(k)];
    TFieldType type = field_defs_[f].FieldType;
    int result;
    if (IsBlobFieldType(type)) {
      std::vector<uint8_t> stored = const_cast<TRadiVOFileIO&>(file_).ReadBlobData(
          static_cast<int64_t>(entry.DataOffset) + field_offsets_[static_cast<size_t>(f)], FieldCompressed(f),
          FieldEncrypted(f));
      stored.push_back(0);
      result = tdb::CompareKeyValue(key.Value(k),
                                    TFieldValue{stored.data(), type, static_cast<std::ptrdiff_t>(stored.size() - 1)},
                                    partial, case_insensitive);
    } else {
      // Only this field's slot is read; the scratch buffer is sized at open.
      uint8_t* value = scratch_value_.data();
      ReadSlot(entry.DataOffset, f, value);
      std::ptrdiff_t length = IsStringFieldType(type) ? SlotSize(f) - 1 : -1;
      result = tdb::CompareKeyValue(key.Value(k), TFieldValue{value, type, length}, partial, case_insensitive);
    }
    if (result != 0) return index.Has(tiDescending) ? -result : result;
  }
  return 0;
}

int32_t TDadaTableIO::PrepareKeyCache(int32_t index_no, const TRecordList& list) const {
  if (static_cast<size_t>(index_no) >= key_caches_.size()) return 0;
  TKeyCache& cache = key_caches_[static_cast<size_t>(index_no)];
  return cache.Enabled() ? cache.Prepare(list.size()) : 0;
}

int TDadaTableIO::CompareProbe(const TKey& key, const TListItem& entry, int32_t index_no, bool partial,
                               int32_t depth, int32_t keep_depth, bool& kept) const {
  kept = false;
  if (depth >= keep_depth) return CompareWithEntry(key, entry, index_no, partial);
  TKeyCache& cache = key_caches_[static_cast<size_t>(index_no)];
  const TDadaIndexDef& index = index_defs_[index_no];
  const uint8_t* values = cache.Find(entry.RecIndex);
  if (values) {
    kept = true;
  } else {
    uint8_t* place = cache.Claim(entry.RecIndex);
    try {
      size_t at = 0;
      for (int32_t f : index.FieldNos) {
        ReadSlot(entry.DataOffset, f, place + at);
        at += static_cast<size_t>(SlotSize(f));
      }
    } catch (...) {
      cache.Forget(entry.RecIndex);
      throw;
    }
    values = place;
  }
  const bool case_insensitive = index.Has(tiCaseInsensitive);
  size_t at = 0;
  for (int32_t k = 0; k < key.Count(); ++k) {
    const int32_t f = index.FieldNos[static_cast<size_t>(k)];
    const TFieldType type = field_defs_[f].FieldType;
    // As CompareWithEntry: a string counts up to its slot's last byte.
    const std::ptrdiff_t length = IsStringFieldType(type) ? SlotSize(f) - 1 : -1;
    const int result = tdb::CompareKeyValue(key.Value(k), TFieldValue{values + at, type, length}, partial, case_insensitive);
    if (result != 0) return index.Has(tiDescending) ? -result : result;
    at += static_cast<size_t>(SlotSize(f));
  }
  return 0;
}

void TDadaTableIO::ForgetKeys(int32_t rec_index) const {
  for (TKeyCache& cache : key_caches_) cache.Forget(rec_index);
}

void TDadaTableIO::ClearKeyCaches() const {
  for (TKeyCache& cache : key_caches_) cache.Clear();
}

size_t TDadaTableIO::KeyCacheBytes() const {
  size_t bytes = 0;
  for (const TKeyCache& cache : key_caches_) bytes += cache.MemoryBytes();
  return bytes;
}

TSearchResult TDadaTableIO::Search(const TKey& key, const TRecordList& list, int32_t index_no, bool partial,
                                   bool use_cache) const {
  TSearchResult result;
  const int32_t keep_depth = use_cache ? PrepareKeyCache(index_no, list) : 0;
  int64_t lo = 0, hi = static_cast<int64_t>(list.size()) - 1;
  for (int32_t depth = 0; lo <= hi; ++depth) {
    int64_t mid = (lo + hi) / 2;
    result.Position = static_cast<int32_t>(mid);
    bool kept = false;
    int c = CompareProbe(key, list[static_cast<size_t>(mid)], index_no, partial, depth, keep_depth, kept);
    if (c == 0) {
      // A find is reported only as the file has it: a record whose key
      // another writer changed in place is no find, and what was kept of the
      // index is read anew.
      if (kept && CompareWithEntry(key, list[static_cast<size_t>(mid)], index_no, partial) != 0) {
        key_caches_[static_cast<size_t>(index_no)].Clear();
        return Search(key, list, index_no, partial, false);
      }
      result.Side = kSearchEqual;
      break;
    }
    if (c < 0) {
      result.Side = kSearchSmaller;
      hi = mid - 1;
    } else {
      result.Side = kSearchGreater;
      lo = mid + 1;
    }
  }
  return result;
}

TSearchResult TDadaTableIO::SearchBound(const TKey& key, const TRecordList& list, int32_t index_no, bool partial,
                                        bool first) const {
  TSearchResult result;
  int32_t equal_at = -1;
  const int32_t keep_depth = PrepareKeyCache(index_no, list);
  int64_t lo = 0, hi = static_cast<int64_t>(list.size()) - 1;
  for (int32_t depth = 0; lo <= hi; ++depth) {
    int64_t mid = (lo + hi) / 2;
    bool kept = false;
    int c = CompareProbe(key, list[static_cast<size_t>(mid)], index_no, partial, depth, keep_depth, kept);
    if (c == 0) {
      equal_at = static_cast<int32_t>(mid);
      if (first) hi = mid - 1;
      else lo = mid + 1;
    } else {
      if (equal_at < 0) {
        result.Side = c < 0 ? kSearchSmaller : kSearchGreater;
        result.Position = static_cast<int32_t>(mid);
      }
      if (c < 0) hi = mid - 1;
      else lo = mid + 1;
    }
  }
  if (equal_at >= 0) {
    result.Position = equal_at;
    result.Side = kSearchEqual;
  }
  return result;
}

int32_t TDadaTableIO::InsertPosition(const TKey& key, const TRecordList& list, int32_t index_no) const {
  return FindGap(key, list, index_no).pos;
}

TDadaTableIO::TGap TDadaTableIO::FindGap(const TKey& key, const TRecordList& list, int32_t index_no) const {
  TGap gap;
  const int64_t n = static_cast<int64_t>(list.size());
  if (n == 0) return gap;
  // A key above the last entry goes behind it, which is where the search
  // would put it too (every probe finds the key greater): appends in key
  // order, such as receipt numbers, cost one comparison instead of log n.
  // Comparisons made through kept keys place the key, but count as not made
  // for the checks that follow (GapOnDisk, CheckUnique): those read the file.
  const int32_t keep_depth = PrepareKeyCache(index_no, list);
  bool kept = false;
  const int last = CompareProbe(key, list[static_cast<size_t>(n - 1)], index_no, false, 0, keep_depth, kept);
  const int last_cmp = kept ? TGap::kNotCompared : last;
  if (last > 0) {
    gap.pos = static_cast<int32_t>(n);
    gap.before = list[static_cast<size_t>(n - 1)];
    gap.before_cmp = last_cmp;
    return gap;
  }
  // The search as Search() makes it, remembering the comparisons made next
  // to where it ends: a search that ends between two entries has compared
  // the key with both.
  int64_t lo = 0, hi = n - 1, at = -1;
  int64_t greater_at = -1, smaller_at = n - 1;
  int greater_cmp = TGap::kNotCompared, smaller_cmp = last_cmp;
  bool at_kept = false;
  for (int32_t depth = 0; lo <= hi; ++depth) {
    int64_t mid = (lo + hi) / 2;
    int c = CompareProbe(key, list[static_cast<size_t>(mid)], index_no, false, depth, keep_depth, kept);
    if (c == 0) {
      at = mid;
      at_kept = kept;
      break;
    }
    if (c < 0) {
      smaller_at = mid;
      smaller_cmp = kept ? TGap::kNotCompared : c;
      hi = mid - 1;
    } else {
      greater_at = mid;
      greater_cmp = kept ? TGap::kNotCompared : c;
      lo = mid + 1;
    }
  }
  const int64_t pos = at >= 0 ? at + 1 : lo;
  gap.pos = static_cast<int32_t>(pos);
  if (pos > 0) {
    gap.before = list[static_cast<size_t>(pos - 1)];
    if (at >= 0) gap.before_cmp = at_kept ? TGap::kNotCompared : 0;
    else if (greater_at == pos - 1) gap.before_cmp = greater_cmp;
  }
  if (pos < n) {
    gap.after = list[static_cast<size_t>(pos)];
    if (smaller_at == pos) gap.after_cmp = smaller_cmp;
  }
  return gap;
}

TSearchResult TDadaTableIO::SearchIndex(const TFieldBuffers& key, const TRecordList& list, bool partial,
                                        int32_t key_field_count, int32_t index_no) const {
  RequireOpen();
  if (index_no < 0 || index_no >= index_defs_.Count())
    DatabaseError(Format("Table '%s' has no index number %s", {table_name_, std::to_string(index_no)}));
  return Search(KeyFromBuffers(key, index_no, key_field_count, -1), list, index_no, partial);
}

TSearchResult TDadaTableIO::SearchIndexBound(const TFieldBuffers& key, const TRecordList& list, bool partial,
                                             int32_t key_field_count, int32_t index_no, bool first) const {
  RequireOpen();
  if (index_no < 0 || index_no >= index_defs_.Count())
    DatabaseError(Format("Table '%s' has no index number %s", {table_name_, std::to_string(index_no)}));
  return SearchBound(KeyFromBuffers(key, index_no, key_field_count, -1), list, index_no, partial, first);
}

}  // namespace tdb
