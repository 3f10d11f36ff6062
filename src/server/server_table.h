// TServerTable: one of the program's four tables on a PostgreSQL server as a
// navigable, editable dataset, in the order of one of its indexes.
//
// It offers what the screens use of the table dataset: the same fields and
// index names (an index name orders the view; a name that matches none gives
// the order records were stored in), filters in the filter language, Locate
// and Lookup, ranges on the current index, record counts and record numbers.
//
// The view is never held whole.  Rows come in blocks read by key: "the rows
// after this one in the current order" (`WHERE (key, rec_id) > (...) ORDER BY
// key, rec_id LIMIT n`), so the first screen of a large table costs a count
// and one block, and a move far from the rows at hand reads onward from the
// nearer end.  A filter goes to the server as an SQL condition with
// parameters; what has no translation (server_filter.h) is evaluated here on
// every row the server sends, and the view is then read whole.
//
// Changes: an edit begins from the record as stored now (read again); a
// record is changed and deleted only in the version it was read
// in ("Record changed by another user" / "Record deleted by another user"
// otherwise, and nothing is stored); a new record takes its number from
// formix_numbers in the transaction that stores it; PurgeMarked removes the
// marked records and numbers the rest in one transaction.  Every change is
// announced to the other sessions; TakeChange and WaitForChange tell whether
// another one changed this table, and Refresh then reads the view again.
//
// Single thread.  The connection is shared by the datasets of one program.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/database_creator.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/dataset.h"
#include "engine/dataset/variant.h"
#include "engine/filter/filter_parser.h"
#include "engine/filter/filter_source.h"
#include "server/server_connection.h"
#include "server/server_filter.h"

namespace server {

class TServerTable : public tdb::TDataSet, public tdb::TFilterFieldSource {
 public:
  explicit TServerTable(std::shared_ptr<ServerConnection> connection);
  // The connection is asked of `source` when the table first opens.
  using ConnectionSource = std::function<std::shared_ptr<ServerConnection>()>;
  explicit TServerTable(ConnectionSource source);
  ~TServerTable() override;

  // REQUIRES: opened once, or made with a connection.
  ServerConnection& Connection() const { return *connection_; }

  const std::string& TableName() const { return table_name_; }
  // Refused while open when the name differs.
  void SetTableName(const std::string& name);
  // The field that numbers the records (new numbers, the renumbering of a
  // purge) and the one that marks them for deletion; none unless given
  // (a table without them takes no new numbers and cannot be purged).
  // Refused while open.
  void SetNumberFields(const std::string& number, const std::string& mark);
  const std::string& IndexName() const override { return index_name_; }
  // Stored at any time; while open it ends a pending edit, orders the view by
  // the index and makes the first record current.
  void SetIndexName(const std::string& name) override;
  // The chosen index among the table's, -1 for record order.
  int CurrentIndexNo() const { return index_no_; }
  std::string IndexFields() const override;

  // A new record takes the next number into its `nomer` field when posted
  // (the number typed in is replaced).  Off, the number is stored as given
  // (the copy of a data folder).  SetNewNumber decides for the one record
  // it is called for.
  bool AssignNumbers = true;

  // ---- numbers ----
  // The highest value of the integer field in the whole table; for `nomer`
  // also the last number given, so that NextNumber offers the number a new
  // record takes when no one else stores one first.
  int32_t HighestValue(const std::string& field) override;
  // The record being inserted takes the next number at Post while its
  // `nomer` still holds `offered`; a number typed over it is stored as
  // typed.
  void SetNewNumber(const std::string& field, int32_t offered) override;
  int32_t OfferedNumber() const override { return offered_number_; }
  int32_t StoredNumber() const override { return stored_number_; }

  // Whether the session's role may insert, update and delete in the table
  // (asked of the server at open); a refusal is ekReadOnly naming the server.
  bool CanModify() const override { return can_modify_; }
  void CheckCanModify() const override;

  // ---- record numbers ----
  int RecordCount() const override { return Active() ? count_ : 0; }
  int RecNo() const override;
  void SetRecNo(int n) override;

  // ---- filter ----
  const std::string& Filter() const override { return filter_text_; }
  // While open the text is parsed at once (a wrong text raises and nothing
  // changes); when filtered the view is read again.
  void SetFilter(const std::string& text) override;
  bool Filtered() const override { return filtered_; }
  void SetFiltered(bool value) override;
  tdb::TFilterOptions FilterOptions() const override { return filter_options_; }
  void SetFilterOptions(tdb::TFilterOptions options) override;
  // Whether a part of the active filter is evaluated here, row by row.
  bool FilterEvaluatedHere() const { return filtered_ && sql_filter_.residual; }

