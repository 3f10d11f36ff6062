// The payment code printed on the receipts: the text of a two-dimensional
// payment symbol for a private person's payment (GOST R 56042-2014).
//
// A payload is a service block, "ST0001" and one digit naming the character
// set, then the separator, then `Key=Value` requisites each preceded by the
// separator: `ST00011|Name=...|PersonalAcc=...|...`.  The five required
// requisites come first, in the order Name, PersonalAcc, BankName, BIC,
// CorrespAcc.
//
// The pieces here serve both directions: the builder below, and a reader of
// payloads, which needs the same key names, character sets and value rules.
// Values are handled in UTF-8 in the program and turned into the payload's
// character set only when the payload is made.  Plain functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/receipt_values.h"
#include "engine/dataset/currency.h"

namespace receipts {

// The character-set digit of the service block.
enum class QrCharset : char {
  kWindows1251 = '1',
  kUtf8 = '2',
  kKoi8R = '3',
};

// The charset the program prints: Windows-1251.  Receipts are stored in it
// already, and a Cyrillic letter takes one byte instead of two in UTF-8, so
// the symbol is several versions smaller at the same error correction.
inline constexpr QrCharset kPrintedQrCharset = QrCharset::kWindows1251;

inline constexpr std::string_view kQrFormatId = "ST";
inline constexpr std::string_view kQrVersion = "0001";
// The separator this program writes; a reader takes whatever character
// follows the 7-character service block.
inline constexpr char kQrSeparator = '|';

// The charset named by a service-block digit; nothing for an unknown digit.
std::optional<QrCharset> QrCharsetFromDigit(char digit);

// UTF-8 text to the bytes of `charset`; nothing when a character has no place
// in that charset or the text is not valid UTF-8.
std::optional<std::string> EncodeQrText(std::string_view utf8, QrCharset charset);
// Bytes of `charset` to UTF-8; nothing when they are not valid in it.
std::optional<std::string> DecodeQrText(std::string_view bytes, QrCharset charset);

// Requisite keys as the standard spells them.
namespace qr_key {
inline constexpr std::string_view kName = "Name";
inline constexpr std::string_view kPersonalAcc = "PersonalAcc";
inline constexpr std::string_view kBankName = "BankName";
inline constexpr std::string_view kBic = "BIC";
inline constexpr std::string_view kCorrespAcc = "CorrespAcc";
inline constexpr std::string_view kSum = "Sum";
inline constexpr std::string_view kPurpose = "Purpose";
inline constexpr std::string_view kPayeeInn = "PayeeINN";
inline constexpr std::string_view kPayerInn = "PayerINN";
inline constexpr std::string_view kDrawerStatus = "DrawerStatus";
inline constexpr std::string_view kKpp = "KPP";
inline constexpr std::string_view kCbc = "CBC";
inline constexpr std::string_view kOktmo = "OKTMO";
inline constexpr std::string_view kPaytReason = "PaytReason";
inline constexpr std::string_view kTaxPeriod = "TaxPeriod";
inline constexpr std::string_view kDocNo = "DocNo";
inline constexpr std::string_view kDocDate = "DocDate";
inline constexpr std::string_view kTaxPaytKind = "TaxPaytKind";
inline constexpr std::string_view kLastName = "LastName";
inline constexpr std::string_view kFirstName = "FirstName";
inline constexpr std::string_view kMiddleName = "MiddleName";
inline constexpr std::string_view kPayerAddress = "PayerAddress";
inline constexpr std::string_view kPersAcc = "PersAcc";
inline constexpr std::string_view kUin = "UIN";
}  // namespace qr_key

// The five required keys, in the order they must open a payload.
const std::vector<std::string_view>& RequiredQrKeys();

// Longest value the standard allows for `key`, in characters; 0 when the
// standard sets no limit.
size_t QrValueLimit(std::string_view key);

struct Requisite {
  std::string key;
  std::string value;  // UTF-8
  bool operator==(const Requisite&) const = default;
};

// What is wrong with one requisite's value, in Russian, or empty when it is
// sound: empty values, the separator or control characters, values over the
// key's limit, and malformed numbers (accounts of 20 digits, BIC of 9, INN of
// 10 or 12, KPP of 9, CBC of 20, OKTMO of 8 or 11 or "0", Sum of digits).
std::string CheckRequisite(const Requisite& requisite);

struct QrPayload {
  std::string bytes;  // the payload in its charset; empty when `fault` is set
  std::string fault;  // why there is no payload (Russian, UTF-8)
  bool ok() const { return fault.empty(); }
};

// The payload of `requisites` in `charset`.  The required requisites must be
// present, the first five and in their order; every requisite must pass
// CheckRequisite and be representable in the charset.  A fault gives no
// payload at all: a wrong code is worse than none.
QrPayload BuildQrPayload(const std::vector<Requisite>& requisites, QrCharset charset);

// An amount in whole kopecks: a fraction of a kopeck is rounded to the
// nearest kopeck, halves away from zero.  Exact: the amount's fixed-point
// value is divided as an integer.  The one rounding of amounts for print:
// the printed forms and the payment code's `Sum` both come from it.
int64_t WholeKopecks(tdb::TCurrency amount);

// An amount in whole kopecks (WholeKopecks) as the digits of `Sum`.
// Nothing for a negative amount.
std::optional<std::string> KopecksText(tdb::TCurrency amount);

// Whether `name` reads as a person's name: two or three words, each a
// capital letter followed by small ones (a hyphen may join two such parts),
// the way "Петров Пётр Петрович" is written and an organisation's name
// ("ООО Ромашка", "ИП Петров П.П.", "Ромашка и К") is not.  UTF-8.
bool LooksLikePersonName(std::string_view name);

// The requisites of a receipt, in payload order: the recipient and its bank,
// the payee's INN and KPP, the amount `Summa` (the bank's fee is not part of
// the payment; left out when `withSum` is false), the purpose, the payer
// (name split into last, first and middle name when it LooksLikePersonName,
// otherwise whole as the last name; address; for a PD-4 receipt
// the personal account; INN), and for a tax receipt then the budget
// fields (CBC, OKTMO, status, basis, period, payment type, document index as
// UIN).  Values are trimmed; empty optional values are left out; an empty
// correspondent account is written as "0"; a bank name over its 45-character
// limit is cut, since the BIC identifies the bank.
std::vector<Requisite> QrRequisitesOf(const ReceiptValues& receipt, bool tax, bool withSum = true);

}  // namespace receipts
