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
  using namespace receipt_table;
  return TableSchema{
      kTable,
      {
          Int(kNumber),
          Date(kDate),
          Str(kDocument, 20),
          Str(kPayer, 100),
          Str(kPayerAddress, 150),
          Str(kPayerInn, 12),
          Str(kPayerAccount, 20),
          Int(kPayerNumber),
          Str(kRecipient, 100),
          Str(kRecipientInn, 12),
          Str(kRecipientKpp, 9),
          Str(kRecipientAccount, 20),
          Str(kBank, 100),
          Str(kBik, 9),
          Str(kCorrAccount, 20),
          Str(kTaxOffice, 100),
          Int(kRecipientNumber),
          Str(kPurpose, 210),
          Money(kAmount),
          Money(kServiceFee),
          Bool(kTax),
          Str(kBudgetCode, 20),
          Int(kBudgetCodeNumber),
          Str(kOktmo, 11),
          Str(kStatus, 2),
          Str(kPeriod, 10),
          Str(kReason, 2),
          Str(kPaymentType, 2),
          Str(kDocIndex, 20),
          Money(kPenalty),
          Money(kFine),
          Bool(kDeleted),
      },
      {
          On(kByNumber, kNumber),
          On(kByDate, kDate),
          On(kByPayer, kPayer),
          On(kByAmount, kAmount),
          On(kByRecipient, kRecipient),
      }};
}

TableSchema Payers() {
  using namespace payer_table;
  return TableSchema{kTable,
                     {Int(kNumber), Str(kName, 100), Str(kAddress, 150), Str(kInn, 12), Str(kAccount, 20),
                      Bool(kDeleted)},
                     {On(kByNumber, kNumber)}};
}

TableSchema Recipients() {
  using namespace recipient_table;
  return TableSchema{kTable,
                     {Int(kNumber), Str(kName, 100), Str(kInn, 12), Str(kKpp, 9), Str(kAccount, 20),
                      Str(kBank, 100), Str(kBik, 9), Str(kCorrAccount, 20), Str(kTaxOffice, 100), Bool(kDeleted)},
                     {On(kByNumber, kNumber)}};
}

TableSchema Codes() {
  using namespace code_table;
  return TableSchema{kTable,
                     {Int(kNumber), Str(kCode, 20), Str(kName, 210), Int(kKind), Bool(kDeleted)},
                     {On(kByCode, kCode)}};
}

}  // namespace

const std::vector<ReceiptFile>& ReceiptFiles() {
  static const std::vector<ReceiptFile> files = {
      {receipt_table::kFile, DatabaseSchema{{Receipts()}, {}}},
      {payer_table::kFile, DatabaseSchema{{Payers()}, {}}},
      {recipient_table::kFile, DatabaseSchema{{Recipients()}, {}}},
      {code_table::kFile, DatabaseSchema{{Codes()}, {}}},
  };
  return files;
}

}  // namespace receipts
