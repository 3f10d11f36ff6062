// The dataset protocol: open and close, navigation, the editing states and
// the notifications around them.
#include "engine/dataset/dataset.h"

#include <cstring>

#include "engine/compare/collation.h"
#include "engine/dataset/data_source.h"

namespace tdb {
TDataSet::TDataSet() = default;

TDataSet::~TDataSet() {
  for (TDataSource* source : std::vector<TDataSource*>(sources_)) source->SetDataSet(nullptr);
}

void TDataSet::Error(const std::string& message) const { ComponentError(Name, message); }
void TDataSet::Error(TErrorKind kind, const std::string& message, TErrorParams params) const {
  ComponentError(Name, kind, message, std::move(params));
}

void TDataSet::BufferDeleter::operator()(uint8_t* buffer) const {
  owner->FreeRecordBuffer(buffer);
  delete[] buffer;
}

TDataSet::Buffer TDataSet::AllocBuffer() {
  size_t size = RecordBufferSize();
  Buffer buffer(new uint8_t[size == 0 ? 1 : size](), BufferDeleter{this});
  InitRecordBuffer(buffer.get());
  return buffer;
}

uint8_t* TDataSet::ActiveBuffer() const {
  if (state_ == dsInsert) return new_record_.get();
  return has_current_ ? current_.get() : nullptr;
}

void TDataSet::CheckActive() const {
  if (!Active()) Error("Cannot perform this operation on a closed dataset");
}

void TDataSet::CheckCanModify() const {
  if (!CanModify()) Error(ekReadOnly, "Cannot modify a read-only dataset");
}

void TDataSet::SetState(TDataSetState state) {
  if (state_ == state) return;
  state_ = state;
  modified_ = false;
  DataEvent(deUpdateState, 0);
}

void TDataSet::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deFieldChange && state_ != dsCalcFields && state_ != dsFilter) modified_ = true;
  for (TDataSource* source : std::vector<TDataSource*>(sources_)) source->DataEvent(event, info);
}

void TDataSet::AddField(std::unique_ptr<TField> field) { fields_.push_back(std::move(field)); }

void TDataSet::DestroyFields() { fields_.clear(); }

TField* TDataSet::FindField(std::string_view name) const {
  for (const auto& field : fields_)
    if (SameTextIgnoringCase(field->FieldName(), name)) return field.get();
  return nullptr;
}

TField& TDataSet::FieldByName(std::string_view name) const {
  TField* field = FindField(name);
  if (!field) Error(Format("Field '%s' not found", {name}));
  return *field;
}

// ---- Open and close ----

void TDataSet::SetActive(bool active) {
  if (active == Active()) return;
  if (active) {
    Fire(BeforeOpen, *this);
    state_ = dsOpening;
    try {
      InternalOpen();
      current_ = AllocBuffer();
      state_ = dsBrowse;
      modified_ = false;
      FetchFirst();
      DataEvent(deUpdateState, 0);
      OpenCursorComplete();
    } catch (...) {
      state_ = dsInactive;
      has_current_ = false;
      current_.reset();
      new_record_.reset();
      InternalClose();
      DestroyFields();
      DataEvent(deUpdateState, 0);
      throw;
    }
    Fire(AfterOpen, *this);
  } else {
    Fire(BeforeClose, *this);
    state_ = dsInactive;
    modified_ = false;
    has_current_ = false;
    eof_ = bof_ = true;
    new_record_.reset();
    current_.reset();
    row_changes_.clear();
    InternalClose();
    DestroyFields();
    DataEvent(deUpdateState, 0);
    Fire(AfterClose, *this);
  }
}

// ---- Navigation ----

void TDataSet::FetchFirst() {
  InternalFirst();
  has_current_ = GetRecord(current_.get(), gmNext, true) == grOK;
  bof_ = true;
  eof_ = !has_current_;
  AnnouncePosition();
}

