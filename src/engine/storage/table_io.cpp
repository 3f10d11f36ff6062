// The table storage's frame: counting opens and closes, the definitions and
// layout of the table, and positions in the lists (a record's place in list 0
// or in an index's list).  Loading is in table_io_load.cpp, reads in
// table_io_read.cpp, searches in table_io_search.cpp, what a change checks on
// disk in table_io_checks.cpp, the changes in table_io_write.cpp with their
// blob areas (table_io_blobs.cpp) and chain links (table_io_chains.cpp).
//
// Invariants: the definitions, layout and lists exist exactly while the open
// count is above 0; the list lookups here read nothing from the file.
#include "engine/storage/table_io.h"

#include <algorithm>
#include <cassert>

#include "engine/base/database_error.h"
#include "engine/storage/table_key.h"

namespace tdb {

TDadaTableIO::TDadaTableIO(TRadiVOFileIO& file, std::string table_name)
    : file_(file), table_name_(std::move(table_name)) {}

void TDadaTableIO::RequireOpen() const {
  if (open_count_ <= 0) DatabaseError(Format("Table '%s' is not open", {table_name_}));
}

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
  // List 0 ascends by record number and holds every record not deleted, so
  // a record stands at its number less the deleted records before it: no
  // further forward, and at most as many places back as there are deleted
  // records.
  if (rec_index >= 0 && rec_tab_.size() >= list.size()) {
    const size_t deleted = rec_tab_.size() - list.size();
    const size_t at = std::min(static_cast<size_t>(rec_index), list.size());
    size_t lo = at > deleted ? at - deleted : 0, hi = at + (at < list.size() ? 1 : 0);
    while (lo < hi) {
      size_t mid = lo + (hi - lo) / 2;
      if (list[mid].RecIndex < rec_index) lo = mid + 1;
      else hi = mid;
    }
    if (lo < list.size() && list[lo].RecIndex == rec_index) return static_cast<int32_t>(lo);
  }
  size_t lo = 0, hi = list.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (list[mid].RecIndex < rec_index) lo = mid + 1;
    else hi = mid;
  }
  return lo < list.size() && list[lo].RecIndex == rec_index ? static_cast<int32_t>(lo) : -1;
}

int32_t TDadaTableIO::FindInIndexList(int32_t index_no, const TListItem& item) const {
  TRecordList& list = *lists_[static_cast<size_t>(index_no) + 1];
  // A list that a change has looked in keeps where each record stands: the
  // next change finds it without a search, which would read keys all over
  // the file.
  list.TrackRecords(static_cast<size_t>(header_.RecordTotal));
  const int64_t tracked = list.PositionOf(item.RecIndex);
  if (tracked >= 0) return static_cast<int32_t>(tracked);
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

void TDadaTableIO::CheckBuffers(const TFieldBuffers& buffers) const {
  if (buffers.Count() != field_defs_.Count())
    DatabaseError(Format("Table '%s' has %s fields, the record buffers %s",
                         {table_name_, std::to_string(field_defs_.Count()), std::to_string(buffers.Count())}));
  for (int32_t f = 0; f < buffers.Count(); ++f)
    if (buffers.Item(f).DataSize < 0) DatabaseError(Format("Invalid data size of field %s", {field_defs_[f].Name}));
}

int32_t TDadaTableIO::CheckedRecordPos(int32_t record_pos) const {
  if (record_pos < 0 || static_cast<size_t>(record_pos) >= lists_[0]->size())
    DatabaseError(ekOutOfRange, Format("Record position %s out of range", {std::to_string(record_pos)}),
                  TableParams(file_.FileName(), table_name_));
  return record_pos;
}

}  // namespace tdb
