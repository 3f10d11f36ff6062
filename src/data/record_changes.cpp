// One-field changes of a stored record, started again on another program's change.
#include "data/record_changes.h"

#include <string_view>

#include "engine/base/database_error.h"
#include "engine/dataset/dada_table.h"

namespace receipts {

bool ChangedByAnother(const tdb::EDatabaseError& e) {
  return std::string_view(e.what()).find("was changed by another user") != std::string_view::npos;
}

bool DeletedByAnother(const tdb::EDatabaseError& e) {
  return std::string_view(e.what()).find("was deleted by another user") != std::string_view::npos;
}

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
  ChangeStoredRecord(table, [](tdb::TDataSet& t) { t.FieldByName("slugebnoe").SetAsBoolean(true); });
}

void SetNumber(tdb::TDadaTable& table, int32_t number) {
  ChangeStoredRecord(table, [number](tdb::TDataSet& t) { t.FieldByName("nomer").SetAsInteger(number); });
}

}  // namespace receipts