void TDataSet::First() {
  CheckBrowseMode();
  Fire(BeforeScroll, *this);
  FetchFirst();
  Fire(AfterScroll, *this);
}

void TDataSet::Last() {
  CheckBrowseMode();
  Fire(BeforeScroll, *this);
  InternalLast();
  has_current_ = GetRecord(current_.get(), gmPrior, true) == grOK;
  eof_ = true;
  bof_ = !has_current_;
  AnnouncePosition();
  Fire(AfterScroll, *this);
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  if (distance == 0 || (distance > 0 && eof_) || (distance < 0 && bof_)) return 0;
  Fire(BeforeScroll, *this);
  int moved = 0;
  if (distance > 0) {
    bof_ = false;
    while (moved < distance) {
      if (GetRecord(current_.get(), gmNext, true) != grOK) {
        eof_ = true;
        break;
      }
      has_current_ = true;
      ++moved;
    }
  } else {
    eof_ = false;
    while (moved > distance) {
      if (GetRecord(current_.get(), gmPrior, true) != grOK) {
        bof_ = true;
        break;
      }
      has_current_ = true;
      --moved;
    }
  }
  DataEvent(deDataSetScroll, moved);
  Fire(AfterScroll, *this);
  return moved;
}

void TDataSet::Next() { MoveBy(1); }
void TDataSet::Prior() { MoveBy(-1); }

void TDataSet::Resync() {
  if (!IsCursorOpen()) return;
  has_current_ = GetRecord(current_.get(), gmCurrent, false) == grOK;
  if (!has_current_) has_current_ = GetRecord(current_.get(), gmNext, false) == grOK;
  if (!has_current_) has_current_ = GetRecord(current_.get(), gmPrior, false) == grOK;
  eof_ = bof_ = !has_current_;
  AnnouncePosition();
}

void TDataSet::AnnouncePosition() {
  std::vector<TViewChange> rows;
  rows.swap(row_changes_);
  if (view_generation_ != announced_generation_) {
    // The rows queued were counted in a view that is gone.
    announced_generation_ = view_generation_;
    DataEvent(deDataSetChange, 0);
    return;
  }
  for (const TViewChange& row : rows) DataEvent(deViewRowChange, reinterpret_cast<intptr_t>(&row));
  DataEvent(deDataSetScroll, 0);
}

TBookmark TDataSet::GetBookmark() const {
  CheckActive();
  const uint8_t* buffer = ActiveBuffer();
  if (!buffer || state_ == dsInsert) Error("No records");
  return BufferBookmark(buffer);
}

void TDataSet::GotoBookmark(TBookmark bookmark) {
  CheckBrowseMode();
  Fire(BeforeScroll, *this);
  InternalGotoBookmark(bookmark);
  Resync();
  Fire(AfterScroll, *this);
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  Fire(BeforeRefresh, *this);
  InternalRefresh();
  Resync();
  Fire(AfterRefresh, *this);
}

// ---- Editing ----

void TDataSet::DoOperation(const std::function<void()>& op, const TErrorEvent& on_error) {
  for (;;) {
    try {
      op();
      return;
    } catch (const EDatabaseError& e) {
      TDataAction action = daFail;
      if (on_error) on_error(*this, e, action);
      if (action == daFail) throw;
      if (action == daAbort) throw EAbort();
    }
  }
}

void TDataSet::Insert() { BeginInsert(false); }

void TDataSet::Append() { BeginInsert(true); }

void TDataSet::BeginInsert(bool append) {
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeInsert, *this);
  Fire(BeforeScroll, *this);
  Buffer buffer = AllocBuffer();
  InternalInitRecord(buffer.get());
  InternalInsert(append);
  new_record_ = std::move(buffer);
  SetState(dsInsert);
  Fire(OnNewRecord, *this);
  modified_ = false;
  // The view is as it was: only the record the fields show is another.
  DataEvent(deRecordChange, 0);
  Fire(AfterInsert, *this);
  Fire(AfterScroll, *this);
}

