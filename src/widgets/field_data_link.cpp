// The link between one editor and one field.
#include "widgets/field_data_link.h"

#include "engine/dataset/dataset.h"
#include "widgets/data_text.h"

namespace widgets {

void FieldDataLink::bind(tdb::TDataSource* source, const QString& field_name) {
  field_name_ = field_name;
  if (source != DataSource()) SetDataSource(source);  // tells ActiveChanged when it changes
  resolve();
  show();
}

void FieldDataLink::setFieldName(const QString& field_name) {
  field_name_ = field_name;
  resolve();
  show();
}

void FieldDataLink::resolve() {
  field_ = nullptr;
  tdb::TDataSet* ds = DataSet();
  if (Active() && ds && !field_name_.isEmpty()) field_ = ds->FindField(ToCp1251(field_name_));
}

void FieldDataLink::show() {
  modified_ = false;
  if (showValue) showValue();
}

void FieldDataLink::ActiveChanged() {
  resolve();
  show();
  if (stateChanged) stateChanged();
}

void FieldDataLink::EditingChanged() {
  if (stateChanged) stateChanged();
}

void FieldDataLink::RecordChanged(tdb::TField* field) {
  if (writing_) return;
  if (field == nullptr || field == field_) show();
}

void FieldDataLink::UpdateData() {
  if (!modified_ || !field_ || !writeValue) return;
  writing_ = true;
  try {
    writeValue();
  } catch (...) {
    writing_ = false;
    throw;  // stays modified: the post fails naming this field
  }
  writing_ = false;
  modified_ = false;
}

bool FieldDataLink::edit() {
  tdb::TDataSet* ds = DataSet();
  if (!field_ || !ds || !Active()) return false;
  if (Editing()) return true;
  if (!ds->CanModify()) return false;
  ds->Edit();
  return Editing();
}

void FieldDataLink::updateRecord() {
  if (!modified_ || !Editing()) return;
  UpdateData();
}

QString FieldDataLink::fieldText() const {
  if (!field_) return QString();
  return FromCp1251(field_->AsString());
}

}  // namespace widgets
