// Changes of a stored record made while other programs change it too.
//
// The engine refuses a post whose record another program changed or deleted
// since the edit began (TDataSet::Edit reads the record as stored; Post
// raises ekRecordChanged or ekRecordDeleted and writes nothing).  Two kinds
// of change answer that here:
//   - those that need no person to decide, the deletion mark and the
//     purge's renumbering: they set one field on the record as it is stored
//     at that moment, starting again from the fresh record without asking;
//   - an edit in a dialog: ReloadKeepingTyped starts it again from the
//     stored record and puts back what the user typed, so that "Ok" then
//     stores the other program's change and the user's together.
// Single thread, like the datasets they work on.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tdb {
class EDatabaseError;
class TDataSet;
}  // namespace tdb

namespace receipts {

// Whether the engine refused a change because another program changed, or
// deleted, the record since the change began.
bool ChangedByAnother(const tdb::EDatabaseError& e);
bool DeletedByAnother(const tdb::EDatabaseError& e);

// Edits the current record of `table`, lets `change` write into its fields
// and posts; a post refused for another program's change starts again from
// the record as stored now, up to kAttempts times in all (then the refusal
// passes out).  Any failure leaves `table` in browse state.  REQUIRES:
// `table` open in browse state with a current record.
constexpr int kAttempts = 20;
void ChangeStoredRecord(tdb::TDataSet& table, const std::function<void(tdb::TDataSet&)>& change);

// The deletion mark: `slugebnoe` := true on the current record as stored.
void MarkForDeletion(tdb::TDataSet& table);

// The purge's renumbering: `nomer` := `number` on the current record as stored.
void SetNumber(tdb::TDataSet& table, int32_t number);

// The values of the fields of the record a dataset's buffer holds, in the
// fields' own encodings (blob fields left out, as empty values).
using RecordValues = std::vector<std::vector<uint8_t>>;
RecordValues ValuesOf(const tdb::TDataSet& record);

// A field both the user and another program changed, to different values.
struct FieldClash {
  std::string field;   // the field's name
  std::string theirs;  // the other program's value, as text (Windows-1251)
};

// For an edit whose post was refused because another program changed the
// record: `base` is the record as the edit began (ValuesOf then), the
// dataset's buffer holds what the user typed.  Starts the edit again from the
// record as stored now and writes into it every field the user changed (its
// typed value differs from `base`); the other fields show the stored values.
// Answers the fields the other program changed too, to something else: they
// hold what the user typed.  `stored`, when given, receives the record as
// stored now: the base of the edit from here on.  A record deleted meanwhile
// raises the engine's error and leaves the dataset in browse state.
// REQUIRES: edit state.
std::vector<FieldClash> ReloadKeepingTyped(tdb::TDataSet& record, const RecordValues& base,
                                           RecordValues* stored = nullptr);

}  // namespace receipts
