// FieldDataLink: binds one editor to one field of a data source's dataset.
//
// The editor gives the link a data source and a field name and three
// callbacks; the link tells it when to show the field's value again
// (showValue: the dataset opened, moved to another record, started or ended
// an insert or an edit, or the field was written by someone else) and when
// to write what the user typed (writeValue: the dataset is about to post, or
// the editor asked through updateRecord).  A value is written only while the
// editor says it is modified; showing the value again clears that.
//
// Ownership: the link does not own the source; it unbinds itself when
// destroyed.  User-interface thread only.
#pragma once

#include <QString>
#include <functional>

#include "engine/dataset/data_source.h"
#include "engine/dataset/field.h"

namespace widgets {

class FieldDataLink : public tdb::TDataLink {
 public:
  FieldDataLink() = default;

  // Binds to `source` and to the field named `field_name` (without regard to
  // letter case); either may be empty.  The editor is told to show the value.
  void bind(tdb::TDataSource* source, const QString& field_name);
  void setFieldName(const QString& field_name);
  const QString& fieldName() const { return field_name_; }
  // The bound field while the dataset is open and has it; null otherwise.
  tdb::TField* field() const { return field_; }

  // The user changed the editor's value since it was last shown.
  bool modified() const { return modified_; }
  void setModified(bool modified) { modified_ = modified; }

  // Puts the dataset into edit state when it is browsing (so that typing
  // changes the record), and answers whether it is in edit or insert state
  // now.  False when there is no field or the dataset cannot be modified.
  bool edit();
  // Writes the editor's pending value into the field now (a modified value
  // only).  Raises what the field raises (tdb::EFieldError names the field).
  void updateRecord();

  // The field's value as text for an editor (its edit text), "" without a field.
  QString fieldText() const;

  std::function<void()> showValue;   // show the field's value again
  std::function<void()> writeValue;  // write the editor's value into field()
  std::function<void()> stateChanged;  // active or editing changed (enable, read-only look)

 protected:
  void ActiveChanged() override;
  void DataSetChanged() override { show(); }
  void DataSetScrolled(int) override { show(); }
  void RecordChanged(tdb::TField* field) override;
  void EditingChanged() override;
  void UpdateData() override;
  void LayoutChanged() override { ActiveChanged(); }

 private:
  void resolve();
  void show();

  QString field_name_;
  tdb::TField* field_ = nullptr;  // the dataset's, valid while it is open
  bool modified_ = false;
  bool writing_ = false;  // the editor is writing: its own field change is no news
};

}  // namespace widgets