  // ---- search ----
  bool Locate(const std::string& key_fields, const std::vector<tdb::TVariant>& values,
              tdb::TLocateOptions options) override;
  // The first view position whose value of `field`, the first key field of
  // the current index, is not below `key`; the row found stays at hand.
  tdb::TNearest FindNearest(const tdb::TField& field, const tdb::TVariant& key, bool partial,
                            bool case_insensitive) override;

  // ---- reading without moving ----
  // Rows of the view by position, read in blocks as the grid asks for them.
  std::vector<tdb::TRowValues> ReadRows(int first, int count, const std::vector<int>& fields) override;
  // One field's values by position, without texts: a block of them is one
  // query of that column (and the view's key) onward from the row before
  // `first`, so a sum over the view reads no whole rows and leaves the
  // rows at hand alone.
  std::vector<tdb::TVariant> ReadValues(int first, int count, int field) override;
  // The sum of an amount field (ftCurrency) over the whole view, summed by
  // the server under the view's condition, each amount rounded to the
  // currency's four decimals as the dataset reads it; nothing for another
  // type or when part of the filter is evaluated here.
  std::optional<tdb::TCurrency> ViewTotal(int field);
  std::optional<std::vector<tdb::TVariant>> Lookup(const std::string& key_fields,
                                                   const std::vector<tdb::TVariant>& values,
                                                   const std::string& result_fields);

  // ---- range ----
  // Narrows the view to the keys from `low` to `high` (both included) of the
  // first fields of the current index, one value per field; makes the first
  // record current.  Raises "No index currently active" in record order.
  void SetRange(const std::vector<tdb::TVariant>& low, const std::vector<tdb::TVariant>& high);
  void CancelRange();

  // ---- the whole table ----
  // Removes the records marked in `slugebnoe` and numbers the rest 1, 2, 3 in
  // the current order, in one transaction; the next number given is then the
  // count plus one.  Answers how many were removed (and in `renumbered` how
  // many kept records got another number).  Ends a pending edit first; the
  // last record is current afterwards.
  int PurgeMarked(int* renumbered = nullptr);

  // ---- other sessions ----
  // Whether another session, or another dataset of this one, changed the
  // table since the last call or since this dataset last read its view.
  // Reads what the socket holds, without a statement.
  bool TakeChange();
  // In browse state, after such a change: reads the view again, keeping
  // the current record.  Costs no statement when nothing changed.
  bool RefreshIfChanged() override;
  // Waits up to timeout_ms on the connection's socket for such a change.
  bool WaitForChange(int timeout_ms);

  // ---- field data access ----
  bool GetFieldData(const tdb::TField& field, void* dst) const override;
  void SetFieldData(tdb::TField& field, const void* src) override;

  // TFilterFieldSource
  std::optional<tdb::TFilterFieldInfo> FindFilterField(std::string_view name) const override;
  const uint8_t* FieldValuePointer(int index) const override;
  std::string BlobFieldText(int) const override { return {}; }

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return cursor_open_; }
  tdb::TGetResult GetRecord(uint8_t* buffer, tdb::TGetMode mode, bool do_check) override;
  void InternalFirst() override;
  void InternalLast() override;
  size_t RecordBufferSize() const override { return data_size_ + kTrailer; }
  void InternalInitRecord(uint8_t* buffer) override;
  void InternalInsert(bool append) override;
  void InternalPost() override;
  void InternalDelete() override;
  void InternalRefresh() override;
  void InternalEdit() override;
  void InternalCancel() override;
  void InternalGotoBookmark(tdb::TBookmark bookmark) override;
  tdb::TBookmark BufferBookmark(const uint8_t* buffer) const override;

 private:
  // Behind the data area of a buffer: rec_id (4 bytes), row_version (8).
  static constexpr size_t kTrailer = 12;
  struct Row {
    std::vector<uint8_t> data;  // data area, then the trailer
    int32_t Id() const;
    int64_t Version() const;
  };

