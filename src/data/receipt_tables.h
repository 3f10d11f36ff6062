// The program's four database files and their tables, fields and indexes.
//
// Every file holds one table; every table has the record number `nomer` and
// the deletion mark `slugebnoe`.  The stored names of files, tables, fields
// and indexes are written once, here, as named constants; the rest of the
// program uses the constants.  The strings are what the files hold and never
// change.  A field spelled differently in two tables ("AdresPlat" in the
// receipts, "adresPlat" in the payers) keeps each table's spelling; the
// engine matches names without regard to case.  The creator
// (database_creator.h) turns these schemas into the empty files that are
// installed next to the program.
#pragma once

#include <string>
#include <vector>

#include "data/database_creator.h"

namespace receipts {

// Fields every table has.
inline constexpr char kNumberField[] = "nomer";     // the record's number, 1, 2, 3...
inline constexpr char kDeletedField[] = "slugebnoe";  // marked for deletion
inline constexpr char kByNumberIndex[] = "inomer";  // the index on kNumberField

// "formix.tdb": the register of receipts.
namespace receipt_table {
inline constexpr char kFile[] = "formix.tdb";
inline constexpr char kTable[] = "formix";
inline constexpr const char* kNumber = kNumberField;
inline constexpr char kDate[] = "DatePlat";
inline constexpr char kDocument[] = "document";       // the form's title ("ПД-4", ...)
inline constexpr char kPayer[] = "Platel";
inline constexpr char kPayerAddress[] = "AdresPlat";
inline constexpr char kPayerInn[] = "InnPlat";
inline constexpr char kPayerAccount[] = "LschPlat";   // the payer's personal account
inline constexpr char kPayerNumber[] = "nomerPlat";   // the payer's number in "platel.tdb"
inline constexpr char kRecipient[] = "Poluchat";
inline constexpr char kRecipientInn[] = "InnPoluch";
inline constexpr char kRecipientKpp[] = "KppPoluch";
inline constexpr char kRecipientAccount[] = "SchetPoluch";
inline constexpr char kBank[] = "BancPoluch";
inline constexpr char kBik[] = "Bik";
inline constexpr char kCorrAccount[] = "korSchet";
inline constexpr char kTaxOffice[] = "imns";
inline constexpr char kRecipientNumber[] = "nomerPoluch";  // the number in "Poluchat.tdb"
inline constexpr char kPurpose[] = "NaznPlat";
inline constexpr char kAmount[] = "Summa";
inline constexpr char kServiceFee[] = "SummaUslug";
inline constexpr char kTax[] = "naloglog";            // true: a tax receipt
inline constexpr char kBudgetCode[] = "kodklass";     // KBK
inline constexpr char kBudgetCodeNumber[] = "nomerBK";  // the code's number in "sprkodBK.tdb"
inline constexpr char kOktmo[] = "okato";
inline constexpr char kStatus[] = "status";
inline constexpr char kPeriod[] = "srok";
inline constexpr char kReason[] = "osnovanie";
inline constexpr char kPaymentType[] = "tipplat";
inline constexpr char kDocIndex[] = "indexdoc";       // UIN
inline constexpr char kPenalty[] = "peni";
inline constexpr char kFine[] = "straf";
inline constexpr const char* kDeleted = kDeletedField;

inline constexpr const char* kByNumber = kByNumberIndex;
inline constexpr char kByDate[] = "idate";
inline constexpr char kByPayer[] = "iplatel";
inline constexpr char kByAmount[] = "isumma";
inline constexpr char kByRecipient[] = "ipoluchat";
}  // namespace receipt_table

// "platel.tdb": the payers' directory.
namespace payer_table {
inline constexpr char kFile[] = "platel.tdb";
inline constexpr char kTable[] = "platel";
inline constexpr const char* kNumber = kNumberField;
inline constexpr char kName[] = "Platel";
inline constexpr char kAddress[] = "adresPlat";
inline constexpr char kInn[] = "InnPlat";
inline constexpr char kAccount[] = "LschPlat";
inline constexpr const char* kDeleted = kDeletedField;
inline constexpr const char* kByNumber = kByNumberIndex;
}  // namespace payer_table

// "Poluchat.tdb": the recipients' directory.
namespace recipient_table {
inline constexpr char kFile[] = "Poluchat.tdb";
inline constexpr char kTable[] = "Poluchat";
inline constexpr const char* kNumber = kNumberField;
inline constexpr char kName[] = "Poluchat";
inline constexpr char kInn[] = "InnPoluch";
inline constexpr char kKpp[] = "KppPoluch";
inline constexpr char kAccount[] = "schetpoluch";
inline constexpr char kBank[] = "BancPoluch";
inline constexpr char kBik[] = "Bik";
inline constexpr char kCorrAccount[] = "korSchet";
inline constexpr char kTaxOffice[] = "Imns";
inline constexpr const char* kDeleted = kDeletedField;
inline constexpr const char* kByNumber = kByNumberIndex;
}  // namespace recipient_table

// "sprkodBK.tdb": the budget classification codes.
namespace code_table {
inline constexpr char kFile[] = "sprkodBK.tdb";
inline constexpr char kTable[] = "sprkodBK";
inline constexpr const char* kNumber = kNumberField;
inline constexpr char kCode[] = "kodBK";
inline constexpr char kName[] = "naim";
inline constexpr char kKind[] = "tip";  // the kind of transfer, an index into a fixed list
inline constexpr const char* kDeleted = kDeletedField;
inline constexpr char kByCode[] = "ikodbk";
}  // namespace code_table

struct ReceiptFile {
  std::string file_name;  // "formix.tdb", ...
  DatabaseSchema schema;
};

// The four files in the order "formix.tdb", "platel.tdb", "Poluchat.tdb",
// "sprkodBK.tdb".
const std::vector<ReceiptFile>& ReceiptFiles();

}  // namespace receipts
