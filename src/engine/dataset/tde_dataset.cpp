// Record layout, field data access, record numbers and blob access of a
// table dataset.
#include "engine/dataset/tde_dataset.h"

#include <cstring>
#include <optional>

#include "engine/base/byte_order.h"
#include "engine/database/session.h"
#include "engine/locale/date_time.h"

namespace tdb {

TTDEDataSet::TTDEDataSet(TComponentOwner* owner)
    : TTDBDataSet(owner), parser_(std::make_unique<TFilterParser>(*this)) {}

TTDEDataSet::~TTDEDataSet() = default;

void TTDEDataSet::SetMediumType(TRadiVOMediumType medium) {
  if (medium == medium_type_) return;
  CheckInactive();
  medium_type_ = medium;
  TDadaSession* session = TDadaSessionList::Instance().FindSession(SessionName());
  if (TDadaDatabase* db = session ? session->FindDatabase(DatabaseName()) : nullptr) db->SetMediumType(medium);
}

// ---- layout ----

void TTDEDataSet::BuildLayout(const TDadaTableIO& table) {
  field_defs_.clear();
  slot_layout_.clear();
  size_t offset = 0;
  int no = 1;
  for (const TDadaFieldDef& def : table.FieldDefs()) {
    bool is_string = IsStringFieldType(def.FieldType);
    field_defs_.push_back(TFieldDef{def.Name, def.FieldType, is_string ? def.FieldSize : 0, false});
    auto field = std::make_unique<TField>(this, def.Name, def.FieldType, def.FieldSize, no++);
    field->SetOffset(static_cast<int32_t>(offset));
    slot_layout_.push_back(TSlotLayout{static_cast<int32_t>(offset), def.FieldType, field->DataSize(), field->IsBlob()});
    offset += field->IsBlob() ? sizeof(TOptimBlobStream*) : static_cast<size_t>(field->DataSize());
    AddField(std::move(field));
  }
  data_size_ = offset;
  buffer_size_ = data_size_ + 5;
}

void TTDEDataSet::ClearLayout() {
  data_size_ = buffer_size_ = 0;
  field_defs_.clear();
  slot_layout_.clear();
}

void TTDEDataSet::InitRecordBuffer(uint8_t* buffer) {
  for (int i = 0; i < FieldCount(); ++i) {
    const TField& field = Field(i);
    if (!field.IsBlob()) continue;
    auto* stream = new TOptimBlobStream();
    std::memcpy(buffer + field.Offset(), &stream, sizeof stream);
  }
}

void TTDEDataSet::FreeRecordBuffer(uint8_t* buffer) {
  for (int i = 0; i < FieldCount(); ++i) {
    const TField& field = Field(i);
    if (field.IsBlob()) delete StreamOf(buffer, field);
  }
}

TOptimBlobStream* TTDEDataSet::StreamOf(const uint8_t* buffer, const TField& field) const {
  TOptimBlobStream* stream = nullptr;
  std::memcpy(&stream, buffer + field.Offset(), sizeof stream);
  return stream;
}

TBookmark TTDEDataSet::BufferBookmark(const uint8_t* buffer) const { return GetInt32LE(buffer + data_size_); }

void TTDEDataSet::InternalInitRecord(uint8_t* buffer) {
  // The clock is read once, and only for a record with a date or time field.
  std::optional<TTimeStamp> now;
  auto clock = [&now]() -> const TTimeStamp& {
    if (!now) now = CurrentTimeStamp();
    return *now;
  };
  for (const TSlotLayout& slot : slot_layout_) {
    uint8_t* p = buffer + slot.offset;
    if (slot.blob) {
      TOptimBlobStream* stream = nullptr;
      std::memcpy(&stream, p, sizeof stream);
      stream->Clear();
      continue;
    }
    std::memset(p, 0, static_cast<size_t>(slot.data_size));
    switch (slot.type) {
      case ftDate: PutInt32LE(p, clock().date); break;
      case ftTime: PutInt32LE(p, clock().time); break;
      case ftDateTime: PutDoubleLE(p, StampToDouble(TTimeStamp{kDayNumberOf18991230, 0})); break;
      default: break;
    }
  }
  std::memset(buffer + data_size_, 0, 5);
}

void TTDEDataSet::BuildFieldBuffers(uint8_t* buffer, TFieldBuffers& out) const {
  out.Clear();
  out.Reserve(slot_layout_.size());
  for (const TSlotLayout& slot : slot_layout_) {
    if (slot.blob) {
      TOptimBlobStream* stream = nullptr;
      std::memcpy(&stream, buffer + slot.offset, sizeof stream);
      out.AddBlob(stream, slot.type);
    } else {
      out.AddValue(buffer + slot.offset, slot.type, slot.data_size);
    }
  }
}

void TTDEDataSet::ReadViewRecord(uint8_t* buffer, int pos, const std::vector<bool>* only) {
  if (pos < 0 || static_cast<size_t>(pos) >= view_.size()) return;
  // One item list serves every read; only its addresses change with the buffer.
  BuildFieldBuffers(buffer, read_items_);
  if (only)
    for (int i = 0; i < read_items_.Count(); ++i)
      if (!(*only)[static_cast<size_t>(i)]) read_items_.Item(i).Active = false;
  table_io_->ReadRecord(read_items_, view_, pos);
  PutInt32LE(buffer + data_size_, view_[static_cast<size_t>(pos)].RecIndex);
  buffer[data_size_ + 4] = 0;
}

// ---- field data access ----

uint8_t* TTDEDataSet::FieldBuffer() const {
  switch (State()) {
    case dsBrowse:
    case dsEdit:
    case dsInsert:
    case dsNewValue:
    case dsCalcFields: return ActiveBuffer();
    case dsSetKey: return key_buffer_;
    case dsFilter: return filter_buffer_;
    default: return nullptr;
  }
}

bool TTDEDataSet::GetFieldData(const TField& field, void* dst) const {
  if (field.IsBlob()) Error("General error");
  const uint8_t* buffer = FieldBuffer();
  if (!buffer) return false;
  std::memcpy(dst, buffer + field.Offset(), static_cast<size_t>(field.DataSize()));
  return true;
}

void TTDEDataSet::SetFieldData(TField& field, const void* src) {
  if (field.IsBlob()) Error("General error");
  uint8_t* buffer = FieldBuffer();
  if (!buffer) return;
  if (src) std::memcpy(buffer + field.Offset(), src, static_cast<size_t>(field.DataSize()));
  if (State() != dsCalcFields && State() != dsFilter) DataEvent(deFieldChange, reinterpret_cast<intptr_t>(&field));
}

std::string TTDEDataSet::GetBlobContent(const TField& field) const {
  const uint8_t* buffer = FieldBuffer();
  if (!buffer) return std::string();
  const std::vector<uint8_t>& bytes = StreamOf(buffer, field)->Bytes();
  return std::string(bytes.begin(), bytes.end());
}

void TTDEDataSet::SetBlobContent(TField& field, std::string_view content) {
  uint8_t* buffer = FieldBuffer();
  if (!buffer) return;
  StreamOf(buffer, field)->Assign(std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size()));
  DataEvent(deFieldChange, reinterpret_cast<intptr_t>(&field));
}

