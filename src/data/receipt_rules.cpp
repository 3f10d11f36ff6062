// The copy maps and the numbering rule.
#include "data/receipt_rules.h"

#include <cstdint>

#include "engine/dataset/dataset.h"

namespace receipts {

const CopyMap& PayerPick() {
  static const CopyMap map = {
      {"Platel", "Platel", CopyAs::Text},     {"adresPlat", "AdresPlat", CopyAs::Text},
      {"InnPlat", "InnPlat", CopyAs::Text},   {"LschPlat", "LschPlat", CopyAs::Text},
      {"nomer", "nomerPlat", CopyAs::Integer},
  };
  return map;
}

// The inspectorate is written last, after the entry number.
const CopyMap& RecipientPick() {
  static const CopyMap map = {
      {"Poluchat", "Poluchat", CopyAs::Text},       {"InnPoluch", "InnPoluch", CopyAs::Text},
      {"KppPoluch", "KppPoluch", CopyAs::Text},     {"schetpoluch", "SchetPoluch", CopyAs::Text},
      {"BancPoluch", "BancPoluch", CopyAs::Text},   {"Bik", "Bik", CopyAs::Text},
      {"korSchet", "korSchet", CopyAs::Text},       {"nomer", "nomerPoluch", CopyAs::Integer},
      {"Imns", "imns", CopyAs::Text},
  };
  return map;
}

// The code's name becomes the purpose of payment, whatever was typed there.
const CopyMap& CodePick() {
  static const CopyMap map = {
      {"kodBK", "kodklass", CopyAs::Text},
      {"nomer", "nomerBK", CopyAs::Integer},
      {"naim", "NaznPlat", CopyAs::Text},
  };
  return map;
}

// A copy is a new entry of the same kind: the personal account, the KPP and
// the inspectorate belong to one person or office and are typed anew.
const CopyMap& PayerCopy() {
  static const CopyMap map = {
      {"Platel", "Platel", CopyAs::Text},
      {"adresPlat", "adresPlat", CopyAs::Text},
      {"InnPlat", "InnPlat", CopyAs::Text},
  };
  return map;
}

const CopyMap& RecipientCopy() {
  static const CopyMap map = {
      {"Poluchat", "Poluchat", CopyAs::Text},     {"InnPoluch", "InnPoluch", CopyAs::Text},
      {"schetpoluch", "schetpoluch", CopyAs::Text}, {"BancPoluch", "BancPoluch", CopyAs::Text},
      {"Bik", "Bik", CopyAs::Text},               {"korSchet", "korSchet", CopyAs::Text},
  };
  return map;
}

const CopyMap& CodeCopy() {
  static const CopyMap map = {
      {"tip", "tip", CopyAs::Integer},
      {"kodBK", "kodBK", CopyAs::Text},
      {"naim", "naim", CopyAs::Text},
  };
  return map;
}

const std::vector<const char*>& ReceiptCopyFields() {
  static const std::vector<const char*> fields = {
      "document", "Platel",     "AdresPlat", "InnPlat",  "LschPlat",  "Poluchat",  "InnPoluch", "KppPoluch",
      "imns",     "kodklass",   "SchetPoluch", "BancPoluch", "Bik",    "korSchet",  "NaznPlat",  "Summa",
      "SummaUslug", "nomerPlat", "nomerPoluch", "nomerBK", "naloglog", "okato",     "status",    "srok",
      "osnovanie", "tipplat",
  };
  return fields;
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
  dataset.FieldByName("nomer").SetAsInteger(NextNumber(dataset));
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
