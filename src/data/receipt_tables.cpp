// The schemas of the program's four database files.  String sizes are chosen
// for the longest values the printed forms take: names 100, addresses 150,
// purpose of payment 210, INN 12, KPP 9, accounts 20, BIK 9, KBK 20, OKATO
// 11, the tax codes 2, the tax period 10, the document index 20.  Amounts are
// currency fields.  Every index is ascending and not unique.
#include "data/receipt_tables.h"

#include "engine/format/field_types.h"

namespace receipts {
namespace {

using namespace tdb;

FieldSchema Str(const char* name, int32_t size) { return FieldSchema{name, ftString, size, 0}; }
FieldSchema Int(const char* name) { return FieldSchema{name, ftInteger, 0, 0}; }
FieldSchema Bool(const char* name) { return FieldSchema{name, ftBoolean, 0, 0}; }
FieldSchema Money(const char* name) { return FieldSchema{name, ftCurrency, 0, 0}; }
FieldSchema Date(const char* name) { return FieldSchema{name, ftDate, 0, 0}; }
IndexSchema On(const char* index, const char* field) { return IndexSchema{index, 0, {field}}; }

TableSchema Receipts() {
  return TableSchema{
      "formix",
      {
          Int("nomer"),
          Date("DatePlat"),
          Str("document", 20),
          Str("Platel", 100),
          Str("AdresPlat", 150),
          Str("InnPlat", 12),
          Str("LschPlat", 20),
          Int("nomerPlat"),
          Str("Poluchat", 100),
          Str("InnPoluch", 12),
          Str("KppPoluch", 9),
          Str("SchetPoluch", 20),
          Str("BancPoluch", 100),
          Str("Bik", 9),
          Str("korSchet", 20),
          Str("imns", 100),
          Int("nomerPoluch"),
          Str("NaznPlat", 210),
          Money("Summa"),
          Money("SummaUslug"),
          Bool("naloglog"),
          Str("kodklass", 20),
          Int("nomerBK"),
          Str("okato", 11),
          Str("status", 2),
          Str("srok", 10),
          Str("osnovanie", 2),
          Str("tipplat", 2),
          Str("indexdoc", 20),
          Money("peni"),
          Money("straf"),
          Bool("slugebnoe"),
      },
      {
          On("inomer", "nomer"),
          On("idate", "DatePlat"),
          On("iplatel", "Platel"),
          On("isumma", "Summa"),
          On("ipoluchat", "Poluchat"),
      }};
}

TableSchema Payers() {
  return TableSchema{"platel",
                     {Int("nomer"), Str("Platel", 100), Str("adresPlat", 150), Str("InnPlat", 12),
                      Str("LschPlat", 20), Bool("slugebnoe")},
                     {On("inomer", "nomer")}};
}

TableSchema Recipients() {
  return TableSchema{"Poluchat",
                     {Int("nomer"), Str("Poluchat", 100), Str("InnPoluch", 12), Str("KppPoluch", 9),
                      Str("schetpoluch", 20), Str("BancPoluch", 100), Str("Bik", 9), Str("korSchet", 20),
                      Str("Imns", 100), Bool("slugebnoe")},
                     {On("inomer", "nomer")}};
}

TableSchema Codes() {
  return TableSchema{"sprkodBK",
                     {Int("nomer"), Str("kodBK", 20), Str("naim", 210), Int("tip"), Bool("slugebnoe")},
                     {On("ikodbk", "kodBK")}};
}

}  // namespace

const std::vector<ReceiptFile>& ReceiptFiles() {
  static const std::vector<ReceiptFile> files = {
      {"formix.tdb", DatabaseSchema{{Receipts()}, {}}},
      {"platel.tdb", DatabaseSchema{{Payers()}, {}}},
      {"Poluchat.tdb", DatabaseSchema{{Recipients()}, {}}},
      {"sprkodBK.tdb", DatabaseSchema{{Codes()}, {}}},
  };
  return files;
}

}  // namespace receipts
