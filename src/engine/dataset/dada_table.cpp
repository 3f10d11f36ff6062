// Opening a table dataset, its index order, the record fetch, and posting
// and deleting through the table storage.
#include "engine/dataset/dada_table.h"

#include <algorithm>

#include "engine/compare/collation.h"
#include "engine/format/index_options.h"

namespace tdb {
namespace {

// The record number shown at `pos` of a view, -1 when the position shows none.
int64_t RecordAt(const TRecordList& view, int pos) {
  return pos >= 0 && static_cast<size_t>(pos) < view.size() ? view[static_cast<size_t>(pos)].RecIndex : -1;
}

}  // namespace

TDadaTable::TDadaTable(TComponentOwner* owner) : TTDEDataSet(owner) {}

TDadaTable::~TDadaTable() {
  try {
    Close();
  } catch (...) {
    // A destructor must not throw; the cursor is released regardless.
  }
}

void TDadaTable::SetDatabaseName(const std::string& name) {
  TTDEDataSet::SetDatabaseName(name);
  table_name_.clear();
  index_name_.clear();
}

void TDadaTable::SetTableName(const std::string& name) {
  if (name == table_name_) return;
  CheckInactive();
  table_name_ = name;
}

std::string TDadaTable::IndexFields() const {
  if (index_no_ < 0 || index_no_ >= static_cast<int>(index_defs_.size())) return {};
  return index_defs_[static_cast<size_t>(index_no_)].Fields;
}

void TDadaTable::SetIndexName(const std::string& name) {
  index_name_ = name;
  if (!Active()) return;
  CheckBrowseMode();
  ChooseIndex();
  LoadViewList();
  EstablishRange();
  if (filtered_)
    ApplyFilter();
  else
    FetchFirst();
}

void TDadaTable::OpenCursorComplete() {
  EstablishRange();
  if (filtered_) ApplyFilter();
}

bool TDadaTable::CanModify() const {
  TDadaDatabase* db = Database();
  return modifiable_ && !read_only_ && db && !db->ReadOnly() &&
         !(db->Connected() && (db->FileIO().ReadOnly() || db->FileIO().FileIsReadOnly()));
}

void TDadaTable::CheckCanModify() const {
  if (TDadaDatabase* db = Database()) db->CheckReadOnly();
  TTDEDataSet::CheckCanModify();
}

// ---- open and close ----

void TDadaTable::InternalOpen() {
  OpenDatabase(medium_type_);
  TDadaDatabase* db = Database();
  TDadaTableIO* table = db->FindTableIO(table_name_);
  if (!table)
    Error(ekTableMissing, Format("Table '%s' not found", {table_name_}),
          TableParams(db->FileIO().FileName(), table_name_));
  db->CheckAccess();
  // The lists of the other indexes are built when first needed: a first
  // screen of a large table reads only record order and its own index.
  table->OpenTable(TDadaTableIO::TListLoading::kListsOnDemand);
  table_opened_ = true;
  table_io_ = table;
  view_.clear();
  position_ = -1;
  modifiable_ = true;
  cursor_open_ = true;

  BuildLayout(*table);
  index_defs_.clear();
  for (const TDadaIndexDef& def : table->IndexDefs()) {
    TIndexDef out;
    out.Name = def.Name;
    for (size_t i = 0; i < def.FieldNos.size(); ++i) {
      if (i) out.Fields += ",";
      out.Fields += table->FieldDefs()[def.FieldNos[i]].Name;
    }
    if (def.Has(tiPrimary)) out.Options |= ixPrimary;
    if (def.Has(tiUnique)) out.Options |= ixUnique;
    if (def.Has(tiDescending)) out.Options |= ixDescending;
    if (def.Has(tiCaseInsensitive)) out.Options |= ixCaseInsensitive;
    index_defs_.push_back(out);
  }
  ChooseIndex();
  LoadViewList();
  key_start_ = AllocBuffer();
  key_end_ = AllocBuffer();
  key_buffer_ = key_start_.get();
}

void TDadaTable::InternalClose() {
  key_buffer_ = nullptr;
  filter_buffer_ = nullptr;
  key_start_.reset();
  key_end_.reset();
  if (table_opened_ && table_io_) table_io_->CloseTable();
  table_opened_ = false;
  table_io_ = nullptr;
  view_.clear();
  position_ = -1;
  modifiable_ = false;
  cursor_open_ = false;
  filtered_view_ = false;
  range_ = false;
  range_key_fields_ = 0;
  index_no_ = -1;
  index_defs_.clear();
  ClearLayout();
  CloseDatabase();
}

// ---- order ----

void TDadaTable::ChooseIndex() {
  const TDadaIndexDefs& defs = table_io_->IndexDefs();
  int32_t found = defs.IndexOf(index_name_);
  if (found < 0) found = table_io_->PrimaryIndexNo();
  index_no_ = found;
}

void TDadaTable::LoadViewList() {
  table_io_->LoadIndexList(index_no_ + 1, true);
  const TRecordList& source = table_io_->IndexLists(index_no_ + 1);
  view_.AssignFrom(source);
  view_version_ = table_io_->ChangeCount();
  ViewReplaced();
  position_ = -1;
  filtered_view_ = false;
  range_ = false;
  modifiable_ = true;
}

// ---- fetch ----

TGetResult TDadaTable::GetRecord(uint8_t* buffer, TGetMode mode, bool do_check) {
  const int count = static_cast<int>(view_.size());
  if (count == 0) return grEOF;
  switch (mode) {
    case gmCurrent:
      if (position_ < 0 || position_ >= count) {
        if (do_check) Error("No records");
        return grError;
      }
      break;
    case gmNext:
      if (position_ >= count - 1) return grEOF;
      ++position_;
      break;
    case gmPrior:
      if (position_ <= 0) return grBOF;
      --position_;
      break;
  }
  ReadViewRecord(buffer, position_);
  if (OnCalcFields && AutoCalcFields) OnCalcFields(*this);
  return grOK;
}

void TDadaTable::InternalGotoBookmark(TBookmark bookmark) {
  for (size_t i = 0; i < view_.size(); ++i)
    if (view_[i].RecIndex == bookmark) {
      position_ = static_cast<int>(i);
      return;
    }
  Error("Bookmark not found");
}

void TDadaTable::InternalRefresh() {
  // What other programs rewrote or deleted shows too, not only their appends.
  table_io_->ReloadIfFileChanged();
  ReloadView();
}

void TDadaTable::ReloadView() {
  bool in_range = range_;
  LoadViewList();
  if (in_range) ApplyRange();
  if (filtered_) ApplyFilter();
}

// ---- changes ----

TDadaTableIO& TDadaTable::OpenTableIO() {
  CheckActive();
  return *table_io_;
}

TDadaTable::TChangeBatch::TChangeBatch(TDadaTable& table, int32_t changes_per_lock)
    : batch_(table.OpenTableIO(), changes_per_lock) {}

void TDadaTable::InternalInsert(bool append) {
  number_field_.clear();
  if (append) position_ = static_cast<int>(view_.size());
}

void TDadaTable::InternalEdit() {
  TFieldBuffers items;
  BuildFieldBuffers(ActiveBuffer(), items);
  table_io_->ReadRecordForEdit(items, view_, position_, edit_image_);
}

void TDadaTable::InternalCancel() {
  edit_image_.Clear();
  number_field_.clear();
}

void TDadaTable::SetNewNumber(const std::string& field, int32_t offered) {
  if (State() != dsInsert) Error("Dataset not in insert mode");
  FieldByName(field);  // raises for an unknown field
  number_field_ = field;
  number_offered_ = offered;
}

int32_t TDadaTable::HighestValue(const std::string& field) {
  CheckActive();
  return table_io_->HighestValue(FieldByName(field).FieldNo() - 1);
}

bool TDadaTable::RefreshIfChanged() {
  if (!Active() || State() != dsBrowse) return false;
  const bool reloaded = table_io_->ReloadIfFileChanged();
  if (!reloaded && view_version_ == table_io_->ChangeCount()) return false;
  const int position = position_;
  const bool had_current = position >= 0 && position < static_cast<int>(view_.size());
  const TBookmark current = had_current ? view_[static_cast<size_t>(position)].RecIndex : 0;
  if (BeforeRefresh) BeforeRefresh(*this);
  ReloadView();
  if (had_current && !view_.empty()) {
    // Where it was first: usually nothing before it has moved.
    int found = position < static_cast<int>(view_.size()) && view_[static_cast<size_t>(position)].RecIndex == current
                    ? position
                    : -1;
    for (size_t p = 0; found < 0 && p < view_.size(); ++p)
      if (view_[p].RecIndex == current) found = static_cast<int>(p);
    position_ = found >= 0 ? found : std::min(position, static_cast<int>(view_.size()) - 1);
  }
  Resync();
  if (AfterRefresh) AfterRefresh(*this);
  return true;
}

struct TDadaTable::TPostAdjust : TIndexAdjustCallback {
  explicit TPostAdjust(int32_t index) : index_no(index) {}
  // Only records: the storage calls in the middle of its change, and nothing
  // here may fail or look at the lists there.
  void IndexAdjustAppend(int32_t index, int32_t position, const TListItem& added) override {
    if (index != index_no) return;
    appended = true;
    item = added;
    append_position = position;
  }
  void IndexAdjustModify(int32_t index, int32_t old_position, int32_t new_position) override {
    if (index != index_no || index < 0) return;
    moved = true;
    from = old_position;
    to = new_position;
  }
  int32_t index_no;
  bool appended = false;
  TListItem item{};
  int32_t append_position = -1;
  bool moved = false;
  int32_t from = -1;
  int32_t to = -1;
};

void TDadaTable::InternalPost() {
  TDadaDatabase* db = Database();
  db->CheckReadOnly();
  TFieldBuffers items;
  BuildFieldBuffers(ActiveBuffer(), items);
  const uint64_t before = table_io_->ChangeCount();
  const bool inserting = State() != dsEdit;
  TPostAdjust adjust(index_no_);
  if (!inserting) {
    int32_t record_pos = table_io_->RecordPosOfIndexPos(view_, position_);
    if (record_pos < 0)
      Error(ekRecordDeleted, "Record not found",
            TableParams(db->FileIO().FileName(), table_io_->TableName(), RecordAt(view_, position_)));
    table_io_->ModifyRecord(items, record_pos, &adjust, db->FlushAfterChange,
                            edit_image_.Empty() ? nullptr : &edit_image_);
    edit_image_.Clear();
  } else if (!number_field_.empty()) {
    TNewNumber number{FieldByName(number_field_).FieldNo() - 1, number_offered_, 0};
    table_io_->AppendRecord(items, db->FlushAfterChange, &adjust, &number);
    number_field_.clear();
    offered_number_ = number.Offered;
    stored_number_ = number.Stored;
  } else {
    table_io_->AppendRecord(items, db->FlushAfterChange, &adjust);
  }
  FollowPost(adjust, before, inserting);
}

void TDadaTable::FollowPost(const TPostAdjust& adjust, uint64_t before, bool inserted) {
  const bool was_whole = !filtered_view_ && !range_;
  const bool in_step = FollowOwnChange(before) && was_whole;
  if (inserted) {
    if (!adjust.appended) return;
    if (index_no_ < 0) {
      view_.push_back(adjust.item);
      QueueRowChange({TViewChange::kInserted, static_cast<int>(view_.size()) - 1});
      return;
    }
    int at = adjust.append_position;
    if (!in_step) {
      try {
        at = ViewInsertPosition(ActiveBuffer());
      } catch (...) {
        // The record is stored; it shows at the end until the view is reloaded.
        at = static_cast<int>(view_.size());
      }
    }
    at = std::clamp(at, 0, static_cast<int>(view_.size()));
    view_.insert(static_cast<size_t>(at), adjust.item);
    position_ = at;
    QueueRowChange({TViewChange::kInserted, at});
    return;
  }
  if (position_ < 0 || position_ >= static_cast<int>(view_.size())) return;
  if (adjust.moved) {
    const int from = position_;
    int to = from;
    if (in_step && adjust.from == from) {
      to = adjust.from < adjust.to ? adjust.to - 1 : adjust.to;
      view_.move(static_cast<size_t>(from), static_cast<size_t>(to));
    } else {
      TListItem item = view_[static_cast<size_t>(from)];
      view_.erase(static_cast<size_t>(from));
      try {
        to = ViewInsertPosition(ActiveBuffer());
      } catch (...) {
        to = from;  // it stays where it stood until the view is reloaded
      }
      to = std::clamp(to, 0, static_cast<int>(view_.size()));
      view_.insert(static_cast<size_t>(to), item);
    }
    if (from != to) {
      position_ = to;
      QueueRowChange({TViewChange::kMoved, from, to});
    }
  }
  QueueRowChange({TViewChange::kChanged, position_});
}

bool TDadaTable::ViewInStep() const {
  return !filtered_view_ && !range_ && view_version_ == table_io_->ChangeCount();
}

bool TDadaTable::FollowOwnChange(uint64_t before) {
  // Only this dataset's change happened: the view still matches the list.
  if (view_version_ == before && table_io_->ChangeCount() == before + 1) {
    view_version_ = before + 1;
    return true;
  }
  return false;
}

void TDadaTable::InternalDelete() {
  TDadaDatabase* db = Database();
  db->CheckReadOnly();
  int32_t record_pos = table_io_->RecordPosOfIndexPos(view_, position_);
  if (record_pos < 0)
    Error(ekRecordDeleted, "Record not found",
          TableParams(db->FileIO().FileName(), table_io_->TableName(), RecordAt(view_, position_)));
  const uint64_t before = table_io_->ChangeCount();
  table_io_->DeleteRecord(record_pos, db->FlushAfterChange);
  FollowOwnChange(before);
  int removed = position_;
  view_.erase(static_cast<size_t>(position_));
  if (position_ == static_cast<int>(view_.size())) --position_;
  QueueRowChange({TViewChange::kRemoved, removed});
}

int TDadaTable::ViewInsertPosition(uint8_t* buffer) {
  TFieldBuffers items;
  BuildFieldBuffers(buffer, items);
  TSearchResult found = table_io_->SearchIndex(items, view_, false, 0, index_no_);
  if (found.Side == kSearchEmpty) return 0;
  return found.Side == kSearchSmaller ? found.Position : found.Position + 1;
}

}  // namespace tdb
