// Changes of a stored record made while other programs change it too.
#include "data/record_changes.h"

#include "data/receipt_tables.h"
#include "engine/base/database_error.h"
#include "engine/dataset/dataset.h"
#include "engine/dataset/field.h"

namespace receipts {

bool ChangedByAnother(const tdb::EDatabaseError& e) { return e.Kind() == tdb::ekRecordChanged; }

bool DeletedByAnother(const tdb::EDatabaseError& e) { return e.Kind() == tdb::ekRecordDeleted; }

void ChangeStoredRecord(tdb::TDataSet& table, const std::function<void(tdb::TDataSet&)>& change) {
  for (int attempt = 1;; ++attempt) {
    table.Edit();  // reads the record as stored now
    try {
      change(table);
      table.Post();
      return;
    } catch (const tdb::EDatabaseError& e) {
      table.Cancel();
      if (!ChangedByAnother(e) || attempt == kAttempts) throw;
    } catch (...) {
      table.Cancel();
      throw;
    }
  }
}

void MarkForDeletion(tdb::TDataSet& table) {
  ChangeStoredRecord(table, [](tdb::TDataSet& t) { t.FieldByName(kDeletedField).SetAsBoolean(true); });
}

void SetNumber(tdb::TDataSet& table, int32_t number) {
  ChangeStoredRecord(table, [number](tdb::TDataSet& t) { t.FieldByName(kNumberField).SetAsInteger(number); });
}

RecordValues ValuesOf(const tdb::TDataSet& record) {
  RecordValues values(static_cast<size_t>(record.FieldCount()));
  for (int i = 0; i < record.FieldCount(); ++i) {
    const tdb::TField& field = record.Field(i);
    if (field.IsBlob()) continue;
    std::vector<uint8_t>& bytes = values[static_cast<size_t>(i)];
    bytes.resize(static_cast<size_t>(field.DataSize()));
    field.GetData(bytes.data());
  }
  return values;
}

std::vector<FieldClash> ReloadKeepingTyped(tdb::TDataSet& record, const RecordValues& base, RecordValues* storedOut) {
  const RecordValues typed = ValuesOf(record);
  record.Cancel();
  record.Edit();  // the record as stored now; raises when it is gone
  const RecordValues stored = ValuesOf(record);
  if (storedOut) *storedOut = stored;
  std::vector<FieldClash> clashes;
  try {
    for (size_t i = 0; i < typed.size() && i < base.size(); ++i) {
      if (typed[i] == base[i]) continue;  // the user left it: the stored value stands
      tdb::TField& field = record.Field(static_cast<int>(i));
      if (stored[i] != base[i] && stored[i] != typed[i]) clashes.push_back({field.FieldName(), field.AsString()});
      std::vector<uint8_t> value = typed[i];
      field.SetData(value.data());
    }
  } catch (...) {
    record.Cancel();
    throw;
  }
  return clashes;
}

}  // namespace receipts
