// One-field changes of a stored record, started again on another program's change.
#include "data/record_changes.h"

#include "data/receipt_tables.h"
#include "engine/base/database_error.h"
#include "engine/dataset/dada_table.h"

namespace receipts {

bool ChangedByAnother(const tdb::EDatabaseError& e) { return e.Kind() == tdb::ekRecordChanged; }

bool DeletedByAnother(const tdb::EDatabaseError& e) { return e.Kind() == tdb::ekRecordDeleted; }

void ChangeStoredRecord(tdb::TDadaTable& table, const std::function<void(tdb::TDataSet&)>& change) {
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

void MarkForDeletion(tdb::TDadaTable& table) {
  ChangeStoredRecord(table, [](tdb::TDataSet& t) { t.FieldByName(kDeletedField).SetAsBoolean(true); });
}

void SetNumber(tdb::TDadaTable& table, int32_t number) {
  ChangeStoredRecord(table, [number](tdb::TDataSet& t) { t.FieldByName(kNumberField).SetAsInteger(number); });
}

}  // namespace receipts
