// Reads payment-code payloads and makes receipt values of them.
#include "data/payment_qr_reader.h"

#include <algorithm>
#include <limits>

#include "data/receipt_tables.h"
#include "data/requisites.h"
#include "engine/base/ascii.h"

namespace receipts {
namespace {

const char* CharsetName(QrCharset charset) {
  switch (charset) {
    case QrCharset::kWindows1251:
      return "Windows-1251";
    case QrCharset::kUtf8:
      return "UTF-8";
    case QrCharset::kKoi8R:
      return "KOI8-R";
  }
  return "";
}

// Whether the value of a number the receipt takes has its digits and length;
// true for every other key.  "0" stands for "none" where the rules allow it.
bool NumberShaped(std::string_view key, std::string_view v) {
  auto is = [&](std::string_view k) { return tdb::SameAsciiIgnoringCase(key, k); };
  if (is(qr_key::kPersonalAcc)) return DigitsOfLength(v, {20});
  if (is(qr_key::kBic)) return DigitsOfLength(v, {9});
  if (is(qr_key::kCorrespAcc)) return v == "0" || DigitsOfLength(v, {20});
  if (is(qr_key::kPayeeInn)) return DigitsOfLength(v, {10, 12});
  if (is(qr_key::kPayerInn)) return v == "0" || DigitsOfLength(v, {10, 12});
  if (is(qr_key::kKpp)) return v == "0" || KppShaped(v);
  if (is(qr_key::kCbc)) return v == "0" || DigitsOfLength(v, {20});
  if (is(qr_key::kSum)) return CurrencyOfKopecks(v).has_value();
  return true;
}

// Length of the UTF-8 sequence that `lead` starts (1 for anything else).
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

QrReadResult Damaged(std::string why) {
  QrReadResult r;
  r.fault = QrReadFault::kDamaged;
  r.message = "Платёжный QR-код повреждён: " + why + ".";
  return r;
}

std::string Trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return std::string(s.substr(first, last - first + 1));
}

}  // namespace

std::optional<std::string> ParsedQrPayload::Value(std::string_view key) const {
  for (const Requisite& r : requisites) {
    if (tdb::SameAsciiIgnoringCase(r.key, key)) return r.value;
  }
  return std::nullopt;
}

QrReadResult ReadQrPayload(std::string_view bytes) {
  if (bytes.substr(0, kQrFormatId.size()) != kQrFormatId) {
    QrReadResult r;
    r.fault = QrReadFault::kNotPayment;
    r.message = "Это не платёжный QR-код: в нём нет реквизитов платежа.";
    return r;
  }
  const size_t block = kQrFormatId.size() + kQrVersion.size() + 1;
  if (bytes.size() <= block) return Damaged("текст обрывается в служебном блоке");
  const std::string_view version = bytes.substr(kQrFormatId.size(), kQrVersion.size());
  if (version != kQrVersion) return Damaged("неизвестная версия формата «" + std::string(version) + "»");
  const std::optional<QrCharset> charset = QrCharsetFromDigit(bytes[block - 1]);
  if (!charset) return Damaged("неизвестная кодировка «" + std::string(1, bytes[block - 1]) + "»");

  // The whole rest is decoded first: the separator itself may be a letter of
  // the payload's charset, and a symbol cut in the middle of a character
  // shows here.
  std::string_view rest = bytes.substr(block);
  while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) rest.remove_suffix(1);
  if (rest.empty()) return Damaged("текст обрывается в служебном блоке");
  const std::optional<std::string> text = DecodeQrText(rest, *charset);
  if (!text) return Damaged(std::string("текст не в кодировке ") + CharsetName(*charset));

  QrReadResult result;
  ParsedQrPayload& payload = result.payload;
  payload.charset = *charset;
  payload.separator = text->substr(0, SequenceLength(static_cast<unsigned char>((*text)[0])));
  const std::string& sep = payload.separator;

  size_t start = sep.size();
  while (start <= text->size()) {
    size_t end = text->find(sep, start);
    if (end == std::string::npos) end = text->size();
    const std::string_view piece = std::string_view(*text).substr(start, end - start);
    start = end + sep.size();
    // A separator at the very end is written by some generators; it adds
    // nothing.
    if (piece.empty() && end == text->size()) break;
    const size_t eq = piece.find('=');
    if (eq == std::string_view::npos || eq == 0) {
      return Damaged("часть «" + std::string(piece.substr(0, 40)) + "» не имеет вида Реквизит=Значение");
    }
    Requisite r{std::string(piece.substr(0, eq)), std::string(piece.substr(eq + 1))};
    if (std::any_of(r.key.begin(), r.key.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; }))
      return Damaged("неверное имя реквизита «" + r.key + "»");
    if (payload.Value(r.key)) return Damaged("реквизит " + r.key + " повторяется");
    if (!NumberShaped(r.key, r.value)) return Damaged("неверный формат значения " + r.key + " «" + r.value + "»");
    payload.requisites.push_back(std::move(r));
  }
  for (std::string_view key : RequiredQrKeys()) {
    const std::optional<std::string> value = payload.Value(key);
    if (!value) return Damaged("нет обязательного реквизита " + std::string(key));
    if (Trimmed(*value).empty()) return Damaged("пустой обязательный реквизит " + std::string(key));
  }
  return result;
}

