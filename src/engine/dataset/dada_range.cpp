// The master-detail range: a detail table shows only the records whose
// leading index fields equal the master's current values.
#include "engine/dataset/dada_table.h"

#include <algorithm>

namespace tdb {

// ---- the link ----

void TMasterDataLink::SetFieldNames(const std::string& names) {
  std::string previous = names_;
  names_ = names;
  try {
    Resolve();
  } catch (...) {
    names_ = previous;
    Resolve();
    throw;
  }
  Changed();
}

void TMasterDataLink::Resolve() {
  fields_.clear();
  TDataSet* master = DataSet();
  if (!master || !master->Active()) return;
  size_t start = 0;
  while (start <= names_.size()) {
    size_t end = names_.find(';', start);
    if (end == std::string::npos) end = names_.size();
    std::string name = names_.substr(start, end - start);
    if (!name.empty()) fields_.push_back(&master->FieldByName(name));
    start = end + 1;
  }
}

void TMasterDataLink::ActiveChanged() {
  if (Active()) {
    Resolve();
  } else {
    fields_.clear();
  }
  detail_.MasterActiveChanged(Active());
}

void TMasterDataLink::Changed() {
  if (Active() && !fields_.empty()) detail_.MasterChanged();
}

// ---- the detail ----

void TDadaTable::SetMasterSource(TDataSource* source) {
  // Following the masters from `source` must not come back to this table.
  for (TDataSource* s = source; s; ) {
    TDataSet* ds = s->DataSet();
    if (ds == this) Error("Circular datalinks are not allowed");
    auto* table = dynamic_cast<TDadaTable*>(ds);
    s = table ? table->MasterSource() : nullptr;
  }
  master_link_.SetDataSource(source);
}

void TDadaTable::SetMasterFields(const std::string& names) { master_link_.SetFieldNames(names); }

void TDadaTable::MasterChanged() {
  if (Active()) EstablishRange();
}

void TDadaTable::MasterActiveChanged(bool active) {
  if (!Active()) return;
  if (active)
    EstablishRange();
  else if (range_)
    RemoveRange();
}

void TDadaTable::EstablishRange() {
  const std::vector<TField*>& master_fields = master_link_.Fields();
  if (!master_link_.Active() || master_fields.empty() || index_no_ < 0) return;
  if (filtered_) filtered_ = false;
  if (State() == dsEdit || State() == dsInsert) CheckBrowseMode();
  const TDadaIndexDef& index = table_io_->IndexDefs()[index_no_];
  size_t count = std::min(master_fields.size(), index.FieldNos.size());
  TDataSetState old = SetTempState(dsSetKey);
  try {
    for (uint8_t* key : {key_start_.get(), key_end_.get()}) {
      InternalInitRecord(key);
      key_buffer_ = key;
      for (size_t i = 0; i < count; ++i) {
        TField& detail_field = Field(index.FieldNos[i]);
        AssignVariant(detail_field, FieldVariant(*master_fields[i]));
      }
    }
  } catch (...) {
    key_buffer_ = key_start_.get();
    RestoreState(old);
    throw;
  }
  key_buffer_ = key_start_.get();
  RestoreState(old);
  range_key_fields_ = static_cast<int>(count);
  LoadViewList();
  ApplyRange();
}

void TDadaTable::ApplyRange() {
  if (index_no_ < 0) Error("No index currently active");
  if (view_.empty()) {
    range_ = true;
    FetchFirst();
    return;
  }
  TFieldBuffers start_key, end_key;
  BuildFieldBuffers(key_start_.get(), start_key);
  BuildFieldBuffers(key_end_.get(), end_key);
  TSearchResult first = table_io_->SearchIndexBound(start_key, view_, false, range_key_fields_, index_no_, true);
  TSearchResult last = table_io_->SearchIndexBound(end_key, view_, false, range_key_fields_, index_no_, false);
  int start = first.Side == kSearchGreater ? first.Position + 1 : first.Position;
  int end = last.Side == kSearchSmaller ? last.Position - 1 : last.Position;
  TRecordList items;
  for (int p = start; p <= end; ++p) items.push_back(view_[static_cast<size_t>(p)]);
  view_ = std::move(items);
  ViewReplaced();
  range_ = true;
  position_ = -1;
  FetchFirst();
}

void TDadaTable::RemoveRange() {
  CheckBrowseMode();
  LoadViewList();
  position_ = -1;
  FetchFirst();
  modifiable_ = true;
  if (filtered_) ApplyFilter();
  range_ = false;
  range_key_fields_ = 0;
}

}  // namespace tdb
