// TDataSource and TDataLink: how bound controls follow a dataset.
//
// A dataset announces every change through TDataSet::DataEvent; each data
// source registered with it passes the event to its links, which turn it into
// the virtual notifications below.  Before a post the dataset asks every link
// to write its pending edit into the fields (UpdateData).  A disabled source
// passes nothing on but state changes; enabled again, it tells its links to
// read everything again (DataSetChanged), since they missed what happened.
//
// Ownership: a source does not own its dataset or its links; a link removes
// itself from its source when destroyed, a source from its dataset.  Single
// thread (the user-interface thread).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/dataset/dataset_types.h"

namespace tdb {

class TDataSet;
class TDataSource;
class TField;

class TDataLink {
 public:
  TDataLink() = default;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;
  virtual ~TDataLink();

  // Binds the link to a source (nullptr unbinds).
  void SetDataSource(TDataSource* source);
  TDataSource* DataSource() const { return source_; }
  TDataSet* DataSet() const;

  // True while the source's dataset is open.
  bool Active() const;
  // True while the dataset is in edit or insert state.
  bool Editing() const;

 protected:
  friend class TDataSource;

  virtual void ActiveChanged() {}
  // The content, order or filter changed: everything shown must be read again.
  virtual void DataSetChanged() {}
  // The current record moved (or, after a post or a cancel, was read
  // again); distance is the number of records, 0 unknown.  The view's rows
  // are those the link last heard of.
  virtual void DataSetScrolled(int /*distance*/) {}
  // One row of the view was inserted, removed, moved or changed by a post or
  // a delete; the scroll to the new current record follows.  The change has
  // completed: the dataset is back in browse state.
  virtual void ViewRowChanged(const TViewChange& /*change*/) {}
  // A field of the current record changed; nullptr: the record as a whole.
  virtual void RecordChanged(TField* /*field*/) {}
  virtual void EditingChanged() {}
  // Write a pending edit into the fields now: the dataset is about to post.
  virtual void UpdateData() {}
  virtual void LayoutChanged() {}

 private:
  void Notify(TDataEvent event, intptr_t info);

  TDataSource* source_ = nullptr;
  bool active_ = false;
  bool editing_ = false;
};

class TDataSource {
 public:
  TDataSource() = default;
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;
  ~TDataSource();

  void SetDataSet(TDataSet* dataset);
  TDataSet* DataSet() const { return dataset_; }

  // A disabled source passes no events on.
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }

  TDataSetState State() const;

  std::function<void(TField*)> OnDataChange;  // field changed (nullptr: record or set)
  std::function<void()> OnStateChange;
  std::function<void()> OnUpdateData;

 private:
  friend class TDataSet;
  friend class TDataLink;

  void DataEvent(TDataEvent event, intptr_t info);
  void AddLink(TDataLink* link);
  void RemoveLink(TDataLink* link);

  TDataSet* dataset_ = nullptr;
  std::vector<TDataLink*> links_;
  bool enabled_ = true;
};

}  // namespace tdb
