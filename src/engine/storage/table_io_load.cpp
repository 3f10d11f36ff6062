// Loading a table and keeping it in step with the file: the definitions and
// layout at the first open, the record table and the lists (list 0 at once,
// an index's list when first needed, by following its chain on disk), and
// the reloads when another writer changed the file (SyncWithFile before a
// change, ReloadIfFileChanged on a view's request, after a failed change).
//
// Invariants: every load runs under the file lock (or on a memory medium)
// and takes the file's stamp before it reads, so no write falls between;
// `in_step_` is false from the start of a load until it has finished, so a
// load that failed is made again before the next change; the list objects
// stay the same across loads (only their content changes); a chain that
// leaves the table or meets a record twice is damage, never a long list.
#include "engine/storage/table_io.h"

#include <algorithm>
#include <cassert>
#include <memory>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/compare/collation.h"
#include "engine/storage/table_key.h"

namespace tdb {

void TDadaTableIO::LoadTable(TListLoading loading) {
  std::vector<std::string> names = file_.GetTableNames();
  table_no_ = -1;
  for (size_t i = 0; i < names.size(); ++i)
    if (SameTextIgnoringCase(names[i], table_name_)) {
      table_no_ = static_cast<int32_t>(i);
      break;
    }
  if (table_no_ < 0)
    DatabaseError(ekTableMissing, Format("Table '%s' not found", {table_name_}),
                  TableParams(file_.FileName(), table_name_));
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
  // Under the lock: no write falls between the stamp and the reads.
  loaded_stamp_ = file_.Stamp();
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
  TIndexTable items = file_.ReadIndexTable(index, header_.RecordTotal, index_blocks_[static_cast<size_t>(index_no)]);
  if (items.empty()) return;
  // A chain that meets a record twice loops; following it would list records
  // over and over, so it is damage.
  std::vector<bool> seen(items.size(), false);
  int32_t n = index.StartIndex;
  for (int32_t links = 0; n != -1 && links < header_.RecordTotal; ++links) {
    if (n < 0 || n >= header_.RecordTotal || seen[static_cast<size_t>(n)])
      DatabaseError(ekDamaged,
                    Format("Database file '%s' is damaged: the chain of index %s loops at record %s",
                           {file_.FileName(), index.IndexName, std::to_string(n)}),
                    TableParams(file_.FileName(), table_name_));
    seen[static_cast<size_t>(n)] = true;
    const TRecordTabItem& rec = rec_tab_[static_cast<size_t>(n)];
    if (!rec.Deleted) list.push_back(TListItem{rec.DataOffset, n});
    n = items[static_cast<size_t>(n)].Next;
  }
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
    DatabaseError(
        ekDamaged,
        Format("Database file '%s' is damaged: the definition of table %s changed", {file_.FileName(), table_name_}),
        TableParams(file_.FileName(), table_name_));
  header_ = std::move(fresh);
  LoadRecordsAndLists();
}

bool TDadaTableIO::ReloadIfFileChanged() {
  RequireOpen();
  TLockHold lock(file_);
  const TFileStamp now = file_.Stamp();
  if (in_step_ && loaded_stamp_.settled && now.SameAs(loaded_stamp_)) return false;
  ReloadForOtherWriter();
  return true;
}

void TDadaTableIO::ReloadAfterFailedChange() noexcept {
  // Should even reading the file fail, the table stays out of step and the
  // next change loads again.
  try {
    ReloadForOtherWriter();
  } catch (...) {
  }
}

}  // namespace tdb
