// What a change relies on, read from the file under its lock: that a record
// is live on disk, the next live record of an index chain on disk, that a
// gap found in the lists is still a gap on disk with the new key sorting
// into it, and that a unique index gets no key twice; and the errors of a
// change whose record another writer changed or deleted.
//
// Invariants: these checks never answer from the kept keys or from lists
// alone: a neighbour's liveness and links are read from the file, and a
// key is compared with the neighbours' values as stored now.  A record this
// object holds deleted is deleted on disk too (nothing takes a deletion
// back), so only records held live are read.
#include "engine/storage/table_io.h"

#include <string>

#include "engine/base/database_error.h"
#include "engine/storage/key_text.h"
#include "engine/storage/table_key.h"

namespace tdb {

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

void TDadaTableIO::RaiseDeletedByOther(int32_t rec_index) const {
  DatabaseError(ekRecordDeleted,
                Format("Record %s of table '%s' was deleted by another user", {std::to_string(rec_index), table_name_}),
                TableParams(file_.FileName(), table_name_, rec_index));
}

void TDadaTableIO::RaiseChangedByOther(int32_t rec_index) const {
  DatabaseError(ekRecordChanged,
                Format("Record %s of table '%s' was changed by another user", {std::to_string(rec_index), table_name_}),
                TableParams(file_.FileName(), table_name_, rec_index));
}

}  // namespace tdb