  uint8_t* FieldBuffer() const;
  std::string SelectList() const;
  // The view's condition (filter and range), its parameters appended to `params`.
  std::string ViewWhere(std::vector<ServerParam>& params) const;
  // ORDER BY of the view, ascending or descending.
  std::string OrderBy(bool descending) const;
  // "(k1, ..., rec_id) OP (params of row's key)"
  std::string KeyCondition(const Row& row, const char* op, std::vector<ServerParam>& params) const;
  std::vector<Row> QueryRows(const std::string& sql, const std::vector<ServerParam>& params);
  // A block of the view after (before, when backward) `from` (from the
  // start or the end when null).
  std::vector<Row> FetchBlock(const Row* from, bool backward, int limit);
  // The row at view position p, reading blocks as needed; null when none.
  const Row* RowAt(int p);
  // Reads the count (unless told not to) and drops the rows at hand;
  // position before the first.
  void LoadView(bool count = true);
  // Counts the view's rows into count_.
  void CountView();
  // Makes `row` the current record, the only one at hand, its view position
  // not yet counted (see Resolve).
  void AnchorAt(Row row);
  // Counts where the rows at hand stand in the view, once after AnchorAt.
  void Resolve();
  // Reads the whole view, evaluating the filter here.
  void LoadWholeView();
  bool PassesHere(const Row& row);
  // Record `id` as the server holds it now, when the view's condition lets
  // it in.
  std::optional<Row> ViewRow(int32_t id);
  // The view position of record `id`, -1 when the view does not hold it.
  int PositionOf(int32_t id);
  // The view position `row` would stand at (rows before it).
  int PositionOfKey(const Row& row);
  void ChooseIndex();
  void ApplyFilter();
  // A key field's value as the parameter text, converted through the field.
  std::string VariantParam(tdb::TField& field, const tdb::TVariant& value);
  // The first row of the view a Locate or Lookup finds (tdb::LocateKeys).
  std::optional<Row> FindFirst(const std::string& key_fields, const std::vector<tdb::TVariant>& values,
                               tdb::TLocateOptions options);
  [[noreturn]] void RaiseStale(int32_t id);
  // The table's changes as the connection counts them.
  uint64_t ChangesHeard();
  // This dataset changed the table: the others learn of it, this one does
  // not read it as news (unless other news came meanwhile).
  void NoteOwnChange(uint64_t heard_before);
  void CopyRow(const Row& row, uint8_t* buffer) const;

  std::shared_ptr<ServerConnection> connection_;
  ConnectionSource source_;
  const receipts::TableSchema* schema_ = nullptr;
  std::string table_name_;
  std::string sql_table_;
  std::string index_name_;
  int index_no_ = -1;
  std::vector<int> order_fields_;  // field positions of the current index
  bool cursor_open_ = false;
  size_t data_size_ = 0;
  std::vector<int32_t> offsets_;
  bool can_modify_ = true;
  std::string number_name_, mark_name_;  // SetNumberFields
  int number_field_ = -1;
  int mark_field_ = -1;

  int count_ = 0;
  // The changes heard (ChangesHeard) when count_ was counted; none when it
  // has been kept up by this dataset's own moves since.
  std::optional<uint64_t> counted_at_;
  int pos_ = -1;
  std::deque<Row> win_;  // rows at hand: view positions win_start_ ...
  int win_start_ = 0;
  // After a change of this dataset the positions of the rows at hand count
  // from the changed record until something needs the real ones: a post
  // costs no count of the rows before it.
  bool unresolved_ = false;
  bool whole_ = false;  // win_ holds the whole view (filter evaluated here)

  std::string filter_text_;
  bool filtered_ = false;
  tdb::TFilterOptions filter_options_ = 0;
  std::unique_ptr<tdb::TFilterParser> parser_;
  SqlFilter sql_filter_;
  Buffer filter_buffer_{nullptr, BufferDeleter{this}};
  uint8_t* filter_ptr_ = nullptr;

  bool range_ = false;
  std::vector<ServerParam> range_low_, range_high_;

  // Where the last ReadValues block ended (its key), while the view is the
  // one it read: the next block reads on from there.
  struct ValuesEnd {
    uint64_t view;
    int position;
    Row row;
  };
  uint64_t view_stamp_ = 0;  // grows whenever the view's positions may move
  std::optional<ValuesEnd> values_end_;

  uint64_t seen_changes_ = 0;
  bool new_number_ = false;  // SetNewNumber was called for the pending insert
  int32_t new_number_offered_ = 0;
  int32_t offered_number_ = 0;
  int32_t stored_number_ = 0;
};

}  // namespace server
