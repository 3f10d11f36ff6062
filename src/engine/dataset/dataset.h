// TDataSet: the dataset framework that the engine's table dataset stands on.
//
// A dataset presents a sequence of records with one current record, the
// states of Insert/Edit/Post/Cancel, field objects with typed access, events
// around every operation and data sources through which bound controls follow
// it.  The concrete dataset (TTDEDataSet, TDadaTable) supplies the cursor
// operations declared protected below; this class runs the protocol around
// them:
//   - navigation fetches into the current-record buffer; Eof and Bof report
//     whether the last move ran off an end;
//   - Insert/Append fill a separate new-record buffer; Edit changes the
//     current buffer; Post hands it to InternalPost and rereads the current
//     record; Cancel drops the change and rereads it;
//   - every change is announced to the data sources (DataEvent), after it has
//     completed: a move of the current record as deDataSetScroll, a row that
//     a post or a delete inserted, removed, moved or changed as
//     deViewRowChange (before the move that follows it), and a view that was
//     replaced as a whole (opened, re-sorted, filtered, refreshed) as
//     deDataSetChange.  ViewGeneration tells the last from the others.
// A record buffer is owned by this class and allocated through the concrete
// dataset (which may place blob streams in it).
//
// Single thread: a dataset is used from one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/database_error.h"
#include "engine/dataset/dataset_types.h"
#include "engine/dataset/field.h"
#include "engine/dataset/variant.h"
#include "engine/filter/filter_source.h"

namespace tdb {

class TDataSource;

// The values of one row of a view as ReadRows gives them.
struct TRowValues {
  TBookmark Bookmark = 0;
  std::vector<TVariant> Values;    // per asked field, in the variant kind of its type
  std::vector<std::string> Texts;  // per asked field, its edit text (as TField::AsString)
};

// Where FindNearest landed.
struct TNearest {
  int Position = -1;   // -1: the view is empty
  bool Match = false;  // the row there holds the key (as a prefix when partial)
};

enum TDataAction { daFail, daAbort, daRetry };

class TDataSet {
 public:
  TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;
  // A concrete dataset must Close() in its own destructor, while its cursor
  // operations still exist.
  virtual ~TDataSet();

  // Component name, the prefix of the errors raised on its behalf.
  std::string Name;

  TDataSetState State() const { return state_; }
  bool Active() const { return state_ != dsInactive && state_ != dsOpening; }
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  // Navigation.  First and Last set Bof respectively Eof; Next at the last
  // record and Prior at the first set Eof respectively Bof and stay.
  void First();
  void Last();
  void Next();
  void Prior();
  // Moves by up to |distance| records; answers how many it moved (signed).
  int MoveBy(int distance);
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty() const { return !has_current_ && state_ != dsInsert; }
  virtual int RecordCount() const { return 0; }
  virtual int RecNo() const { return -1; }
  virtual void SetRecNo(int /*value*/) {}

  // Editing.
  void Insert();
  void Append();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  void Refresh();
  // Ends a pending edit: posted when modified, else cancelled.
  void CheckBrowseMode();
  // Asks the data links to write pending edits into the fields.
  void UpdateRecord();
  bool Modified() const { return modified_; }
  virtual bool CanModify() const { return true; }

  // ---- several users of one table ----
  // A dataset whose records other users change at the same time (a table
  // dataset over a shared file) overrides these; the defaults suit a dataset
  // no one else changes.
  // In browse state: loads the view again when another user may have
  // changed the data since it was loaded, keeping the current record;
  // answers whether it did.
  virtual bool RefreshIfChanged() { return false; }
  // The highest value integer field `field` holds in the whole table,
  // whatever the view shows; 0 when there is none.  By default: "General
  // error".
  virtual int32_t HighestValue(const std::string& field);
  // The number of the record being inserted, settled where it is stored:
  // while `field` still holds `offered` at Post, the record gets the next
  // number free then.  By default the number is stored as given.
  virtual void SetNewNumber(const std::string& /*field*/, int32_t /*offered*/) {}
  // The last posted insert that had a new number: the number offered and the
  // number stored (equal, and 0 before the first).
  virtual int32_t OfferedNumber() const { return 0; }
  virtual int32_t StoredNumber() const { return 0; }

