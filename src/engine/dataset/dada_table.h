// TDadaTable: one table of a database as a navigable, editable dataset in
// the order of one of its indexes.
//
// Screens set DatabaseName (the file name), TableName and IndexName, in that
// order, then open it; they re-sort by assigning another IndexName.  The
// view list is loaded from the storage's list of the chosen index (record
// order when the name matches no index and the table has no primary index;
// a name that matches nothing is no error).  Posting hands the active
// buffer's values to the storage, which calls back (IndexAdjustAppend /
// IndexAdjustModify) so that the view follows: with an index the posted
// record is current at its key position; in record order the record that was
// current before Insert is current again.
//
// Single thread.  The storage and the database are owned elsewhere; the
// dataset holds the table open (OpenTable/CloseTable) while it is open.
#pragma once

#include <string>

#include "engine/dataset/tde_dataset.h"

namespace tdb {

class TDadaTable : public TTDEDataSet {
 public:
  explicit TDadaTable(TComponentOwner* owner = nullptr);
  ~TDadaTable() override;

  // Assigning it, even its current value, also empties TableName and IndexName.
  void SetDatabaseName(const std::string& name) override;
  const std::string& TableName() const { return table_name_; }
  // Refused while open when the name differs.
  void SetTableName(const std::string& name);
  const std::string& IndexName() const { return index_name_; }
  // Stored at any time; while open it ends a pending edit, chooses the index,
  // loads the view from its order and makes the first record current.
  void SetIndexName(const std::string& name);
  // The chosen index: its position among the index definitions, or -1 for
  // record order.  Valid while open.
  int CurrentIndexNo() const { return index_no_; }

  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  bool CanModify() const override;

  const TIndexDefs& IndexDefs() const { return index_defs_; }
  // The table's storage while open (the screens never need it).
  TDadaTableIO* TableIO() const { return table_io_; }

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return cursor_open_; }
  TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool do_check) override;
  void InternalFirst() override { position_ = -1; }
  void InternalLast() override { position_ = static_cast<int>(view_.size()); }
  void InternalInsert(bool append) override;
  void InternalPost() override;
  void InternalDelete() override;
  void InternalRefresh() override;
  void InternalGotoBookmark(TBookmark bookmark) override;
  void CheckCanModify() const override;

  // TIndexAdjustCallback
  void IndexAdjustAppend(int32_t index_no, int32_t position, const TListItem& item) override;
  void IndexAdjustModify(int32_t index_no, int32_t old_position, int32_t new_position) override;

  // Picks the index for IndexName (or the primary one, or record order).
  void ChooseIndex();
  // Copies the storage's list of the current order into the view list.
  void LoadViewList();
  // Where a key search of the view list puts the record in `buffer`.
  int ViewInsertPosition(uint8_t* buffer);

 private:
  std::string table_name_;
  std::string index_name_;
  bool read_only_ = false;
  bool cursor_open_ = false;
  bool table_opened_ = false;
  int index_no_ = -1;
  TIndexDefs index_defs_;
};

}  // namespace tdb