std::unique_ptr<TDadaBlobStream> TTDEDataSet::CreateBlobStream(TField& field, TBlobStreamMode mode) {
  if (!field.IsBlob()) Error("General error");
  uint8_t* buffer = FieldBuffer();
  if (!buffer) Error("No records");
  if (mode != TBlobStreamMode::bmRead && State() != dsEdit && State() != dsInsert)
    Error("Dataset not in edit or insert mode");
  return std::make_unique<TDadaBlobStream>(*StreamOf(buffer, field), mode, [this, &field] {
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(&field));
  });
}

// ---- record numbers ----

int TTDEDataSet::RecordCount() const { return Active() ? static_cast<int>(view_.size()) : 0; }

int TTDEDataSet::RecNo() const {
  if (!Active() || view_.empty()) return 0;
  return position_ < 0 ? 1 : position_ + 1;
}

void TTDEDataSet::SetRecNo(int n) {
  CheckBrowseMode();
  if (n < 0 || n > RecordCount() || n == RecNo()) return;
  if (BeforeScroll) BeforeScroll(*this);
  position_ = n - 1;
  Resync();
  if (AfterScroll) AfterScroll(*this);
}

int TTDEDataSet::ViewRangeEnd(int& first, int count) const {
  const int size = static_cast<int>(view_.size());
  if (first < 0) {
    count += first;
    first = 0;
  }
  return count <= 0 || first >= size ? first : std::min(size, first + count);
}