  // ---- a table's view ----
  // What a dataset over a stored table offers (the table datasets override
  // these); the defaults suit a dataset without indexes or filters: an empty
  // name, no filter, and "General error" for what needs one.
  // The index that orders the view ("" for record order); assigning another
  // re-sorts the view and makes the first record current.
  virtual const std::string& IndexName() const;
  virtual void SetIndexName(const std::string& name);
  // The key fields of the index ordering the view, separated by ";" or ","
  // as defined; "" in record order.
  virtual std::string IndexFields() const { return {}; }
  // The filter in the filter language; Filtered switches it on and off.
  virtual const std::string& Filter() const;
  virtual void SetFilter(const std::string& text);
  virtual bool Filtered() const { return false; }
  virtual void SetFiltered(bool value);
  // How the filter compares texts (TFilterOption flags); a dataset without a
  // filter has none and ignores them.
  virtual TFilterOptions FilterOptions() const { return 0; }
  virtual void SetFilterOptions(TFilterOptions /*options*/) {}
  // Makes the first record whose key fields (names separated by ";") equal
  // the values current; answers whether found (the current record stays
  // when not).
  virtual bool Locate(const std::string& key_fields, const std::vector<TVariant>& values, TLocateOptions options);
  // The rows at view positions first .. first + count - 1 (those that exist)
  // with the values of the fields at `fields`, without moving the current
  // record: what a grid shows of one screen.
  virtual std::vector<TRowValues> ReadRows(int first, int count, const std::vector<int>& fields);
  // The values of the field at `field` in the rows at view positions
  // first .. first + count - 1 (those that exist), as ReadRows gives them but
  // without their texts: what a sum over the view needs.
  virtual std::vector<TVariant> ReadValues(int first, int count, int field);
  // The first view position whose value of `field`, the first key field of
  // the current index, is not below `key` (see TDadaTable::FindNearest).
  virtual TNearest FindNearest(const TField& field, const TVariant& key, bool partial, bool case_insensitive);

  // Fields, in the order of the table.
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Field(int index) const { return *fields_.at(static_cast<size_t>(index)); }
  // The field whose name equals `name` without regard to letter case, or null.
  TField* FindField(std::string_view name) const;
  // As FindField; raises "Field '%s' not found" when there is none.
  TField& FieldByName(std::string_view name) const;

  // The current record's number; raises "No records" when there is none.
  TBookmark GetBookmark() const;
  // Makes the record with that number current; "Bookmark not found" when it
  // is not in view.
  void GotoBookmark(TBookmark bookmark);

  // Blob content of a field in the current buffer (Windows-1251 bytes for a
  // memo).  Raises EDatabaseError when the state selects no buffer.
  virtual std::string GetBlobContent(const TField& field) const;
  virtual void SetBlobContent(TField& field, std::string_view content);

  // Field data access as TField uses it: copies the field's value out of or
  // into the buffer that the state selects.  GetFieldData answers false when
  // there is no such buffer.
  virtual bool GetFieldData(const TField& field, void* dst) const = 0;
  virtual void SetFieldData(TField& field, const void* src) = 0;

  // Announces a change to every data source (and through them the links).
  void DataEvent(TDataEvent event, intptr_t info = 0);

  // Moves on whenever the records in view or their order change other than
  // by an announced row change: a reload, a new order, a filter, a range.
  // A bound grid that saw generation g still knows every row while it is g.
  uint64_t ViewGeneration() const { return view_generation_; }

  // Raises EDatabaseError with this dataset's name as the prefix.
  [[noreturn]] void Error(const std::string& message) const;
  [[noreturn]] void Error(TErrorKind kind, const std::string& message, TErrorParams params = {}) const;

  using TNotifyEvent = std::function<void(TDataSet&)>;
  using TErrorEvent = std::function<void(TDataSet&, const EDatabaseError&, TDataAction&)>;
  TNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TNotifyEvent BeforeScroll, AfterScroll, BeforeRefresh, AfterRefresh, OnCalcFields;
  TNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit, BeforePost, AfterPost;
  TNotifyEvent BeforeCancel, AfterCancel, BeforeDelete, AfterDelete, OnNewRecord;
  TErrorEvent OnEditError, OnPostError, OnDeleteError;

 protected:
  friend class TDataSource;

