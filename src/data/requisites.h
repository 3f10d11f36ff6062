// Checks of the requisites a receipt carries: taxpayer numbers (INN, KPP),
// bank codes and accounts (BIK, settlement and correspondent accounts), and
// the codes of the tax fields (KBK, OKTMO, payer status, tax period, УИН).
//
// A wrong digit in an account or an INN gets a receipt refused at the bank
// counter or sends the money astray, and every one of these numbers carries a
// structure or a check digit that catches most typing slips.  The checks only
// warn: the windows show the explanation beside the field and still store what
// was typed, so a value that these rules do not know (a new code, an old
// receipt) is never lost.
//
// Every check takes the value as typed, in UTF-8, and returns nothing when the
// value passes, or a short Russian explanation (UTF-8) of what is wrong.  An
// empty value, or one of blanks only, always passes: "not filled in" is the
// user's business, not a mistake in a number.  Blanks around a value are not
// judged.  Stateless, thread-safe.
#pragma once

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tdb {
class TDataSet;
}

namespace receipts {

// Nothing when the value passes; otherwise what is wrong with it.
using Complaint = std::optional<std::string>;

// Which INNs a field holds.
enum class InnKind {
  kAny,           // 10 digits (organisation) or 12 (person)
  kOrganisation,  // 10 digits: the recipient of a tax payment
  kPayer,         // 12 digits, or "0" for a person without an INN
};

// The shapes the checks start from; the payment code's reader and writer
// use them too.  Only ASCII digits, at least one:
bool AllDigits(std::string_view s);
// only digits, and as many as one of `lengths`:
bool DigitsOfLength(std::string_view s, std::initializer_list<size_t> lengths);
// nine characters, digits with capital Latin letters allowed in the fifth
// and sixth places (a KPP).
bool KppShaped(std::string_view s);

// 10 digits with one check digit or 12 with two, never starting with "00".
Complaint CheckInn(std::string_view inn, InnKind kind = InnKind::kAny);

// 9 characters: 4 digits, 2 digits or capital Latin letters, 3 digits, not
// starting with "00"; or "0" for a party that has none.
Complaint CheckKpp(std::string_view kpp);

// 9 digits starting with "04" (a bank) or "01" (a treasury body).  A BIK has
// no check digit: this catches the length and the prefix only.
Complaint CheckBik(std::string_view bik);

// A recipient's account: 20 digits whose control key (the 9th digit) fits the
// BIK.  Treasury accounts ("03...") carry no key and are checked for their
// length only; so is every account while the BIK is empty or malformed.
Complaint CheckAccount(std::string_view account, std::string_view bik);

// A bank's correspondent account: 20 digits, either a bank's "30101..." whose
// last three digits repeat the BIK's, or a treasury's single account
// "40102...", in both cases with a control key that fits the BIK.  "0" stands
// for a bank that has none.
Complaint CheckCorrAccount(std::string_view account, std::string_view bik);

// 20 digits, not all zeros.
Complaint CheckKbk(std::string_view kbk);

// OKTMO (or the OKATO of receipts before 2014): 8 or 11 digits, not all
// zeros.  "0" passes only where `zero_allowed` (the single tax payment).
Complaint CheckOktmo(std::string_view code, bool zero_allowed);

// "МС.01.2024" ... "МС.12.2024", "КВ.01.2024" ... "КВ.04.2024", "ПЛ.01.2024",
// "ПЛ.02.2024", "ГД.00.2024", a date "28.04.2024", or "0".
Complaint CheckTaxPeriod(std::string_view period);

// The document index, which since 2014 is the accrual identifier (УИН): 20 or
// 25 digits with a check digit, not all zeros, or "0" when there is none.
Complaint CheckUin(std::string_view uin);

// A two-digit payer status code in force on `date` (YYYYMMDD; 0 for today's
// rules).  Codes 09-12 were folded into 13 on 01.10.2021; codes that left
// the list at some other time pass only on dates before that day, so that an
// old receipt is not flagged for rules it predates.
Complaint CheckPayerStatus(std::string_view status, int date = 0);

// The KBK of the single tax payment, for which OKTMO "0" is right.
inline constexpr std::string_view kSingleTaxPaymentKbk = "18201061201010000510";
bool IsSingleTaxPaymentKbk(std::string_view kbk);

// The requisites of one receipt, as its record holds them (UTF-8).
struct ReceiptRequisites {
  bool tax = false;           // `naloglog`: the tax fields are judged, and the recipient's INN has 10 digits
  int date = 0;               // `DatePlat` as YYYYMMDD; 0 judges by today's rules
  std::string payer_inn;      // `InnPlat`
  std::string recipient_inn;  // `InnPoluch`
  std::string kpp;            // `KppPoluch`
  std::string account;        // `SchetPoluch`
  std::string bik;            // `Bik`
  std::string corr_account;   // `korSchet`
  std::string kbk;            // `kodklass`
  std::string oktmo;          // `okato`
  std::string status;         // `status`
  std::string period;         // `srok`
  std::string doc_index;      // `indexdoc`
};

struct RequisiteFailure {
  std::string field;  // the receipt field, spelled as in the receipts table ("InnPoluch")
  std::string text;   // its explanation, naming whose number it is ("ИНН получателя: ...")
};

// Every failing requisite of a receipt, in the order of the printed form.
std::vector<RequisiteFailure> CheckReceiptRequisites(const ReceiptRequisites& r);

// The requisites of a receipt of kind `tax` dated `date` (YYYYMMDD, 0 when
// unknown) whose text fields `text` gives by their names in the receipts
// table, in UTF-8.
ReceiptRequisites RequisitesFromFields(bool tax, int date, const std::function<std::string(const char* field)>& text);

// The requisites of the current record of a receipts dataset (table
// "formix"), its Windows-1251 texts in UTF-8.  REQUIRES: the dataset is open.
ReceiptRequisites RequisitesOfReceipt(const tdb::TDataSet& receipts);

}  // namespace receipts
