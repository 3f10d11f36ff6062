// Reading the payment code back: a payload taken from a bill's symbol turned
// into requisites, and the requisites into the values of a new receipt.
//
// The reader is the builder's counterpart (payment_qr.h) and shares its key
// names and character sets.  It takes the payload's raw bytes, exactly as the
// symbol carried them: the character-set digit of the service block decides
// how they are decoded, so nothing upstream may have guessed an encoding.
// Whatever character follows the service block is the separator.
//
// A reader must be strict where a slip costs money and lenient where bills in
// the wild differ: the five required requisites must be present and filled,
// every piece must be a `Key=Value` pair, no key may appear twice, the
// numbers the receipt takes (accounts, BIC, INNs, KPP, CBC, Sum) must have
// their digits and lengths; the order of the requisites, unknown keys, a
// trailing separator or line break and over-long texts are accepted.  Check
// digits are not judged here: that is the requisite checks' business, which
// only warn.
//
// Plain functions; any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/payment_qr.h"
#include "engine/dataset/currency.h"

namespace receipts {

// A payload that was read: its requisites in the order they came, values in
// UTF-8 exactly as written (not trimmed).
struct ParsedQrPayload {
  QrCharset charset = QrCharset::kUtf8;
  std::string separator;  // one character, UTF-8
  std::vector<Requisite> requisites;

  // The value of `key` (matched without regard to ASCII case); nothing when
  // the payload does not carry it.
  std::optional<std::string> Value(std::string_view key) const;
};

enum class QrReadFault {
  kNone,
  kNotPayment,  // the text is not a payment code at all (no "ST" block)
  kDamaged,     // it starts as one but cannot be read as one
};

struct QrReadResult {
  ParsedQrPayload payload;  // meaningful only when ok()
  QrReadFault fault = QrReadFault::kNone;
  std::string message;  // why it was refused (Russian, UTF-8); empty when ok()
  bool ok() const { return fault == QrReadFault::kNone; }
};

// Reads `bytes`, the payload as the symbol carried it.
QrReadResult ReadQrPayload(std::string_view bytes);

// `Sum` (whole kopecks, digits only) as a currency value, exactly: 123450 is
// 1234.50.  Nothing when the text is not 1 to 18 digits.
std::optional<tdb::TCurrency> CurrencyOfKopecks(std::string_view digits);

// One receipt field and the value read for it (UTF-8).
struct QrFieldValue {
  std::string field;  // the receipts table's spelling ("SchetPoluch")
  std::string value;
  bool operator==(const QrFieldValue&) const = default;
};

// What a payment code gives a new receipt.
struct QrReceipt {
  // A tax receipt ("ПД (налог)") when the code carries a budget
  // classification code or a payer status; otherwise a PD-4 receipt.
  bool tax = false;
  // The text fields, in the order of the printed form, only those the code
  // fills; blanks around values removed.
  std::vector<QrFieldValue> texts;
  tdb::TCurrency summa;  // `Summa`; 0 when the code names no sum

  // The value for `field`, or an empty string.
  std::string Text(std::string_view field) const;
};

// The receipt the requisites of `payload` describe: recipient, bank, account,
// INN, KPP, purpose, the payer (LastName FirstName MiddleName joined as
// `Platel`, address, INN, personal account) and for a tax receipt the
// budget fields (CBC, OKTMO, status, basis, period, payment type, and the
// document index from UIN, or DocIdx when there is no UIN).
// REQUIRES: `payload` came from a successful ReadQrPayload.
QrReceipt ReceiptOfQr(const ParsedQrPayload& payload);

}  // namespace receipts
