// TTDEDataSet: the record layout, field data access and record numbers of a
// table dataset, over a view list of the table's records.
//
// The view list is the dataset's own copy of the items (record position and
// number) that it shows, in display order: loaded from one of the storage's
// lists, narrowed by a filter or a range, and kept in step with every post
// and delete made through this dataset.  The current position indexes it; -1
// is before the first record.  RecordCount, RecNo and moves of the position
// never touch the file: a record is read only when a buffer is fetched.
//
// A record buffer holds, for every field in table order, its value in the
// in-memory encoding (for a blob field a pointer to a TOptimBlobStream that
// the buffer owns), then the 4-byte bookmark (the record number) and its
// 1-byte flag.  Which buffer field access uses depends on the state: the
// active buffer in browse, edit and insert; the key buffer in set-key; the
// filter buffer in the filter state.
//
// Owned here: the view list, the key buffers, the record buffers' blob
// streams.  The table storage and the database are owned elsewhere.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/dataset/dataset_defs.h"
#include "engine/dataset/tdb_dataset.h"
#include "engine/dataset/variant.h"
#include "engine/filter/filter_parser.h"
#include "engine/filter/filter_source.h"
#include "engine/storage/blob_stream.h"
#include "engine/storage/field_buffers.h"
#include "engine/storage/record_list.h"
#include "engine/storage/table_io.h"

namespace tdb {

class TTDEDataSet : public TTDBDataSet, public TFilterFieldSource {
 public:
  explicit TTDEDataSet(TComponentOwner* owner = nullptr);
  ~TTDEDataSet() override;

  TRadiVOMediumType MediumType() const { return medium_type_; }
  // Allowed only while closed; a database of this name that the session
  // already holds takes the medium type too.
  void SetMediumType(TRadiVOMediumType medium);

  bool AutoCalcFields = true;

  // ---- record numbers ----
  // Items in the view list: records that passed the filter and lie in the range.
  int RecordCount() const override;
  // Position + 1; 1 before the first record of a non-empty view; 0 when empty.
  int RecNo() const override;
  // Ends a pending edit; n below 0, above RecordCount or equal to RecNo is ignored.
  void SetRecNo(int n) override;

  // ---- reading without moving ----
  // The rows at view positions first .. first + count - 1 (those of them
  // that exist), with the values of the fields at `fields` (indexes into the
  // field list), read under one hold of the file lock: what a grid shows of
  // one screen.  A blob field gives a null value and an empty text.  The
  // cursor, the state and any pending edit stay as they are.  REQUIRES: open.
  std::vector<TRowValues> ReadRows(int first, int count, const std::vector<int>& fields) override;
  // As ReadRows for one field, without the texts, reading only that field's
  // slot of each record (a blob field gives null values).
  std::vector<TVariant> ReadValues(int first, int count, int field) override;
  // The record number of the item at a view position.
  TBookmark BookmarkAt(int position) const;
  // The current view position (-1 before the first record).
  int CurrentPosition() const { return position_; }

  // ---- blobs ----
  std::string GetBlobContent(const TField& field) const override;
  void SetBlobContent(TField& field, std::string_view content) override;
  // A stream over the blob field of the active buffer; mode read (0), write
  // (1) or read-write (2).
  std::unique_ptr<TDadaBlobStream> CreateBlobStream(TField& field, TBlobStreamMode mode);

  // ---- field data access ----
  bool GetFieldData(const TField& field, void* dst) const override;
  void SetFieldData(TField& field, const void* src) override;

  // The definitions rebuilt at every open.
  const TFieldDefs& FieldDefs() const { return field_defs_; }

  // ---- filtering ----
  // The filter expression.  While open the text is parsed at once (a wrong
  // text raises before anything changes); when filtered, the filter is
  // applied again, and should that fail the previous text and view stay.
  const std::string& Filter() const override { return filter_text_; }
  void SetFilter(const std::string& text) override;
  bool Filtered() const override { return filtered_; }
  // While open: ends a pending edit, applies or removes the filter, and
  // always ends on the first record.  Should applying fail, Filtered stays off.
  void SetFiltered(bool value) override;
  TFilterOptions FilterOptions() const override { return filter_options_; }
  void SetFilterOptions(TFilterOptions options) override;
  // Per-record hook: accept arrives true; the record passes only when the
  // hook accepts and the filter text (if any) holds.
  std::function<void(TDataSet&, bool& accept)> OnFilterRecord;
  // Progress of applying a filter, once per record read: trunc(i * 100 / count).
  std::function<void(TDataSet&, int percent)> OnFilterProgress;

  // ---- record search ----
  // The framework's find operations: the first (last, next, prior) record
  // that passes the record test whatever Filtered says; the position stays
  // when none passes.  Answer whether one was found.
  bool FindFirst();
  bool FindLast();
  bool FindNext();
  bool FindPrior();

