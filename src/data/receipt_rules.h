// The rules every screen shares when it fills a receipt from a directory or
// starts a new record: which fields a pick copies and in which order, which
// fields a copy of a directory entry carries, how a new record is numbered,
// and the kind-of-payment filter of the code directory.
//
// The rules work on any open dataset through its field objects; they know the
// field names and nothing of windows.  A pick writes only into the receipt's
// pending insert or edit: whether it is stored is the receipt dialog's
// decision.  Single thread, like the datasets they work on.
#pragma once

#include <string>
#include <vector>

namespace tdb {
class TDataSet;
}

namespace receipts {

// How one value travels: as text or as an integer.
enum class CopyAs { Text, Integer };

struct FieldCopy {
  const char* from;  // field of the source dataset
  const char* to;    // field of the target dataset
  CopyAs as;
};
using CopyMap = std::vector<FieldCopy>;

// What a pick from each directory writes into the receipt, in the order it
// is written.
const CopyMap& PayerPick();      // platel -> formix
const CopyMap& RecipientPick();  // Poluchat -> formix
const CopyMap& CodePick();       // sprkodBK -> formix

// What "Скопировать" carries from a directory entry into the new entry;
// fields left out start empty.
const CopyMap& PayerCopy();
const CopyMap& RecipientCopy();
const CopyMap& CodeCopy();

// The fields "Скопировать" carries from a receipt into the new one, taken
// as they are stored: the form (`document`, `naloglog`), the payer, the
// recipient and its bank, the purpose, the amounts, the directory entries
// they came from, and the tax fields (code, OKTMO, status, basis, period,
// payment type), so that next month's payment is the same form again.  The
// number and the date are the new record's own; the document index (a
// single accrual's identifier), the penalty and the fine belong to the one
// payment and start empty; the deletion mark is never copied.
const std::vector<const char*>& ReceiptCopyFields();

// Writes the `map` values of `from`'s current record into `to`'s current
// buffer, in the map's order.  REQUIRES: both open; `to` in insert or edit
// state.  A missing field raises the engine's "Field '%s' not found".
void CopyFields(const CopyMap& map, const tdb::TDataSet& from, tdb::TDataSet& to);

// The number proposed for a record being inserted: the records the dataset
// shows (marked ones too; under a filter only those passing it) plus one.
// REQUIRES: `dataset` open; in insert state the new record is not counted.
int NextNumber(const tdb::TDataSet& dataset);

// Begins an insert in `dataset` and gives the new record its `nomer` by
// NextNumber.
void InsertNumbered(tdb::TDataSet& dataset);

// Begins an insert that copies the current record of `dataset` through `map`
// (source and target fields alike are of `dataset`) and numbers it.  The
// values are read before the insert begins; on an empty dataset nothing is
// read and the new record keeps its initial values.
void InsertCopy(tdb::TDataSet& dataset, const CopyMap& map);

// The code directory's kind filter, by the position of its list: position 0
// ("Без отбора") sets no filter (empty text), positions 1 to 3 select the
// entries whose `tip` is 0 to 2.
const std::vector<std::string>& KindFilterTexts();

}  // namespace receipts
