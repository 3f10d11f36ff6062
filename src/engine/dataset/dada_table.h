// TDadaTable: one table of a database as a navigable, editable dataset in
// the order of one of its indexes.
//
// Screens set DatabaseName (the file name), TableName and IndexName, in that
// order, then open it; they re-sort by assigning another IndexName.  The
// view list is loaded from the storage's list of the chosen index (record
// order when the name matches no index and the table has no primary index;
// a name that matches nothing is no error).  Posting hands the active
// buffer's values to the storage, which reports where the record went in
// each order; once the storage has finished the change (its lists and its
// change count moved on) the view follows: with an index the posted record is
// current at its key position; in record order the record that was current
// before Insert is current again.  Only then are the bound controls told
// (TDataLink::ViewRowChanged, then the scroll), so a control that fails on
// the news cannot leave the storage, this view or the dataset's state half
// changed.
//
// Single thread.  The storage and the database are owned elsewhere; the
// dataset holds the table open (OpenTable/CloseTable) while it is open.
#pragma once

#include <string>

#include "engine/dataset/data_source.h"
#include "engine/dataset/tde_dataset.h"
#include "engine/dataset/variant.h"

namespace tdb {

class TDadaTable;

// The link of a detail table to its master's data source.
class TMasterDataLink : public TDataLink {
 public:
  explicit TMasterDataLink(TDadaTable& detail) : detail_(detail) {}
  // The master's fields named in `names` (separated by ";"); resolved while
  // the master is open.
  const std::vector<TField*>& Fields() const { return fields_; }
  void SetFieldNames(const std::string& names);
  const std::string& FieldNames() const { return names_; }

 protected:
  void ActiveChanged() override;
  void DataSetChanged() override { Changed(); }
  void DataSetScrolled(int) override { Changed(); }
  void RecordChanged(TField* field) override {
    if (!field) Changed();
  }

 private:
  void Resolve();
  void Changed();

  TDadaTable& detail_;
  std::string names_;
  std::vector<TField*> fields_;  // the master's, valid while it is open
};

class TDadaTable : public TTDEDataSet {
 public:
  explicit TDadaTable(TComponentOwner* owner = nullptr);
  ~TDadaTable() override;

  // Assigning it, even its current value, also empties TableName and IndexName.
  void SetDatabaseName(const std::string& name) override;
  const std::string& TableName() const { return table_name_; }
  // Refused while open when the name differs.
  void SetTableName(const std::string& name);
  const std::string& IndexName() const override { return index_name_; }
  // Stored at any time; while open it ends a pending edit, chooses the index,
  // loads the view from its order and makes the first record current.
  void SetIndexName(const std::string& name) override;
  // The chosen index: its position among the index definitions, or -1 for
  // record order.  Valid while open.
  int CurrentIndexNo() const { return index_no_; }

  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  bool CanModify() const override;

  const TIndexDefs& IndexDefs() const { return index_defs_; }
  std::string IndexFields() const override;

  // ---- Locate and Lookup ----
  // Makes the first record whose key fields (names separated by ";") equal
  // the values current; one value serves a single key field.  Uses an index
  // whose fields are exactly the key fields (and whose letter-case option
  // matches for text keys) and a scan of the view otherwise.  A record
  // hidden by the filter or the range is not found.  Answers whether found;
  // the current record stays when not.
  bool Locate(const std::string& key_fields, const std::vector<TVariant>& values, TLocateOptions options) override;
  // The values of `result_fields` of the record Locate would find (case-
  // sensitive, whole keys), one per name; nothing when none matches.  Never
  // moves the current record.
  std::optional<std::vector<TVariant>> Lookup(const std::string& key_fields, const std::vector<TVariant>& values,
                                              const std::string& result_fields);

  // ---- incremental search ----
  // The first view position, in the order of the current index, whose value
  // of `field` is not below `key` (with partial, a text key compares as a
  // prefix; with case_insensitive, without regard to letter case): the row a
  // grid's incremental search lands on.  REQUIRES: `field` is the first
  // field of the current index (record order has none: raises "No index
  // currently active"; another field raises "Field '%s' does not order the
  // view").  Never moves the current record.
  TNearest FindNearest(const TField& field, const TVariant& key, bool partial, bool case_insensitive) override;

  // ---- master-detail range ----
  // The master's data source; a source that would link the table to itself
  // raises "Circular datalinks are not allowed".
  void SetMasterSource(TDataSource* source);
  TDataSource* MasterSource() const { return master_link_.DataSource(); }
  // The master's fields, separated by ";"; their values go into the first
  // fields of the current index.
  void SetMasterFields(const std::string& names);
  const std::string& MasterFields() const { return master_link_.FieldNames(); }
  // Called by the master link when the master's record changed.
  void MasterChanged();
  // Called by the master link when it becomes active or inactive.
  void MasterActiveChanged(bool active);
  // The table's storage while open (the screens never need it).
  TDadaTableIO* TableIO() const { return table_io_; }