  // TFilterFieldSource
  std::optional<TFilterFieldInfo> FindFilterField(std::string_view name) const override;
  const uint8_t* FieldValuePointer(int index) const override;
  std::string BlobFieldText(int index) const override;

 protected:
  // The buffer that field access uses in the current state; null when none.
  uint8_t* FieldBuffer() const;

  // Layout, built at open from the table's definitions.
  void BuildLayout(const TDadaTableIO& table);
  void ClearLayout();
  size_t RecordBufferSize() const override { return buffer_size_; }
  void InitRecordBuffer(uint8_t* buffer) override;
  void FreeRecordBuffer(uint8_t* buffer) override;
  TBookmark BufferBookmark(const uint8_t* buffer) const override;
  // The new-record values: zero, except today for dates, now for times and
  // 30 December 1899 for date-times; blob streams emptied.
  void InternalInitRecord(uint8_t* buffer) override;

  // The items of `buffer` for the storage, one per table field.
  void BuildFieldBuffers(uint8_t* buffer, TFieldBuffers& out) const;
  TOptimBlobStream* StreamOf(const uint8_t* buffer, const TField& field) const;
  // Reads the record at view position `pos` into `buffer`; with `only`, just
  // the fields whose entry in it is true (the others keep what they held).
  void ReadViewRecord(uint8_t* buffer, int pos, const std::vector<bool>* only = nullptr);

  // The storage the view list comes from; set by TDadaTable while open.
  TDadaTableIO* table_io_ = nullptr;
  TRecordList view_;         // the items shown, in display order
  int position_ = -1;        // index into view_; -1 before the first
  bool modifiable_ = false;  // set whenever a view list is loaded
  bool filtered_view_ = false;  // the view is narrowed by a filter
  bool range_ = false;          // the view is narrowed by a range
  // The storage's ChangeCount() when the view last matched its list item for
  // item.  Another dataset's changes move the count on; the storage's
  // positions then no longer count in this view, and it goes by keys.
  uint64_t view_version_ = 0;
  int range_key_fields_ = 0;
  Buffer key_start_{nullptr, BufferDeleter{this}};
  Buffer key_end_{nullptr, BufferDeleter{this}};
  uint8_t* key_buffer_ = nullptr;     // the key buffer field access uses in set-key
  uint8_t* filter_buffer_ = nullptr;  // the buffer field access uses in the filter state
  TFieldDefs field_defs_;
  // Where each field's value lies in a record buffer, worked out with the
  // layout, so that handing a buffer to the storage is a short loop.
  struct TSlotLayout {
    int32_t offset = 0;
    TFieldType type = ftUnknown;
    int32_t data_size = 0;  // 0 for a blob: the slot holds its stream
    bool blob = false;
  };
  std::vector<TSlotLayout> slot_layout_;
  TRadiVOMediumType medium_type_ = mtDisk;


  // Enters the filter state with `buffer` as the filter buffer for its
  // lifetime and leaves it again, also when an error passes through.
  class TFilterScope {
   public:
    TFilterScope(TTDEDataSet& dataset, uint8_t* buffer)
        : dataset_(dataset), old_state_(dataset.SetTempState(dsFilter)), old_buffer_(dataset.filter_buffer_) {
      dataset.filter_buffer_ = buffer;
    }
    ~TFilterScope() {
      dataset_.filter_buffer_ = old_buffer_;
      dataset_.RestoreState(old_state_ == dsFilter ? dsBrowse : old_state_);
    }
    TFilterScope(const TFilterScope&) = delete;
    TFilterScope& operator=(const TFilterScope&) = delete;

   private:
    TTDEDataSet& dataset_;
    TDataSetState old_state_;
    uint8_t* old_buffer_;
  };

  // Applies the filter to the current view list (see SetFiltered); always
  // ends in browse state on the first record.
  void ApplyFilter();
  // Loads the view list again from the current order and goes to the first record.
  void RemoveFilter();
  // Reloads the view list from the storage's order of the current index.
  virtual void LoadViewList() = 0;
  // Whether the record in the filter buffer passes OnFilterRecord and the
  // parsed filter.
  bool RecordPasses();
  // Per field, whether the parsed filter expression names it (all false for
  // an empty filter text).
  std::vector<bool> FilterFields() const;
  // Parses the filter text when it is not empty.
  void ParseFilter(const std::string& text);
  bool Search(bool forward, bool from_end);

  std::string filter_text_;
  bool filtered_ = false;
  TFilterOptions filter_options_ = 0;
  std::unique_ptr<TFilterParser> parser_;  // bound to this dataset for its whole life

 private:
  // The rows at view positions first .. first + count - 1 that exist, as
  // `first` (moved up to 0) .. the returned end (exclusive; == first when
  // there are none): ReadRows' and ReadValues' range.
  int ViewRangeEnd(int& first, int count) const;
  TFieldBuffers read_items_;  // the items of the last ReadViewRecord, kept for their capacity
  size_t data_size_ = 0;    // the data area
  size_t buffer_size_ = 0;  // data area + 5
};

}  // namespace tdb