void TDataSet::Edit() {
  if (state_ == dsEdit || state_ == dsInsert) return;
  CheckActive();
  if (!has_current_) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeEdit, *this);
  DoOperation([this] { InternalEdit(); }, OnEditError);
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  Fire(AfterEdit, *this);
}

void TDataSet::UpdateRecord() {
  if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey) Error("Dataset not in edit or insert mode");
  DataEvent(deUpdateRecord, 0);
}

void TDataSet::Post() {
  if (state_ == dsSetKey) {
    UpdateRecord();
    SetState(dsBrowse);
    DataEvent(deDataSetChange, 0);
    return;
  }
  if (state_ != dsEdit && state_ != dsInsert) {
    CheckActive();
    return;
  }
  UpdateRecord();
  DataEvent(deCheckBrowseMode, 0);
  Fire(BeforePost, *this);
  row_changes_.clear();
  DoOperation([this] { InternalPost(); }, OnPostError);
  new_record_.reset();
  SetState(dsBrowse);
  Resync();
  Fire(AfterPost, *this);
}

void TDataSet::Cancel() {
  if (state_ == dsSetKey) {
    SetState(dsBrowse);
    DataEvent(deDataSetChange, 0);
    return;
  }
  if (state_ != dsEdit && state_ != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  Fire(BeforeCancel, *this);
  InternalCancel();
  new_record_.reset();
  SetState(dsBrowse);
  Resync();
  Fire(AfterCancel, *this);
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert || state_ == dsSetKey) {
    Cancel();
    return;
  }
  if (!has_current_) Error("Cannot perform this operation on an empty dataset");
  DataEvent(deCheckBrowseMode, 0);
  Fire(BeforeDelete, *this);
  Fire(BeforeScroll, *this);
  row_changes_.clear();
  DoOperation([this] { InternalDelete(); }, OnDeleteError);
  SetState(dsBrowse);
  Resync();
  Fire(AfterDelete, *this);
  Fire(AfterScroll, *this);
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  switch (state_) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (modified_)
        Post();
      else
        Cancel();
      break;
    case dsSetKey: Post(); break;
    default: break;
  }
}

int32_t TDataSet::HighestValue(const std::string& /*field*/) { Error("General error"); }

const std::string& TDataSet::IndexName() const {
  static const std::string none;
  return none;
}

void TDataSet::SetIndexName(const std::string& name) {
  if (!name.empty()) Error("General error");
}

const std::string& TDataSet::Filter() const {
  static const std::string none;
  return none;
}

void TDataSet::SetFilter(const std::string& text) {
  if (!text.empty()) Error("General error");
}

void TDataSet::SetFiltered(bool value) {
  if (value) Error("General error");
}

bool TDataSet::Locate(const std::string& /*key_fields*/, const std::vector<TVariant>& /*values*/,
                      TLocateOptions /*options*/) {
  Error("General error");
}

std::vector<TRowValues> TDataSet::ReadRows(int /*first*/, int /*count*/, const std::vector<int>& /*fields*/) {
  Error("General error");
}

std::vector<TVariant> TDataSet::ReadValues(int first, int count, int field) {
  std::vector<TVariant> values;
  std::vector<TRowValues> rows = ReadRows(first, count, {field});
  values.reserve(rows.size());
  for (TRowValues& row : rows) values.push_back(std::move(row.Values.at(0)));
  return values;
}

TNearest TDataSet::FindNearest(const TField& /*field*/, const TVariant& /*key*/, bool /*partial*/,
                               bool /*case_insensitive*/) {
  Error("General error");
}

std::string TDataSet::GetBlobContent(const TField& /*field*/) const { Error("General error"); }

void TDataSet::SetBlobContent(TField& /*field*/, std::string_view /*content*/) { Error("General error"); }

}  // namespace tdb
