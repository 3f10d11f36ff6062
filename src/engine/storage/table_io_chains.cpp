// The index chains on disk: reading and writing a record's entry in an
// index table, a chain's head, and moving a rewritten record to its new
// place in every index whose key it changed (unlinking it behind its old
// predecessor, linking it behind its new one) with its lists.
//
// Invariants: an entry is only read or written inside the index's table
// blocks (outside them the file is damaged).  A move keeps a chain and its
// list in the same order: the record leaves both at its old place and
// enters both at its new one.
#include "engine/storage/table_io.h"

#include <cassert>
#include <vector>

#include "engine/base/database_error.h"
#include "engine/storage/table_key.h"

namespace tdb {

TIndexTabItem TDadaTableIO::ReadChainEntry(int32_t index_no, int32_t rec_index) const {
  const std::vector<int32_t>& blocks = index_blocks_[static_cast<size_t>(index_no)];
  size_t block = static_cast<size_t>(rec_index) / kTabItemsPerBlock;
  if (rec_index < 0 || block >= blocks.size())
    DatabaseError(ekDamaged,
                  Format("Database file '%s' is damaged: index %s has no entry for record %s",
                         {file_.FileName(), index_defs_[index_no].Name, std::to_string(rec_index)}),
                  TableParams(file_.FileName(), table_name_));
  return const_cast<TRadiVOFileIO&>(file_).ReadIndexTabItem(blocks[block], rec_index % kTabItemsPerBlock);
}

void TDadaTableIO::WriteChainEntry(int32_t index_no, const TIndexTabItem& item) {
  const std::vector<int32_t>& blocks = index_blocks_[static_cast<size_t>(index_no)];
  size_t block = static_cast<size_t>(item.RecIndex) / kTabItemsPerBlock;
  if (item.RecIndex < 0 || block >= blocks.size())
    DatabaseError(ekDamaged,
                  Format("Database file '%s' is damaged: index %s has no entry for record %s",
                         {file_.FileName(), index_defs_[index_no].Name, std::to_string(item.RecIndex)}),
                  TableParams(file_.FileName(), table_name_));
  file_.WriteIndexTabItem(blocks[block], item.RecIndex % kTabItemsPerBlock, item);
}

void TDadaTableIO::SetStartIndex(int32_t index_no, int32_t rec_index) {
  header_.IndexHeaders[static_cast<size_t>(index_no)].StartIndex = rec_index;
  file_.WriteTableHeader(table_no_, header_);
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

}  // namespace tdb