std::optional<tdb::TCurrency> CurrencyOfKopecks(std::string_view digits) {
  if (!AllDigits(digits) || digits.size() > 18) return std::nullopt;
  int64_t kopecks = 0;
  for (char c : digits) kopecks = kopecks * 10 + (c - '0');  // at most 18 digits: no overflow
  // A kopeck is 100 ten-thousandths; the largest sums do not fit the type.
  if (kopecks > std::numeric_limits<int64_t>::max() / 100) return std::nullopt;
  return tdb::TCurrency{kopecks * 100};
}

std::string QrReceipt::Text(std::string_view field) const {
  for (const QrFieldValue& t : texts) {
    if (t.field == field) return t.value;
  }
  return {};
}

QrReceipt ReceiptOfQr(const ParsedQrPayload& payload) {
  QrReceipt receipt;
  auto value = [&](std::string_view key) { return Trimmed(payload.Value(key).value_or(std::string())); };
  auto put = [&](const char* field, std::string v) {
    if (!v.empty()) receipt.texts.push_back({field, std::move(v)});
  };

  const std::string cbc = value(qr_key::kCbc);
  receipt.tax = (!cbc.empty() && cbc != "0") || !value(qr_key::kDrawerStatus).empty();

  put(receipt_table::kRecipient, value(qr_key::kName));
  put(receipt_table::kRecipientInn, value(qr_key::kPayeeInn));
  put(receipt_table::kRecipientKpp, value(qr_key::kKpp));
  put(receipt_table::kRecipientAccount, value(qr_key::kPersonalAcc));
  put(receipt_table::kBank, value(qr_key::kBankName));
  put(receipt_table::kBik, value(qr_key::kBic));
  put(receipt_table::kCorrAccount, value(qr_key::kCorrespAcc));
  put(receipt_table::kPurpose, value(qr_key::kPurpose));
  std::string name;
  for (std::string_view key : {qr_key::kLastName, qr_key::kFirstName, qr_key::kMiddleName}) {
    const std::string part = value(key);
    if (part.empty()) continue;
    if (!name.empty()) name += ' ';
    name += part;
  }
  put(receipt_table::kPayer, name);
  put(receipt_table::kPayerAddress, value(qr_key::kPayerAddress));
  put(receipt_table::kPayerInn, value(qr_key::kPayerInn));
  put(receipt_table::kPayerAccount, value(qr_key::kPersAcc));
  if (receipt.tax) {
    put(receipt_table::kBudgetCode, cbc == "0" ? std::string() : cbc);
    put(receipt_table::kOktmo, value(qr_key::kOktmo));
    put(receipt_table::kStatus, value(qr_key::kDrawerStatus));
    put(receipt_table::kReason, value(qr_key::kPaytReason));
    put(receipt_table::kPeriod, value(qr_key::kTaxPeriod));
    put(receipt_table::kPaymentType, value(qr_key::kTaxPaytKind));
    const std::string uin = value(qr_key::kUin);
    put(receipt_table::kDocIndex, uin.empty() ? value("DocIdx") : uin);
  }
  if (const std::optional<std::string> sum = payload.Value(qr_key::kSum)) {
    receipt.summa = CurrencyOfKopecks(*sum).value_or(tdb::TCurrency{});
  }
  return receipt;
}

}  // namespace receipts
