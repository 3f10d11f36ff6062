// The server table dataset: blocks read by key, changes checked by version.
#include "server/server_table.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "engine/base/ascii.h"
#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/compare/value_compare.h"
#include "engine/dataset/field.h"
#include "engine/dataset/locate_keys.h"
#include "engine/format/field_types.h"
#include "engine/locale/date_time.h"
#include "server/server_schema.h"

namespace server {
namespace {

constexpr int kBlock = 200;              // rows per read
constexpr size_t kWindowRows = 20 * kBlock;  // rows kept at hand at most

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

int32_t TServerTable::Row::Id() const { return tdb::GetInt32LE(data.data() + data.size() - kTrailer); }
int64_t TServerTable::Row::Version() const { return tdb::GetInt64LE(data.data() + data.size() - 8); }

TServerTable::TServerTable(std::shared_ptr<ServerConnection> connection) : connection_(std::move(connection)) {}

TServerTable::TServerTable(ConnectionSource source) : source_(std::move(source)) {}

TServerTable::~TServerTable() {
  try {
    Close();
  } catch (...) {
    // A destructor must not throw; the cursor is released regardless.
  }
}

void TServerTable::SetNumberFields(const std::string& number, const std::string& mark) {
  if (Active()) Error("Cannot perform this operation on an open dataset");
  number_name_ = number;
  mark_name_ = mark;
}

void TServerTable::SetTableName(const std::string& name) {
  if (name == table_name_) return;
  if (Active()) Error("Cannot perform this operation on an open dataset");
  table_name_ = name;
}

// ---- open and close ----

void TServerTable::InternalOpen() {
  if (!connection_ && source_) connection_ = source_();
  if (!connection_) Error(tdb::ekCannotOpen, "No database server connection");
  schema_ = FindTableSchema(table_name_);
  if (!schema_) {
    tdb::TErrorParams params;
    params.Table = table_name_;
    params.Server = connection_->Description();
    Error(tdb::ekTableMissing, tdb::Format("Table '%s' not found", {table_name_}), params);
  }
  sql_table_ = SqlName(schema_->name);
  offsets_.clear();
  data_size_ = 0;
  int no = 1;
  for (const receipts::FieldSchema& f : schema_->fields) {
    auto field = std::make_unique<tdb::TField>(this, f.name, static_cast<tdb::TFieldType>(f.type), f.size, no++);
    field->SetOffset(static_cast<int32_t>(data_size_));
    offsets_.push_back(static_cast<int32_t>(data_size_));
    data_size_ += static_cast<size_t>(SlotSize(f));
    AddField(std::move(field));
  }
  number_field_ = mark_field_ = -1;
  for (int i = 0; i < FieldCount(); ++i) {
    if (!number_name_.empty() && tdb::SameAsciiIgnoringCase(Field(i).FieldName(), number_name_)) number_field_ = i;
    if (!mark_name_.empty() && tdb::SameAsciiIgnoringCase(Field(i).FieldName(), mark_name_)) mark_field_ = i;
  }
  parser_ = std::make_unique<tdb::TFilterParser>(*this);
  filter_buffer_ = AllocBuffer();
  can_modify_ = connection_->Exec("SELECT has_table_privilege($1, 'INSERT') AND has_table_privilege($1, 'UPDATE') "
                                  "AND has_table_privilege($1, 'DELETE')",
                                  {sql_table_}).Text(0, 0) == "t";
  connection_->Listen();
  seen_changes_ = ChangesHeard();
  cursor_open_ = true;
  ChooseIndex();
  ApplyFilter();
}

void TServerTable::CheckCanModify() const {
  if (can_modify_) return;
  tdb::TErrorParams params;
  params.Table = schema_ ? schema_->name : table_name_;
  params.Server = connection_ ? connection_->Description() : std::string();
  Error(tdb::ekReadOnly, "Permission denied: the role may only read this table", params);
}

void TServerTable::InternalClose() {
  cursor_open_ = false;
  win_.clear();
  whole_ = false;
  count_ = 0;
  counted_at_.reset();
  pos_ = -1;
  filter_ptr_ = nullptr;
  filter_buffer_.reset();
  parser_.reset();
  sql_filter_ = SqlFilter{};
  range_ = false;
  range_low_.clear();
  range_high_.clear();
  schema_ = nullptr;
}

void TServerTable::ChooseIndex() {
  index_no_ = -1;
  order_fields_.clear();
  for (size_t i = 0; i < schema_->indexes.size(); ++i)
    if (tdb::SameAsciiIgnoringCase(schema_->indexes[i].name, index_name_)) index_no_ = static_cast<int>(i);
  if (index_no_ < 0) return;
  for (const std::string& name : schema_->indexes[static_cast<size_t>(index_no_)].fields)
    for (int f = 0; f < FieldCount(); ++f)
      if (tdb::SameAsciiIgnoringCase(Field(f).FieldName(), name)) order_fields_.push_back(f);
}

void TServerTable::SetIndexName(const std::string& name) {
  index_name_ = name;
  if (!Active()) return;
  CheckBrowseMode();
  ChooseIndex();
  // Another order of the same rows: their count holds while no change was
  // heard since it was taken (nor a range that narrowed it).
  const bool same_rows = !range_ && !whole_ && counted_at_ && *counted_at_ == ChangesHeard();
  range_ = false;
  if (same_rows) {
    const int count = count_;
    LoadView(false);
    count_ = count;
    counted_at_ = seen_changes_;
  } else {
    LoadView();
  }
  FetchFirst();
}

// ---- queries ----

std::string TServerTable::SelectList() const {
  std::string out;
  for (const receipts::FieldSchema& f : schema_->fields) out += SelectExpression(f) + ", ";
  return out + "rec_id, row_version";
}

std::string TServerTable::ViewWhere(std::vector<ServerParam>& params) const {
  std::string where = "true";
  if (filtered_ && !sql_filter_.where.empty()) {
    // The filter's conditions count their parameters from $1.
    params.insert(params.begin(), sql_filter_.params.begin(), sql_filter_.params.end());
    where = sql_filter_.where;
  }
  if (range_) {
    std::string cols, low, high;
    for (size_t i = 0; i < range_low_.size(); ++i) {
      const receipts::FieldSchema& f = schema_->fields[static_cast<size_t>(order_fields_[i])];
      params.push_back(range_low_[i]);
      const std::string lp = ParamExpression(f, static_cast<int>(params.size()));
      params.push_back(range_high_[i]);
      const std::string hp = ParamExpression(f, static_cast<int>(params.size()));
      for (const std::string& t : OrderTerms(f, SqlName(f.name))) cols += (cols.empty() ? "" : ", ") + t;
      for (const std::string& t : OrderTerms(f, lp)) low += (low.empty() ? "" : ", ") + t;
      for (const std::string& t : OrderTerms(f, hp)) high += (high.empty() ? "" : ", ") + t;
    }
    where += " AND ROW(" + cols + ") >= ROW(" + low + ") AND ROW(" + cols + ") <= ROW(" + high + ")";
  }
  return where;
}

std::string TServerTable::OrderBy(bool descending) const {
  const char* dir = descending ? " DESC" : "";
  std::string out = " ORDER BY ";
  for (int f : order_fields_) {
    const receipts::FieldSchema& field = schema_->fields[static_cast<size_t>(f)];
    for (const std::string& t : OrderTerms(field, SqlName(field.name))) out += "(" + t + ")" + dir + ", ";
  }
  return out + "rec_id" + dir;
}

std::string TServerTable::KeyCondition(const Row& row, const char* op, std::vector<ServerParam>& params) const {
  std::string cols, vals;
  for (int f : order_fields_) {
    const receipts::FieldSchema& field = schema_->fields[static_cast<size_t>(f)];
    params.push_back(ParamText(field, row.data.data() + offsets_[static_cast<size_t>(f)]));
    for (const std::string& t : OrderTerms(field, SqlName(field.name))) cols += t + ", ";
    for (const std::string& t : OrderTerms(field, ParamExpression(field, static_cast<int>(params.size()))))
      vals += t + ", ";
  }
  params.push_back(std::to_string(row.Id()));
  cols += "rec_id";
  vals += "$" + std::to_string(params.size()) + "::integer";
  return "ROW(" + cols + ") " + op + " ROW(" + vals + ")";
}

std::vector<TServerTable::Row> TServerTable::QueryRows(const std::string& sql, const std::vector<ServerParam>& params) {
  ServerResult r = connection_->Exec(sql, params);
  std::vector<Row> rows(static_cast<size_t>(r.Rows()));
  const int n = static_cast<int>(schema_->fields.size());
  for (int i = 0; i < r.Rows(); ++i) {
    Row& row = rows[static_cast<size_t>(i)];
    row.data.assign(data_size_ + kTrailer, 0);
    for (int c = 0; c < n; ++c)
      StoreText(schema_->fields[static_cast<size_t>(c)], r.Raw(i, c), r.Length(i, c),
                row.data.data() + offsets_[static_cast<size_t>(c)]);
    tdb::PutInt32LE(row.data.data() + data_size_, static_cast<int32_t>(r.Integer(i, n)));
    tdb::PutInt64LE(row.data.data() + data_size_ + 4, r.Integer(i, n + 1));
  }
  return rows;
}

std::vector<TServerTable::Row> TServerTable::FetchBlock(const Row* from, bool backward, int limit) {
  std::vector<ServerParam> params;
  std::string sql = "SELECT " + SelectList() + " FROM " + sql_table_ + " WHERE " + ViewWhere(params);
  if (from) sql += " AND " + KeyCondition(*from, backward ? "<" : ">", params);
  sql += OrderBy(backward) + " LIMIT " + std::to_string(limit);
  std::vector<Row> rows = QueryRows(sql, params);
  if (backward) std::reverse(rows.begin(), rows.end());
  return rows;
}

void TServerTable::LoadView(bool count) {
  ++view_stamp_;
  // What changed from here on is news for the view read now.
  seen_changes_ = ChangesHeard();
  ViewReplaced();
  win_.clear();
  win_start_ = 0;
  unresolved_ = false;
  pos_ = -1;
  whole_ = false;
  counted_at_.reset();
  if (filtered_ && sql_filter_.residual) {
    LoadWholeView();
    return;
  }
  if (count) CountView();
}

void TServerTable::CountView() {
  const uint64_t heard = ChangesHeard();
  std::vector<ServerParam> params;
  std::string sql = "SELECT count(*) FROM " + sql_table_ + " WHERE " + ViewWhere(params);
  count_ = static_cast<int>(connection_->Exec(sql, params).Integer(0, 0));
  counted_at_ = heard;
}

void TServerTable::LoadWholeView() {
  // The parser binds its fields to the filter buffer at the first evaluation
  // after a parse.
  parser_->Parse(filter_text_);
  std::vector<ServerParam> params;
  std::string sql = "SELECT " + SelectList() + " FROM " + sql_table_ + " WHERE " + ViewWhere(params) + OrderBy(false);
  std::vector<Row> rows = QueryRows(sql, params);
  win_.clear();
  for (Row& row : rows)
    if (PassesHere(row)) win_.push_back(std::move(row));
  win_start_ = 0;
  whole_ = true;
  count_ = static_cast<int>(win_.size());
}

bool TServerTable::PassesHere(const Row& row) {
  std::memcpy(filter_buffer_.get(), row.data.data(), data_size_ + kTrailer);
  filter_ptr_ = filter_buffer_.get();
  tdb::TDataSetState old = SetTempState(tdb::dsFilter);
  bool pass = false;
  try {
    pass = parser_->Evaluate(filter_options_);
  } catch (...) {
    RestoreState(old);
    throw;
  }
  RestoreState(old);
  return pass;
}

void TServerTable::AnchorAt(Row row) {
  ++view_stamp_;
  ViewReplaced();
  win_.clear();
  win_.push_back(std::move(row));
  win_start_ = 0;
  pos_ = 0;
  unresolved_ = true;
}

void TServerTable::Resolve() {
  if (!unresolved_) return;
  unresolved_ = false;
  if (win_.empty()) return;
  const int shift = PositionOfKey(win_.front()) - win_start_;
  win_start_ += shift;
  pos_ += shift;
}

const TServerTable::Row* TServerTable::RowAt(int p) {
  if (whole_) return p >= 0 && p < static_cast<int>(win_.size()) ? &win_[static_cast<size_t>(p)] : nullptr;
  const int far = 4 * kBlock;
  if (unresolved_ && (win_.empty() || p < win_start_ - far || p >= win_start_ + static_cast<int>(win_.size()) + far)) {
    const int before = pos_;
    Resolve();
    p += pos_ - before;
  }
  if (p < 0 && !unresolved_) return nullptr;
  const int end = win_start_ + static_cast<int>(win_.size());
  // Far from the rows at hand and nearer an end of the view: start there.
  if (win_.empty() || (p < win_start_ - far && p < win_start_ - p) || (p >= end + far && count_ - p < p - end)) {
    win_.clear();
    if (p < count_ - p) {
      for (Row& r : FetchBlock(nullptr, false, kBlock)) win_.push_back(std::move(r));
      win_start_ = 0;
    } else {
      // Counted again: positions from the end hold only with the true count.
      CountView();
      std::vector<Row> rows = FetchBlock(nullptr, true, kBlock);
      for (Row& r : rows) win_.push_back(std::move(r));
      win_start_ = std::max(0, count_ - static_cast<int>(win_.size()));
    }
    if (win_.empty()) {
      count_ = 0;
      return nullptr;
    }
  }
  while (p < win_start_) {
    std::vector<Row> rows = FetchBlock(&win_.front(), true, kBlock);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) win_.push_front(std::move(*it));
    win_start_ -= static_cast<int>(rows.size());
    if (static_cast<int>(rows.size()) < kBlock && (win_start_ != 0 || unresolved_)) {
      // The view begins here (other sessions changed it since it was
      // counted, or positions counted from a changed record).
      pos_ -= win_start_;
      p -= win_start_;
      win_start_ = 0;
      unresolved_ = false;
    }
    while (win_.size() > kWindowRows) win_.pop_back();
    if (rows.empty()) break;
  }
  while (p >= win_start_ + static_cast<int>(win_.size())) {
    std::vector<Row> rows = FetchBlock(&win_.back(), false, kBlock);
    if (rows.empty()) {
      if (!unresolved_) count_ = win_start_ + static_cast<int>(win_.size());
      return nullptr;
    }
    for (Row& r : rows) win_.push_back(std::move(r));
    while (win_.size() > kWindowRows) {
      win_.pop_front();
      ++win_start_;
    }
  }
  if (p < win_start_ || p >= win_start_ + static_cast<int>(win_.size())) return nullptr;
  return &win_[static_cast<size_t>(p - win_start_)];
}

int TServerTable::PositionOfKey(const Row& row) {
  if (whole_) {
    for (size_t i = 0; i < win_.size(); ++i)
      if (win_[i].Id() == row.Id()) return static_cast<int>(i);
    return -1;
  }
  std::vector<ServerParam> params;
  std::string sql = "SELECT count(*) FROM " + sql_table_ + " WHERE " + ViewWhere(params);
  sql += " AND " + KeyCondition(row, "<", params);
  return static_cast<int>(connection_->Exec(sql, params).Integer(0, 0));
}

std::optional<TServerTable::Row> TServerTable::ViewRow(int32_t id) {
  std::vector<ServerParam> params;
  std::string where = ViewWhere(params);
  params.push_back(std::to_string(id));
  std::vector<Row> rows = QueryRows("SELECT " + SelectList() + " FROM " + sql_table_ + " WHERE " + where +
                                       " AND rec_id = $" + std::to_string(params.size()) + "::integer",
                                   params);
  if (rows.empty()) return std::nullopt;
  return std::move(rows[0]);
}

int TServerTable::PositionOf(int32_t id) {
  for (size_t i = 0; i < win_.size(); ++i)
    if (win_[i].Id() == id) return win_start_ + static_cast<int>(i);
  if (whole_) return -1;
  std::optional<Row> row = ViewRow(id);
  return row ? PositionOfKey(*row) : -1;
}

void TServerTable::CopyRow(const Row& row, uint8_t* buffer) const {
  std::memcpy(buffer, row.data.data(), data_size_ + kTrailer);
}

// ---- fetch ----

tdb::TGetResult TServerTable::GetRecord(uint8_t* buffer, tdb::TGetMode mode, bool do_check) {
  if (count_ == 0 && !whole_) {
    // A view counted empty may have rows by now; they show after Refresh.
    return tdb::grEOF;
  }
  const Row* row = nullptr;
  switch (mode) {
    case tdb::gmCurrent:
      row = RowAt(pos_);
      if (!row && !unresolved_ && count_ > 0 && pos_ >= count_) {
        // The view ended before its count: other sessions removed records
        // since it was counted.  The last record stands in.
        pos_ = count_ - 1;
        row = RowAt(pos_);
      }
      if (!row) {
        if (do_check) Error("No records");
        return tdb::grError;
      }
      break;
    case tdb::gmNext:
      row = RowAt(pos_ + 1);
      if (!row) return tdb::grEOF;
      ++pos_;
      break;
    case tdb::gmPrior:
      if (pos_ <= 0 && !unresolved_) return tdb::grBOF;
      row = RowAt(pos_ - 1);
      if (!row && !unresolved_ && count_ > 0 && pos_ - 1 >= count_) {
        pos_ = count_;
        row = RowAt(pos_ - 1);
      }
      if (!row) return tdb::grBOF;
      --pos_;
      break;
  }
  CopyRow(*row, buffer);
  if (OnCalcFields) OnCalcFields(*this);
  return tdb::grOK;
}

void TServerTable::InternalFirst() {
  if (unresolved_) {
    // Positions counted from a changed record say nothing of the first one.
    win_.clear();
    win_start_ = 0;
    unresolved_ = false;
  }
  pos_ = -1;
}

void TServerTable::InternalLast() {
  Resolve();
  pos_ = count_;
}

int TServerTable::RecNo() const {
  if (!Active() || count_ == 0) return 0;
  const_cast<TServerTable*>(this)->Resolve();
  return pos_ < 0 ? 1 : pos_ + 1;
}

void TServerTable::SetRecNo(int n) {
  CheckBrowseMode();
  Resolve();
  if (n < 0 || n > RecordCount() || n == RecNo()) return;
  if (BeforeScroll) BeforeScroll(*this);
  pos_ = n - 1;
  Resync();
  if (AfterScroll) AfterScroll(*this);
}

void TServerTable::InternalGotoBookmark(tdb::TBookmark bookmark) {
  for (size_t i = 0; i < win_.size(); ++i)
    if (win_[i].Id() == bookmark) {
      pos_ = win_start_ + static_cast<int>(i);
      return;
    }
  std::optional<Row> row = whole_ ? std::nullopt : ViewRow(bookmark);
  if (!row) Error("Bookmark not found");
  // The rows at hand start again at the record, where it stands counted:
  // its neighbours are read by its key, not walked to from an end.
  const int p = PositionOfKey(*row);
  win_.clear();
  win_.push_back(std::move(*row));
  win_start_ = p;
  pos_ = p;
  unresolved_ = false;
}

tdb::TBookmark TServerTable::BufferBookmark(const uint8_t* buffer) const {
  return tdb::GetInt32LE(buffer + data_size_);
}

// ---- field access ----

uint8_t* TServerTable::FieldBuffer() const {
  switch (State()) {
    case tdb::dsBrowse:
    case tdb::dsEdit:
    case tdb::dsInsert:
    case tdb::dsNewValue:
    case tdb::dsCalcFields: return ActiveBuffer();
    case tdb::dsFilter: return filter_ptr_;
    default: return nullptr;
  }
}

bool TServerTable::GetFieldData(const tdb::TField& field, void* dst) const {
  const uint8_t* buffer = FieldBuffer();
  if (!buffer) return false;
  std::memcpy(dst, buffer + field.Offset(), static_cast<size_t>(field.DataSize()));
  return true;
}

void TServerTable::SetFieldData(tdb::TField& field, const void* src) {
  uint8_t* buffer = FieldBuffer();
  if (!buffer) return;
  if (src) std::memcpy(buffer + field.Offset(), src, static_cast<size_t>(field.DataSize()));
  if (State() != tdb::dsCalcFields && State() != tdb::dsFilter)
    DataEvent(tdb::deFieldChange, reinterpret_cast<intptr_t>(&field));
}

std::optional<tdb::TFilterFieldInfo> TServerTable::FindFilterField(std::string_view name) const {
  for (int i = 0; i < FieldCount(); ++i) {
    const tdb::TField& f = Field(i);
    if (tdb::SameAsciiIgnoringCase(f.FieldName(), name))
      return tdb::TFilterFieldInfo{i, f.DataType(), tdb::IsStringFieldType(f.DataType()) ? f.Size() : 0, false};
  }
  return std::nullopt;
}

const uint8_t* TServerTable::FieldValuePointer(int index) const {
  const uint8_t* buffer = FieldBuffer();
  if (!buffer || index < 0 || index >= FieldCount()) return nullptr;
  return buffer + Field(index).Offset();
}

// ---- filter ----

void TServerTable::SetFilter(const std::string& text) {
  if (Active() && !text.empty()) {
    tdb::TFilterParser check(*this);
    check.Parse(text);
  }
  const std::string old = filter_text_;
  filter_text_ = text;
  if (!Active() || !filtered_) return;
  try {
    CheckBrowseMode();
    ApplyFilter();
    FetchFirst();
  } catch (...) {
    filter_text_ = old;
    ApplyFilter();
    FetchFirst();
    throw;
  }
}

void TServerTable::SetFiltered(bool value) {
  if (!Active()) {
    filtered_ = value;
    return;
  }
  CheckBrowseMode();
  filtered_ = value;
  try {
    ApplyFilter();
  } catch (...) {
    filtered_ = false;
    ApplyFilter();
    FetchFirst();
    throw;
  }
  FetchFirst();
}

void TServerTable::SetFilterOptions(tdb::TFilterOptions options) {
  filter_options_ = options;
  if (Active() && filtered_) {
    CheckBrowseMode();
    ApplyFilter();
    FetchFirst();
  }
}

void TServerTable::ApplyFilter() {
  SqlFilter before = std::move(sql_filter_);
  sql_filter_ = SqlFilter{};
  if (filtered_ && !filter_text_.empty()) {
    parser_->Parse(filter_text_);
    sql_filter_ = TranslateFilter(parser_->nodes().root, schema_->fields, filter_options_);
  }
  // The same condition on the server, all of it, and no change heard since
  // the view was counted: the same rows (the filter bar sets its options,
  // its text and the switch one after the other).
  const bool same_rows = !whole_ && !before.residual && !sql_filter_.residual && before.where == sql_filter_.where &&
                         before.params == sql_filter_.params && counted_at_ && *counted_at_ == ChangesHeard();
  if (!same_rows) LoadView();
}

// ---- search ----

std::string TServerTable::VariantParam(tdb::TField& field, const tdb::TVariant& value) {
  // Converted by the field itself, as the table dataset does, in a scratch buffer.
  std::memset(filter_buffer_.get(), 0, data_size_ + kTrailer);
  filter_ptr_ = filter_buffer_.get();
  tdb::TDataSetState old = SetTempState(tdb::dsFilter);
  try {
    tdb::AssignVariant(field, value);
  } catch (...) {
    RestoreState(old);
    throw;
  }
  RestoreState(old);
  const receipts::FieldSchema& f = schema_->fields[static_cast<size_t>(field.FieldNo() - 1)];
  return ParamText(f, filter_buffer_.get() + field.Offset());
}

std::optional<TServerTable::Row> TServerTable::FindFirst(const std::string& key_fields,
                                                         const std::vector<tdb::TVariant>& values,
                                                         tdb::TLocateOptions options) {
  const std::vector<tdb::TLocateKey> keys = tdb::LocateKeys(*this, key_fields, values.size(), options);
  // The keys in the fields' encoding, for the query and for the last word
  // on each row it finds, which the key rules have.
  std::vector<ServerParam> params;
  std::string where = ViewWhere(params);
  std::vector<std::vector<uint8_t>> key_values;
  for (size_t i = 0; i < keys.size(); ++i) {
    const tdb::TLocateKey& key = keys[i];
    const receipts::FieldSchema& f = schema_->fields[static_cast<size_t>(key.field->FieldNo() - 1)];
    params.push_back(VariantParam(*key.field, values[i]));
    const uint8_t* slot = filter_buffer_.get() + key.field->Offset();
    key_values.emplace_back(slot, slot + SlotSize(f));
    std::string col = SqlName(f.name);
    std::string p = ParamExpression(f, static_cast<int>(params.size()));
    if (tdb::IsStringFieldType(f.type)) {
      if (key.case_insensitive) {
        col = "lower(" + col + ")";
        p = "lower(" + p + ")";
      }
      if (key.partial) col = "left(" + col + ", char_length(" + p + "))";
      where += " AND " + col + " COLLATE \"und-x-icu\" = " + p;
    } else {
      where += " AND " + col + " = " + p;
    }
  }
  auto matches = [&](const Row& row) {
    for (size_t i = 0; i < keys.size(); ++i) {
      const tdb::TField& field = *keys[i].field;
      const tdb::TFieldValue k{key_values[i].data(), field.DataType(), static_cast<std::ptrdiff_t>(key_values[i].size())};
      const tdb::TFieldValue stored{row.data.data() + field.Offset(), field.DataType(), k.text_length};
      if (!tdb::LocateKeyMatches(keys[i], k, stored)) return false;
    }
    return !(filtered_ && sql_filter_.residual) || PassesHere(row);
  };
  const std::string sql = "SELECT " + SelectList() + " FROM " + sql_table_ + " WHERE " + where + OrderBy(false);
  if (filtered_ && sql_filter_.residual) parser_->Parse(filter_text_);
  // The first row the query finds is nearly always the answer; only when
  // the rules or the filter's part evaluated here refuse it are the others read.
  for (const bool first_only : {true, false}) {
    std::vector<Row> rows = QueryRows(first_only ? sql + " LIMIT 1" : sql, params);
    for (Row& row : rows)
      if (matches(row)) return std::move(row);
    if (rows.empty()) break;
  }
  return std::nullopt;
}

bool TServerTable::Locate(const std::string& key_fields, const std::vector<tdb::TVariant>& values,
                          tdb::TLocateOptions options) {
  CheckBrowseMode();
  if (BeforeScroll) BeforeScroll(*this);
  std::optional<Row> found = FindFirst(key_fields, values, options);
  if (!found) return false;
  if (whole_) {
    const int p = PositionOfKey(*found);
    if (p < 0) return false;
    pos_ = p;
  } else {
    // The row found becomes current; where it stands in the view is counted
    // when something asks (RecNo, a read by position), as after a post.
    win_.clear();
    win_.push_back(std::move(*found));
    win_start_ = 0;
    pos_ = 0;
    unresolved_ = true;
  }
  Resync();
  if (AfterScroll) AfterScroll(*this);
  return true;
}

std::optional<std::vector<tdb::TVariant>> TServerTable::Lookup(const std::string& key_fields,
                                                              const std::vector<tdb::TVariant>& values,
                                                              const std::string& result_fields) {
  CheckBrowseMode();
  std::vector<tdb::TField*> results = tdb::NamedFields(*this, result_fields);
  std::optional<Row> found = FindFirst(key_fields, values, 0);
  if (!found) return std::nullopt;
  std::memcpy(filter_buffer_.get(), found->data.data(), data_size_ + kTrailer);
  filter_ptr_ = filter_buffer_.get();
  std::vector<tdb::TVariant> out;
  tdb::TDataSetState old = SetTempState(tdb::dsFilter);
  for (tdb::TField* f : results) out.push_back(tdb::FieldVariant(*f));
  RestoreState(old);
  return out;
}

std::string TServerTable::IndexFields() const {
  if (!schema_ || index_no_ < 0) return {};
  std::string out;
  for (const std::string& name : schema_->indexes[static_cast<size_t>(index_no_)].fields)
    out += (out.empty() ? "" : ";") + name;
  return out;
}

tdb::TNearest TServerTable::FindNearest(const tdb::TField& field, const tdb::TVariant& key, bool partial,
                                        bool case_insensitive) {
  CheckActive();
  if (index_no_ < 0) Error("No index currently active");
  if (order_fields_.empty() || order_fields_[0] != field.FieldNo() - 1 || field.IsBlob())
    Error(tdb::Format("Field '%s' does not order the view", {field.FieldName()}));
  tdb::TNearest result;
  if (count_ == 0 && !whole_) return result;
  const receipts::FieldSchema& f = schema_->fields[static_cast<size_t>(field.FieldNo() - 1)];
  // The key in the field's encoding (VariantParam leaves it in the filter buffer).
  std::vector<ServerParam> params;
  const std::string where = ViewWhere(params);
  params.push_back(VariantParam(const_cast<tdb::TField&>(field), key));
  std::vector<uint8_t> k(filter_buffer_.get() + field.Offset(), filter_buffer_.get() + field.Offset() + SlotSize(f));
  const bool is_text = tdb::IsStringFieldType(f.type);
  auto matches = [&](const Row& row) {
    const tdb::TFieldValue kv{k.data(), field.DataType(), -1};
    const tdb::TFieldValue sv{row.data.data() + field.Offset(), field.DataType(), -1};
    return tdb::CompareKeyValue(kv, sv, partial && is_text, case_insensitive) == 0;
  };
  if (whole_) {
    // The view is at hand: the first row not below the key, as the file does it.
    int lo = 0, hi = static_cast<int>(win_.size());
    while (lo < hi) {
      const int mid = lo + (hi - lo) / 2;
      const tdb::TFieldValue kv{k.data(), field.DataType(), -1};
      const tdb::TFieldValue sv{win_[static_cast<size_t>(mid)].data.data() + field.Offset(), field.DataType(), -1};
      if (tdb::CompareKeyValue(kv, sv, partial && is_text, case_insensitive) > 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    if (win_.empty()) return result;
    const int n = static_cast<int>(win_.size());
    result.Position = lo < n ? lo : n - 1;
    result.Match = lo < n && matches(win_[static_cast<size_t>(lo)]);
    return result;
  }
  // Rows before the key in the view's order, then the first row from there.
  std::string cols, vals;
  std::string col = case_insensitive && is_text ? "lower(" + SqlName(f.name) + ")" : SqlName(f.name);
  std::string p = ParamExpression(f, static_cast<int>(params.size()));
  if (case_insensitive && is_text) p = "lower(" + p + ")";
  // A partial key compares with as many characters of each value.
  if (partial && is_text) col = "left(" + col + ", char_length(" + p + "))";
  for (const std::string& t : OrderTerms(f, col)) cols += (cols.empty() ? "" : ", ") + t;
  for (const std::string& t : OrderTerms(f, p)) vals += (vals.empty() ? "" : ", ") + t;
  int position = 0;
  std::vector<Row> rows = QueryRows("SELECT " + SelectList() + " FROM " + sql_table_ + " WHERE " + where +
                                        " AND NOT (ROW(" + cols + ") < ROW(" + vals + "))" + OrderBy(false) + " LIMIT 1",
                                    params);
  if (rows.empty()) {
    // Behind the last row: the last one.
    rows = FetchBlock(nullptr, true, 1);
    if (rows.empty()) return result;
    position = PositionOfKey(rows[0]);
  } else {
    // Where the row found stands in the view's own order.
    position = PositionOfKey(rows[0]);
    result.Match = matches(rows[0]);
  }
  result.Position = position;
  // The row found stays at hand: the grid reads the rows around it next.
  Resolve();
  const int end = win_start_ + static_cast<int>(win_.size());
  if (win_.empty() || position < win_start_ - 1 || position > end) {
    win_.clear();
    win_.push_back(std::move(rows[0]));
    win_start_ = position;
  }
  return result;
}

std::vector<tdb::TRowValues> TServerTable::ReadRows(int first, int count, const std::vector<int>& fields) {
  CheckActive();
  Resolve();  // positions from the view's start
  for (int f : fields)
    if (f < 0 || f >= FieldCount()) Error(tdb::Format("Field index %s out of range", {std::to_string(f)}));
  std::vector<tdb::TRowValues> out;
  if (first < 0) {
    count += first;
    first = 0;
  }
  for (int p = first; p < first + count; ++p) {
    const Row* row = RowAt(p);
    if (!row) break;
    tdb::TRowValues values;
    values.Bookmark = row->Id();
    std::memcpy(filter_buffer_.get(), row->data.data(), data_size_ + kTrailer);
    filter_ptr_ = filter_buffer_.get();
    const tdb::TDataSetState old = SetTempState(tdb::dsFilter);
    try {
      for (int f : fields) {
        values.Values.push_back(tdb::FieldVariant(Field(f)));
        values.Texts.push_back(Field(f).AsString());
      }
    } catch (...) {
      RestoreState(old);
      throw;
    }
    RestoreState(old);
    out.push_back(std::move(values));
  }
  return out;
}

std::vector<tdb::TVariant> TServerTable::ReadValues(int first, int count, int field) {
  CheckActive();
  if (field < 0 || field >= FieldCount()) Error(tdb::Format("Field index %s out of range", {std::to_string(field)}));
  if (first < 0) {
    count += first;
    first = 0;
  }
  std::vector<tdb::TVariant> out;
  if (count <= 0) return out;
  Resolve();  // positions from the view's start
  std::vector<Row> rows;
  if (whole_ || count < kBlock) {
    // The rows at hand, or a few of them read as the grid reads its rows.
    for (int p = first; p < first + count; ++p) {
      const Row* row = RowAt(p);
      if (!row) break;
      rows.push_back(*row);
    }
  } else {
    // The one column, read onward by key from the row before `first`: the
    // row where the last such read ended when it ended there, the rows at
    // hand otherwise.  The rows at hand stay as they are.
    std::optional<Row> from;
    if (first > 0) {
      if (values_end_ && values_end_->view == view_stamp_ && values_end_->position == first - 1) {
        from = values_end_->row;
      } else {
        const Row* row = RowAt(first - 1);
        if (!row) return out;
        from = *row;
      }
    }
    std::vector<int> columns = order_fields_;
    columns.push_back(field);
    std::string select;
    for (int c : columns) select += SelectExpression(schema_->fields[static_cast<size_t>(c)]) + ", ";
    std::vector<ServerParam> params;
    std::string sql = "SELECT " + select + "rec_id FROM " + sql_table_ + " WHERE " + ViewWhere(params);
    if (from) sql += " AND " + KeyCondition(*from, ">", params);
    sql += OrderBy(false) + " LIMIT " + std::to_string(count);
    ServerResult r = connection_->Exec(sql, params);
    const int id_column = static_cast<int>(columns.size());
    for (int i = 0; i < r.Rows(); ++i) {
      Row row;
      row.data.assign(data_size_ + kTrailer, 0);
      for (int c = 0; c < id_column; ++c) {
        const size_t f = static_cast<size_t>(columns[static_cast<size_t>(c)]);
        StoreText(schema_->fields[f], r.Raw(i, c), r.Length(i, c), row.data.data() + offsets_[f]);
      }
      tdb::PutInt32LE(row.data.data() + data_size_, static_cast<int32_t>(r.Integer(i, id_column)));
      rows.push_back(std::move(row));
    }
    if (!rows.empty()) values_end_ = ValuesEnd{view_stamp_, first + static_cast<int>(rows.size()) - 1, rows.back()};
  }
  const tdb::TDataSetState old = SetTempState(tdb::dsFilter);
  try {
    for (const Row& row : rows) {
      std::memcpy(filter_buffer_.get(), row.data.data(), data_size_ + kTrailer);
      filter_ptr_ = filter_buffer_.get();
      out.push_back(tdb::FieldVariant(Field(field)));
    }
  } catch (...) {
    RestoreState(old);
    throw;
  }
  RestoreState(old);
  return out;
}

std::optional<tdb::TCurrency> TServerTable::ViewTotal(int field) {
  CheckActive();
  if (field < 0 || field >= FieldCount()) Error(tdb::Format("Field index %s out of range", {std::to_string(field)}));
  const receipts::FieldSchema& f = schema_->fields[static_cast<size_t>(field)];
  if (f.type != tdb::ftCurrency || whole_) return std::nullopt;
  // Each amount as TCurrency::FromDouble takes it: times 10000, rounded
  // half away from zero; the sum of those whole numbers is exact.
  const std::string scaled = "(" + SqlName(f.name) + " * 10000)";
  std::vector<ServerParam> params;
  const std::string sql = "SELECT coalesce(sum((sign(" + scaled + ") * floor(abs(" + scaled +
                          ") + 0.5))::bigint), 0)::text FROM " + sql_table_ + " WHERE " + ViewWhere(params);
  const std::string total = connection_->Exec(sql, params).Text(0, 0);
  return tdb::TCurrency{std::stoll(total)};
}

// ---- range ----

void TServerTable::SetRange(const std::vector<tdb::TVariant>& low, const std::vector<tdb::TVariant>& high) {
  CheckBrowseMode();
  if (index_no_ < 0) Error("No index currently active");
  if (low.size() != high.size() || low.empty() || low.size() > order_fields_.size())
    Error("Field value required");
  range_low_.clear();
  range_high_.clear();
  for (size_t i = 0; i < low.size(); ++i) {
    tdb::TField& f = Field(order_fields_[i]);
    range_low_.push_back(VariantParam(f, low[i]));
    range_high_.push_back(VariantParam(f, high[i]));
  }
  range_ = true;
  LoadView();
  FetchFirst();
}

void TServerTable::CancelRange() {
  CheckBrowseMode();
  if (!range_) return;
  range_ = false;
  LoadView();
  FetchFirst();
}

// ---- changes ----

void TServerTable::InternalInitRecord(uint8_t* buffer) {
  std::memset(buffer, 0, data_size_ + kTrailer);
  std::optional<tdb::TTimeStamp> now;
  for (int i = 0; i < FieldCount(); ++i) {
    const tdb::TField& f = Field(i);
    if (f.DataType() != tdb::ftDate && f.DataType() != tdb::ftTime) continue;
    if (!now) now = tdb::CurrentTimeStamp();
    tdb::PutInt32LE(buffer + f.Offset(), f.DataType() == tdb::ftDate ? now->date : now->time);
  }
}

void TServerTable::InternalInsert(bool /*append*/) {}

void TServerTable::RaiseStale(int32_t id) {
  ServerResult r = connection_->Exec("SELECT count(*) FROM " + sql_table_ + " WHERE rec_id = $1::integer",
                                     {std::to_string(id)});
  tdb::TErrorParams params = tdb::TableParams("", schema_->name, id);
  params.Server = connection_->Description();
  if (r.Integer(0, 0) == 0) Error(tdb::ekRecordDeleted, "Record deleted by another user", params);
  Error(tdb::ekRecordChanged, "Record changed by another user", params);
}

void TServerTable::InternalPost() {
  uint8_t* buffer = ActiveBuffer();
  const bool inserting = State() != tdb::dsEdit;
  const size_t n = schema_->fields.size();
  int32_t id = 0;
  const uint64_t heard = ChangesHeard();
  uint8_t* number = number_field_ >= 0 ? buffer + offsets_[static_cast<size_t>(number_field_)] : nullptr;
  // A number typed over the one offered is the clerk's; else the next one.
  const bool assign = inserting && number &&
                      (new_number_ ? tdb::GetInt32LE(number) == new_number_offered_ : AssignNumbers);
  connection_->InTransaction([&] {
    if (assign) {
      // Behind the last number given and behind any number stored as typed.
      // The numbers row is locked first: the look at the table's numbers
      // then sees what a purge or another clerk committed meanwhile.
      const std::string column = SqlName(schema_->fields[static_cast<size_t>(number_field_)].name);
      connection_->Exec("SELECT last_number FROM formix_numbers WHERE table_name = $1 FOR UPDATE",
                        {Lower(schema_->name)});
      ServerResult r = connection_->Exec(
          "UPDATE formix_numbers SET last_number = greatest(last_number, (SELECT coalesce(max(" + column +
              "), 0) FROM " + sql_table_ + ")) + 1 WHERE table_name = $1 RETURNING last_number",
          {Lower(schema_->name)});
      if (r.Rows() != 1) Error("Record numbers missing on the server");
      tdb::PutInt32LE(number, static_cast<int32_t>(r.Integer(0, 0)));
    }
    std::vector<ServerParam> params;
    std::string cols, vals;
    for (size_t i = 0; i < n; ++i) {
      const receipts::FieldSchema& f = schema_->fields[i];
      params.push_back(ParamText(f, buffer + offsets_[i]));
      cols += (i ? ", " : "") + SqlName(f.name);
      vals += (i ? ", " : "") + ParamExpression(f, static_cast<int>(i + 1));
    }
    if (inserting) {
      ServerResult r = connection_->Exec(
          "INSERT INTO " + sql_table_ + " (" + cols + ") VALUES (" + vals + ") RETURNING rec_id", params);
      id = static_cast<int32_t>(r.Integer(0, 0));
    } else {
      id = tdb::GetInt32LE(buffer + data_size_);
      const int64_t version = tdb::GetInt64LE(buffer + data_size_ + 4);
      params.push_back(std::to_string(id));
      params.push_back(std::to_string(version));
      ServerResult r = connection_->Exec("UPDATE " + sql_table_ + " SET (" + cols + ", row_version) = ROW(" + vals +
                                             ", row_version + 1) WHERE rec_id = $" + std::to_string(n + 1) +
                                             "::integer AND row_version = $" + std::to_string(n + 2) + "::bigint",
                                         params);
      if (r.Affected() != 1) RaiseStale(id);
    }
  });
  NoteOwnChange(heard);
  if (new_number_) {
    offered_number_ = new_number_offered_;
    stored_number_ = tdb::GetInt32LE(number);
    new_number_ = false;
  }
  // The stored record becomes current where it now stands.
  if (!whole_) {
    std::vector<ServerParam> params;
    std::string where = ViewWhere(params);
    params.push_back(std::to_string(id));
    std::vector<Row> rows = QueryRows("SELECT " + SelectList() + " FROM " + sql_table_ + " WHERE " + where +
                                         " AND rec_id = $" + std::to_string(params.size()) + "::integer",
                                     params);
    if (!rows.empty()) {
      if (inserting) ++count_;
      AnchorAt(std::move(rows[0]));
      return;
    }
  }
  // Outside the filter or the range, or the view is read whole: read it again.
  LoadView();
  int p = PositionOf(id);
  if (p < 0) {
    std::vector<Row> rows = QueryRows("SELECT " + SelectList() + " FROM " + sql_table_ + " WHERE rec_id = $1::integer",
                                     {std::to_string(id)});
    p = rows.empty() ? 0 : std::min(PositionOfKey(rows[0]), count_ - 1);
  }
  pos_ = p;
}

void TServerTable::InternalDelete() {
  uint8_t* buffer = ActiveBuffer();
  const int32_t id = tdb::GetInt32LE(buffer + data_size_);
  const int64_t version = tdb::GetInt64LE(buffer + data_size_ + 4);
  Row gone;
  gone.data.assign(buffer, buffer + data_size_ + kTrailer);
  const uint64_t heard = ChangesHeard();
  ServerResult r =
      connection_->Exec("DELETE FROM " + sql_table_ + " WHERE rec_id = $1::integer AND row_version = $2::bigint",
                        {std::to_string(id), std::to_string(version)});
  if (r.Affected() != 1) RaiseStale(id);
  NoteOwnChange(heard);
  if (whole_) {
    const int p = pos_;
    LoadView();
    pos_ = std::min(p, count_ - 1);
    return;
  }
  --count_;
  // The record behind the deleted one becomes current, or the one before it.
  std::vector<Row> next = FetchBlock(&gone, false, 1);
  if (next.empty()) next = FetchBlock(&gone, true, 1);
  if (next.empty()) {
    LoadView();
    return;
  }
  AnchorAt(std::move(next[0]));
}

void TServerTable::InternalRefresh() {
  int32_t current = -1;
  if (const Row* row = RowAt(pos_)) current = row->Id();
  const int p = pos_;
  LoadView();
  int at = current >= 0 ? PositionOf(current) : -1;
  pos_ = at >= 0 ? at : std::min(p, count_ - 1);
}

void TServerTable::InternalEdit() {
  uint8_t* buffer = ActiveBuffer();
  const int32_t id = tdb::GetInt32LE(buffer + data_size_);
  std::vector<Row> rows = QueryRows("SELECT " + SelectList() + " FROM " + sql_table_ + " WHERE rec_id = $1::integer",
                                   {std::to_string(id)});
  if (rows.empty()) {
    tdb::TErrorParams params = tdb::TableParams("", schema_->name, id);
    params.Server = connection_->Description();
    Error(tdb::ekRecordDeleted, "Record deleted by another user", params);
  }
  CopyRow(rows[0], buffer);
  for (Row& row : win_)
    if (row.Id() == id) row = rows[0];
}

void TServerTable::InternalCancel() { new_number_ = false; }

void TServerTable::SetNewNumber(const std::string& field, int32_t offered) {
  if (State() != tdb::dsInsert) Error("Dataset not in insert mode");
  if (number_field_ < 0 || &FieldByName(field) != &Field(number_field_))
    Error(tdb::Format("Field '%s' takes no new numbers", {field}));
  new_number_ = true;
  new_number_offered_ = offered;
}

int32_t TServerTable::HighestValue(const std::string& field) {
  CheckActive();
  tdb::TField& f = FieldByName(field);
  const int no = f.FieldNo() - 1;
  const std::string column = SqlName(schema_->fields[static_cast<size_t>(no)].name);
  std::string sql = "SELECT coalesce(max(" + column + "), 0) FROM " + sql_table_;
  std::vector<ServerParam> params;
  if (no == number_field_) {
    sql = "SELECT greatest((" + sql + "), (SELECT last_number FROM formix_numbers WHERE table_name = $1))";
    params.push_back(Lower(schema_->name));
  }
  return static_cast<int32_t>(connection_->Exec(sql, params).Integer(0, 0));
}

int TServerTable::PurgeMarked(int* renumbered) {
  CheckBrowseMode();
  if (mark_field_ < 0 || number_field_ < 0) Error("Table has no deletion mark");
  const std::string mark = SqlName(schema_->fields[static_cast<size_t>(mark_field_)].name);
  const std::string number = SqlName(schema_->fields[static_cast<size_t>(number_field_)].name);
  int removed = 0, changed = 0;
  const uint64_t heard = ChangesHeard();
  connection_->InTransaction([&] {
    // The numbers row first: a clerk storing a record meanwhile waits and then
    // takes the number behind the renumbered ones.
    connection_->Exec("SELECT last_number FROM formix_numbers WHERE table_name = $1 FOR UPDATE",
                      {Lower(schema_->name)});
    connection_->Exec("LOCK TABLE " + sql_table_ + " IN SHARE ROW EXCLUSIVE MODE");
    removed = static_cast<int>(connection_->Exec("DELETE FROM " + sql_table_ + " WHERE " + mark).Affected());
    std::string order = OrderBy(false).substr(10);  // without " ORDER BY "
    changed = static_cast<int>(
        connection_
            ->Exec("UPDATE " + sql_table_ + " t SET " + number + " = n.rn, row_version = t.row_version + 1 " +
                   "FROM (SELECT rec_id, row_number() OVER (ORDER BY " + order + ") AS rn FROM " + sql_table_ +
                   ") n WHERE t.rec_id = n.rec_id AND t." + number + " <> n.rn")
            .Affected());
    connection_->Exec("UPDATE formix_numbers SET last_number = (SELECT count(*) FROM " + sql_table_ +
                          ") WHERE table_name = $1",
                      {Lower(schema_->name)});
  });
  NoteOwnChange(heard);
  if (renumbered) *renumbered = changed;
  LoadView();
  Last();
  return removed;
}

// ---- other sessions ----

uint64_t TServerTable::ChangesHeard() { return schema_ ? connection_->Changes(Lower(schema_->name)) : 0; }

void TServerTable::NoteOwnChange(uint64_t heard_before) {
  connection_->NoteOwnChange(Lower(schema_->name));
  if (seen_changes_ == heard_before) ++seen_changes_;
}

bool TServerTable::TakeChange() {
  if (!schema_) return false;
  const uint64_t heard = ChangesHeard();
  const bool news = heard != seen_changes_;
  seen_changes_ = heard;
  return news;
}

bool TServerTable::RefreshIfChanged() {
  if (!Active() || State() != tdb::dsBrowse || !TakeChange()) return false;
  Refresh();
  return true;
}

bool TServerTable::WaitForChange(int timeout_ms) {
  if (!schema_) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (TakeChange()) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    connection_->WaitForNotification(static_cast<int>(left));
  }
}

}  // namespace server
