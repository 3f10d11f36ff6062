// A receipt held as a table of field values, for tests of what is made from a
// receipt.  Names are matched without regard to case, as the engine does;
// a field that was not set reads as empty, 0 or false, like a new record,
// and the date as 1 January 2024.
#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <string>

#include "data/receipt_values.h"
#include "engine/base/codepage.h"

namespace receipts {

class MapReceipt final : public ReceiptValues {
 public:
  // `utf8` is stored in Windows-1251, as the receipts table holds it.
  MapReceipt& Set(std::string_view field, std::string_view utf8) {
    texts_[Key(field)] = tdb::Utf8ToCp1251(utf8);
    return *this;
  }
  MapReceipt& SetAmount(std::string_view field, int64_t ten_thousandths) {
    amounts_[Key(field)] = tdb::TCurrency{ten_thousandths};
    return *this;
  }
  MapReceipt& SetFlag(std::string_view field, bool value) {
    flags_[Key(field)] = value;
    return *this;
  }
  MapReceipt& SetDate(int year, int month, int day) {
    date_ = {year, month, day};
    return *this;
  }

  std::string Text(std::string_view field) const override { return Find(texts_, field, std::string()); }
  tdb::TCurrency Amount(std::string_view field) const override { return Find(amounts_, field, tdb::TCurrency{}); }
  bool Flag(std::string_view field) const override { return Find(flags_, field, false); }
  tdb::TDateParts Date(std::string_view) const override { return date_; }

 private:
  static std::string Key(std::string_view field) {
    std::string k(field);
    std::transform(k.begin(), k.end(), k.begin(), [](unsigned char c) { return std::tolower(c); });
    return k;
  }
  template <class T>
  static T Find(const std::map<std::string, T>& m, std::string_view field, T none) {
    auto it = m.find(Key(field));
    return it == m.end() ? none : it->second;
  }

  std::map<std::string, std::string> texts_;
  std::map<std::string, tdb::TCurrency> amounts_;
  std::map<std::string, bool> flags_;
  tdb::TDateParts date_{2024, 1, 1};
};

// A PD-4 receipt with every field the forms print filled in (the made-up
// requisites of the reference example: every check digit is valid).
inline MapReceipt FullPd4Receipt() {
  MapReceipt r;
  r.SetDate(2025, 3, 5)
      .Set("Poluchat", "ООО «Ромашка-Условная»")
      .Set("SchetPoluch", "40702810200001234567")
      .Set("BancPoluch", "АО «УСЛОВНЫЙ БАНК» г. Условный")
      .Set("Bik", "045678901")
      .Set("korSchet", "30101810500000000901")
      .Set("InnPoluch", "5834123457")
      .Set("KppPoluch", "583401001")
      .SetAmount("Summa", 12345000)
      .SetAmount("SummaUslug", 370000)
      .Set("NaznPlat", "Оплата по договору № 15 от 01.03.2025, без НДС")
      .Set("Platel", "Петров Пётр Петрович")
      .Set("AdresPlat", "г. Условный, ул. Примерная, д. 1, кв. 2")
      .Set("LschPlat", "000123")
      .Set("InnPlat", "583412345660");
  return r;
}

// A tax receipt with every field the two tax forms print filled in.
inline MapReceipt FullTaxReceipt() {
  MapReceipt r;
  r.SetFlag("naloglog", true)
      .SetDate(2025, 11, 17)
      .Set("Poluchat", "УФК по Условной области (Межрайонная ИФНС России № 9 по Условной области)")
      .Set("SchetPoluch", "03100643000000015600")
      .Set("BancPoluch", "ОТДЕЛЕНИЕ УСЛОВНОЕ//УФК по Условной области")
      .Set("Bik", "015678001")
      .Set("korSchet", "40102810445370000099")
      .Set("InnPoluch", "5834000014")
      .Set("KppPoluch", "583401001")
      .Set("imns", "Межрайонная ИФНС России № 9")
      .SetAmount("Summa", 38700000)
      .SetAmount("peni", 1234500)
      .SetAmount("straf", 5000000)
      .Set("NaznPlat", "Транспортный налог за 2024 год")
      .Set("kodklass", "18210604012021000110")
      .Set("okato", "56999000")
      .Set("status", "13")
      .Set("osnovanie", "ТП")
      .Set("srok", "ГД.00.2024")
      .Set("tipplat", "НС")
      .Set("indexdoc", "18209965224567890124")
      .Set("Platel", "Петров Пётр Петрович")
      .Set("AdresPlat", "г. Условный, ул. Примерная, д. 1, кв. 2")
      .Set("LschPlat", "000123")
      .Set("InnPlat", "583412345660");
  return r;
}

}  // namespace receipts
