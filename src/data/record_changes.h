// Changes of a stored record that need no person to decide and must not undo
// another program's change: the deletion mark and the purge's renumbering set
// one field on the record as it is stored at that moment.
//
// The engine refuses a post whose record another program changed since the
// edit began (TDadaTable); these functions then start again from the record
// as stored now, without asking, so that only the one field they mean
// changes.  A record another program deleted cannot be changed: the engine's
// error passes out, the table back in browse state.  Single thread, like the
// table they work on.
#pragma once

#include <cstdint>
#include <functional>

namespace tdb {
class EDatabaseError;
class TDadaTable;
class TDataSet;
}  // namespace tdb

namespace receipts {

// Whether the engine refused a change because another program changed or
// deleted the record since the change began.
bool ChangedByAnother(const tdb::EDatabaseError& e);
bool DeletedByAnother(const tdb::EDatabaseError& e);

// Edits the current record of `table`, lets `change` write into its fields
// and posts; a post refused for another program's change starts again from
// the record as stored now, up to kAttempts times in all (then the refusal
// passes out).  REQUIRES: `table` open in browse state with a current record.
constexpr int kAttempts = 20;
void ChangeStoredRecord(tdb::TDadaTable& table, const std::function<void(tdb::TDataSet&)>& change);

// The deletion mark: `slugebnoe` := true on the current record as stored.
void MarkForDeletion(tdb::TDadaTable& table);

// The purge's renumbering: `nomer` := `number` on the current record as stored.
void SetNumber(tdb::TDadaTable& table, int32_t number);

}  // namespace receipts