std::vector<TRowValues> TTDEDataSet::ReadRows(int first, int count, const std::vector<int>& fields) {
  CheckActive();
  std::vector<TRowValues> rows;
  const int end = ViewRangeEnd(first, count);
  if (end <= first) return rows;
  std::vector<bool> only(static_cast<size_t>(FieldCount()), false);
  for (int f : fields) {
    if (f < 0 || f >= FieldCount()) Error(Format("Field index %s out of range", {std::to_string(f)}));
    if (!Field(f).IsBlob()) only[static_cast<size_t>(f)] = true;
  }
  Buffer scratch = AllocBuffer();
  rows.reserve(static_cast<size_t>(end - first));
  TDadaTableIO::TReadRun run(*table_io_);
  // The fields convert from the scratch buffer as from a filter's record.
  TFilterScope scope(*this, scratch.get());
  for (int pos = first; pos < end; ++pos) {
    ReadViewRecord(scratch.get(), pos, &only);
    TRowValues row;
    row.Bookmark = view_[static_cast<size_t>(pos)].RecIndex;
    row.Values.reserve(fields.size());
    row.Texts.reserve(fields.size());
    for (int f : fields) {
      const TField& field = Field(f);
      if (field.IsBlob()) {
        row.Values.emplace_back();
        row.Texts.emplace_back();
        continue;
      }
      row.Values.push_back(FieldVariant(field));
      row.Texts.push_back(field.AsString());
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<TVariant> TTDEDataSet::ReadValues(int first, int count, int field) {
  CheckActive();
  if (field < 0 || field >= FieldCount()) Error(Format("Field index %s out of range", {std::to_string(field)}));
  std::vector<TVariant> values;
  const int end = ViewRangeEnd(first, count);
  if (end <= first) return values;
  const TField& wanted = Field(field);
  if (wanted.IsBlob()) {
    values.resize(static_cast<size_t>(end - first));
    return values;
  }
  values.reserve(static_cast<size_t>(end - first));
  Buffer scratch = AllocBuffer();
  // The item list and the read plan are worked out once: every read fills
  // the same scratch buffer, and only the one field is asked for.
  TFieldBuffers items;
  BuildFieldBuffers(scratch.get(), items);
  for (int i = 0; i < items.Count(); ++i) items.Item(i).Active = i == field;
  const TDadaTableIO::TReadPlan plan = table_io_->PlanRead(items);
  TDadaTableIO::TReadRun run(*table_io_);
  TFilterScope scope(*this, scratch.get());
  for (int pos = first; pos < end; ++pos) {
    if (plan.usable) table_io_->ReadPlanned(plan, view_, pos);
    else table_io_->ReadRecord(items, view_, pos);
    values.push_back(FieldVariant(wanted));
  }
  return values;
}

TBookmark TTDEDataSet::BookmarkAt(int position) const {
  if (position < 0 || static_cast<size_t>(position) >= view_.size()) Error("No records");
  return view_[static_cast<size_t>(position)].RecIndex;
}

}  // namespace tdb