  // ---- Cursor operations supplied by the concrete dataset ----
  // Opens the cursor and creates the field objects (AddField).
  virtual void InternalOpen() = 0;
  // Closes the cursor; must cope with a half-finished open.
  virtual void InternalClose() = 0;
  virtual bool IsCursorOpen() const = 0;
  // Called after the first record is fetched at open, before AfterOpen.
  virtual void OpenCursorComplete() {}
  // Fetches the current, next or prior record into `buffer`.  With do_check
  // a failure of gmCurrent raises.
  virtual TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool do_check) = 0;
  virtual void InternalFirst() = 0;  // before the first record
  virtual void InternalLast() = 0;   // behind the last record
  virtual size_t RecordBufferSize() const = 0;
  // Called on a freshly zeroed buffer, and before it is freed.
  virtual void InitRecordBuffer(uint8_t* /*buffer*/) {}
  virtual void FreeRecordBuffer(uint8_t* /*buffer*/) {}
  virtual void InternalInitRecord(uint8_t* buffer) = 0;
  virtual void InternalInsert(bool /*append*/) {}
  virtual void InternalEdit() {}
  virtual void InternalPost() = 0;
  virtual void InternalCancel() {}
  virtual void InternalDelete() = 0;
  virtual void InternalRefresh() {}
  virtual void InternalGotoBookmark(TBookmark bookmark) = 0;
  virtual TBookmark BufferBookmark(const uint8_t* buffer) const = 0;
  // Refuses a change (read-only dataset or database).
  virtual void CheckCanModify() const;

  // ---- For the concrete dataset ----
  // The buffer of the current record (the new record in insert state); null
  // when there is none.
  uint8_t* ActiveBuffer() const;
  void AddField(std::unique_ptr<TField> field);
  void DestroyFields();
  void SetState(TDataSetState state);
  // Reads the current record again (after a post, a delete, a refresh, a
  // change of order); falls back to the next, then the prior record.  Then
  // delivers the queued row changes and announces the position: as a data
  // set change when the view generation moved since the last announcement,
  // as a scroll otherwise.
  void Resync();
  // The concrete dataset replaced its view (see ViewGeneration).
  void ViewReplaced() { ++view_generation_; }
  // Queues a row change of the view, delivered by the next Resync (dropped
  // when the view is replaced before that).
  void QueueRowChange(const TViewChange& change) { row_changes_.push_back(change); }
  // Fetches the first record as First does, without the checks and events.
  void FetchFirst();
  void SetModified(bool modified) { modified_ = modified; }
  // Enters a passing state (filter, calculated fields, set-key) without
  // telling the data sources; RestoreState returns to the state given back.
  TDataSetState SetTempState(TDataSetState state) {
    TDataSetState old = state_;
    state_ = state;
    return old;
  }
  void RestoreState(TDataSetState state) { state_ = state; }
  // The buffer the current record is fetched into (valid while open), even
  // when it holds no record.
  uint8_t* CurrentRecordBuffer() const { return current_.get(); }

 protected:
  // A record buffer of RecordBufferSize() bytes, zeroed, prepared by
  // InitRecordBuffer and released through FreeRecordBuffer.
  struct BufferDeleter {
    TDataSet* owner;
    void operator()(uint8_t* buffer) const;
  };
  using Buffer = std::unique_ptr<uint8_t[], BufferDeleter>;
  Buffer AllocBuffer();
  void CheckActive() const;

 private:
  void BeginInsert(bool append);
  // Announces the current position after a move or a change (see Resync).
  void AnnouncePosition();
  void DoOperation(const std::function<void()>& op, const TErrorEvent& on_error);
  static void Fire(const TNotifyEvent& event, TDataSet& self) {
    if (event) event(self);
  }

  TDataSetState state_ = dsInactive;
  std::vector<std::unique_ptr<TField>> fields_;
  std::vector<TDataSource*> sources_;  // not owned
  Buffer current_{nullptr, BufferDeleter{this}};     // the current record
  Buffer new_record_{nullptr, BufferDeleter{this}};  // the record being inserted
  bool has_current_ = false;
  bool eof_ = true;
  bool bof_ = true;
  bool modified_ = false;
  uint64_t view_generation_ = 0;
  uint64_t announced_generation_ = 0;  // the generation the sources last heard of
  std::vector<TViewChange> row_changes_;  // queued until the change completes
};

}  // namespace tdb
