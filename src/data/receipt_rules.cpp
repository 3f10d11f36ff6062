// The copy maps and the numbering rule.
#include "data/receipt_rules.h"

#include <cstdint>

#include "data/receipt_tables.h"
#include "engine/dataset/dataset.h"

namespace receipts {

const CopyMap& PayerPick() {
  static const CopyMap map = {
      {payer_table::kName, receipt_table::kPayer, CopyAs::Text},
      {payer_table::kAddress, receipt_table::kPayerAddress, CopyAs::Text},
      {payer_table::kInn, receipt_table::kPayerInn, CopyAs::Text},
      {payer_table::kAccount, receipt_table::kPayerAccount, CopyAs::Text},
      {payer_table::kNumber, receipt_table::kPayerNumber, CopyAs::Integer},
  };
  return map;
}

// The inspectorate is written last, after the entry number.
const CopyMap& RecipientPick() {
  static const CopyMap map = {
      {recipient_table::kName, receipt_table::kRecipient, CopyAs::Text},
      {recipient_table::kInn, receipt_table::kRecipientInn, CopyAs::Text},
      {recipient_table::kKpp, receipt_table::kRecipientKpp, CopyAs::Text},
      {recipient_table::kAccount, receipt_table::kRecipientAccount, CopyAs::Text},
      {recipient_table::kBank, receipt_table::kBank, CopyAs::Text},
      {recipient_table::kBik, receipt_table::kBik, CopyAs::Text},
      {recipient_table::kCorrAccount, receipt_table::kCorrAccount, CopyAs::Text},
      {recipient_table::kNumber, receipt_table::kRecipientNumber, CopyAs::Integer},
      {recipient_table::kTaxOffice, receipt_table::kTaxOffice, CopyAs::Text},
  };
  return map;
}

// The code's name becomes the purpose of payment, whatever was typed there.
const CopyMap& CodePick() {
  static const CopyMap map = {
      {code_table::kCode, receipt_table::kBudgetCode, CopyAs::Text},
      {code_table::kNumber, receipt_table::kBudgetCodeNumber, CopyAs::Integer},
      {code_table::kName, receipt_table::kPurpose, CopyAs::Text},
  };
  return map;
}

// A copy is a new entry of the same kind: the personal account, the KPP and
// the inspectorate belong to one person or office and are typed anew.
const CopyMap& PayerCopy() {
  static const CopyMap map = {
      {payer_table::kName, payer_table::kName, CopyAs::Text},
      {payer_table::kAddress, payer_table::kAddress, CopyAs::Text},
      {payer_table::kInn, payer_table::kInn, CopyAs::Text},
  };
  return map;
}

const CopyMap& RecipientCopy() {
  static const CopyMap map = {
      {recipient_table::kName, recipient_table::kName, CopyAs::Text},
      {recipient_table::kInn, recipient_table::kInn, CopyAs::Text},
      {recipient_table::kAccount, recipient_table::kAccount, CopyAs::Text},
      {recipient_table::kBank, recipient_table::kBank, CopyAs::Text},
      {recipient_table::kBik, recipient_table::kBik, CopyAs::Text},
      {recipient_table::kCorrAccount, recipient_table::kCorrAccount, CopyAs::Text},
  };
  return map;
}

const CopyMap& CodeCopy() {
  static const CopyMap map = {
      {code_table::kKind, code_table::kKind, CopyAs::Integer},
      {code_table::kCode, code_table::kCode, CopyAs::Text},
      {code_table::kName, code_table::kName, CopyAs::Text},
  };
  return map;
}

void CopyFields(const CopyMap& map, const tdb::TDataSet& from, tdb::TDataSet& to) {
  for (const FieldCopy& c : map) {
    const tdb::TField& source = from.FieldByName(c.from);
    tdb::TField& target = to.FieldByName(c.to);
    if (c.as == CopyAs::Integer)
      target.SetAsInteger(source.AsInteger());
    else
      target.SetAsString(source.AsString());
  }
}

int NextNumber(const tdb::TDataSet& dataset) { return dataset.RecordCount() + 1; }

void InsertNumbered(tdb::TDataSet& dataset) {
  dataset.Insert();
  dataset.FieldByName(kNumberField).SetAsInteger(NextNumber(dataset));
}

void InsertCopy(tdb::TDataSet& dataset, const CopyMap& map) {
  struct Value {
    std::string text;
    int32_t number = 0;
  };
  std::vector<Value> values(map.size());
  if (!dataset.IsEmpty())
    for (size_t i = 0; i < map.size(); ++i) {
      const tdb::TField& f = dataset.FieldByName(map[i].from);
      if (map[i].as == CopyAs::Integer)
        values[i].number = f.AsInteger();
      else
        values[i].text = f.AsString();
    }
  InsertNumbered(dataset);
  for (size_t i = 0; i < map.size(); ++i) {
    tdb::TField& f = dataset.FieldByName(map[i].to);
    if (map[i].as == CopyAs::Integer)
      f.SetAsInteger(values[i].number);
    else
      f.SetAsString(values[i].text);
  }
}

const std::vector<std::string>& KindFilterTexts() {
  static const std::vector<std::string> texts = {"", "tip=0", "tip=1", "tip=2"};
  return texts;
}

}  // namespace receipts
