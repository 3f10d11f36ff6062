// Passing a dataset's events on to the links bound to it.
#include "engine/dataset/data_source.h"

#include <algorithm>

#include "engine/dataset/dataset.h"

namespace tdb {

TDataLink::~TDataLink() { SetDataSource(nullptr); }

void TDataLink::SetDataSource(TDataSource* source) {
  if (source_ == source) return;
  if (source_) source_->RemoveLink(this);
  source_ = source;
  if (source_) source_->AddLink(this);
  bool active = Active();
  if (active != active_) {
    active_ = active;
    ActiveChanged();
  }
  editing_ = Editing();
}

TDataSet* TDataLink::DataSet() const { return source_ ? source_->DataSet() : nullptr; }

bool TDataLink::Active() const {
  TDataSet* ds = DataSet();
  return ds && ds->Active();
}

bool TDataLink::Editing() const {
  TDataSet* ds = DataSet();
  return ds && (ds->State() == dsEdit || ds->State() == dsInsert);
}

void TDataLink::Notify(TDataEvent event, intptr_t info) {
  if (event == deUpdateState) {
    bool active = Active();
    if (active != active_) {
      active_ = active;
      ActiveChanged();
    }
    bool editing = Editing();
    if (editing != editing_) {
      editing_ = editing;
      EditingChanged();
    }
    return;
  }
  if (!active_) return;
  switch (event) {
    case deFieldChange: RecordChanged(reinterpret_cast<TField*>(info)); break;
    case deRecordChange: RecordChanged(nullptr); break;
    case deDataSetChange: DataSetChanged(); break;
    case deDataSetScroll: DataSetScrolled(static_cast<int>(info)); break;
    case deViewRowChange: ViewRowChanged(*reinterpret_cast<const TViewChange*>(info)); break;
    case deLayoutChange: LayoutChanged(); break;
    case deUpdateRecord: UpdateData(); break;
    default: break;
  }
}

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
  for (TDataLink* link : std::vector<TDataLink*>(links_)) link->SetDataSource(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataset) {
  if (dataset_ == dataset) return;
  if (dataset_) {
    auto& list = dataset_->sources_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  dataset_ = dataset;
  if (dataset_) dataset_->sources_.push_back(this);
  DataEvent(deUpdateState, 0);
}

void TDataSource::SetEnabled(bool enabled) {
  const bool reenabled = enabled && !enabled_;
  enabled_ = enabled;
  DataEvent(deUpdateState, 0);
  // The links missed every change while disabled.
  if (reenabled && dataset_ && dataset_->Active()) DataEvent(deDataSetChange, 0);
}

TDataSetState TDataSource::State() const { return dataset_ && enabled_ ? dataset_->State() : dsInactive; }

void TDataSource::DataEvent(TDataEvent event, intptr_t info) {
  if (!enabled_ && event != deUpdateState) return;
  // A link may unbind itself while notified: walk a copy.
  for (TDataLink* link : std::vector<TDataLink*>(links_))
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->Notify(event, info);
  switch (event) {
    case deFieldChange:
      if (OnDataChange) OnDataChange(reinterpret_cast<TField*>(info));
      break;
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deViewRowChange:
      if (OnDataChange) OnDataChange(nullptr);
      break;
    case deUpdateState:
      if (OnStateChange) OnStateChange();
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData();
      break;
    default: break;
  }
}

void TDataSource::AddLink(TDataLink* link) { links_.push_back(link); }

void TDataSource::RemoveLink(TDataLink* link) { links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end()); }

}  // namespace tdb