  // ---- several writers on one file ----
  // Edit reads the current record again from the file, so that the edit
  // starts from the record as stored (another process may have changed it
  // since it was fetched), and remembers it so.  Posting the edit writes only
  // while the record is still stored so: otherwise Post raises "Record %s of
  // table '%s' was changed by another user" (or "... was deleted by another
  // user"), writes nothing and leaves the dataset in edit state with what was
  // typed; Cancel and Edit then start again from the record as stored now.
  //
  // The number of the record being inserted, settled where it is stored
  // (TNewNumber): while `field` (an integer field) still holds `offered` at
  // Post, the record gets the highest value the whole table holds in it + 1
  // when `offered` is no longer above that.  For the insert under way: set
  // after Insert; Cancel and the next Insert forget it.
  void SetNewNumber(const std::string& field, int32_t offered) override;
  // The last posted insert that had a new number: the number offered and the
  // number stored (both 0 before the first).
  int32_t OfferedNumber() const override { return offered_number_; }
  int32_t StoredNumber() const override { return stored_number_; }
  // The highest value integer field `field` holds in the whole table (every
  // record, whatever the filter or range shows), read from the file; 0 for
  // an empty table.
  int32_t HighestValue(const std::string& field) override;
  // In browse state: when the file may have been changed by anyone since
  // the view was loaded (TDadaTableIO::ReloadIfFileChanged), or the table's
  // lists changed otherwise, loads the view again (range and filter
  // applied) and keeps the current record current where it is still in
  // view (else the one now at its position); answers whether it did.  When
  // nothing changed this costs one hold of the file lock and a look at the
  // file's stamp.
  bool RefreshIfChanged() override;

  // Groups the changes posted and deleted through the table (a purge's,
  // a tool's appends) while it lives: the file lock is held over a stretch
  // of changes instead of taken for each change, and what is read between
  // two changes is read under the hold of the change after it; with the
  // database's FlushAfterChange, each stretch is flushed once
  // (TDadaTableIO::TChangeBatch tells what a batch cut short or a power loss
  // leaves).  Finish() ends the batch, raising when its last flush fails.
  // Raises "Cannot perform this operation on a closed dataset" when the table
  // is closed, or "Wait for unlock time out"; the table must stay open while
  // the batch lives.
  class TChangeBatch {
   public:
    explicit TChangeBatch(TDadaTable& table, int32_t changes_per_lock = TDadaTableIO::kChangesPerLock);
    TChangeBatch(const TChangeBatch&) = delete;
    TChangeBatch& operator=(const TChangeBatch&) = delete;
    void Finish() { batch_.Finish(); }

   private:
    TDadaTableIO::TChangeBatch batch_;
  };

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return cursor_open_; }
  TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool do_check) override;
  void InternalFirst() override { position_ = -1; }
  void InternalLast() override { position_ = static_cast<int>(view_.size()); }
  void InternalInsert(bool append) override;
  void InternalEdit() override;
  void InternalCancel() override;
  void InternalPost() override;
  void InternalDelete() override;
  void InternalRefresh() override;
  void InternalGotoBookmark(TBookmark bookmark) override;
  void CheckCanModify() const override;

  // Where the storage put the posted record in the current order.
  struct TPostAdjust;
  // Brings the view in step with a post that the storage has completed, and
  // queues the row changes for the controls.  Reads the file only when the
  // view is narrowed or out of step; should that read fail the record joins
  // the view where it stood, since the change itself is done.
  void FollowPost(const TPostAdjust& adjust, uint64_t before, bool inserted);

  // Loads the view list again from the storage's list (range and filter
  // applied again), as the lists are.
  void ReloadView();
  // Picks the index for IndexName (or the primary one, or record order).
  void ChooseIndex();
  // Copies the storage's list of the current order into the view list.
  void LoadViewList() override;
  void OpenCursorComplete() override;
  // Whether the storage's positions count in the view: it is the whole list
  // of the current order and no change has happened since it matched.
  bool ViewInStep() const;
  // After this dataset's own change, which began at ChangeCount() `before`:
  // whether the view matched the storage's list before it and only that
  // change happened since (the view then still matches it).
  bool FollowOwnChange(uint64_t before);
  // Where a key search of the view list puts the record in `buffer`.
  int ViewInsertPosition(uint8_t* buffer);
  // The master-detail range: set up from the master's fields (when a master
  // link with fields is active and an index is current), or applied again
  // with the stored keys.
  void EstablishRange();
  void ApplyRange();

 private:
  // The view position of the record matching the key (given in `scratch`),
  // read into `scratch` when `read_found`; -1 when none.
  int LocateRecord(const std::string& key_fields, const std::vector<TVariant>& values, bool case_insensitive,
                   bool partial, uint8_t* scratch, bool read_found);
  // The storage, after checking that the table is open.
  TDadaTableIO& OpenTableIO();
  void RemoveRange();

  TMasterDataLink master_link_{*this};
  std::string table_name_;
  std::string index_name_;
  bool read_only_ = false;
  bool cursor_open_ = false;
  bool table_opened_ = false;
  int index_no_ = -1;
  TIndexDefs index_defs_;
  TRecordImage edit_image_;  // the record as stored when the pending edit began
  std::string number_field_;  // the pending insert's new number, when set
  int32_t number_offered_ = 0;
  int32_t offered_number_ = 0;  // of the last insert posted with a new number
  int32_t stored_number_ = 0;
};

}  // namespace tdb
