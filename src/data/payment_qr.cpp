// Builds the payment code's text from requisites and from a receipt.
#include "data/payment_qr.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <algorithm>
#include <memory>

#include "data/receipt_tables.h"
#include "data/requisites.h"
#include "data/utf8_text.h"
#include "engine/base/codepage.h"

namespace receipts {
namespace {

const char* IcuName(QrCharset charset) {
  switch (charset) {
    case QrCharset::kWindows1251:
      return "windows-1251";
    case QrCharset::kUtf8:
      return "UTF-8";
    case QrCharset::kKoi8R:
      return "KOI8-R";
  }
  return "UTF-8";
}

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// A converter that stops at the first unmappable or illegal sequence instead
// of substituting, so that no value is silently changed.
Converter OpenStrict(const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  Converter c(ucnv_open(name, &status));
  if (U_FAILURE(status)) return nullptr;
  ucnv_setFromUCallBack(c.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ucnv_setToUCallBack(c.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) return nullptr;
  return c;
}

// Converts between two charsets through ICU; nothing on any fault.
std::optional<std::string> Convert(std::string_view bytes, const char* from, const char* to) {
  Converter source = OpenStrict(from);
  Converter target = OpenStrict(to);
  if (!source || !target) return std::nullopt;
  std::string out(bytes.size() * 4 + 16, '\0');
  char* dst = out.data();
  const char* src = bytes.data();
  std::vector<UChar> pivot(1024);
  UChar* pivot_source = pivot.data();
  UChar* pivot_target = pivot.data();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_convertEx(target.get(), source.get(), &dst, out.data() + out.size(), &src, bytes.data() + bytes.size(),
                 pivot.data(), &pivot_source, &pivot_target, pivot.data() + pivot.size(), true, true, &status);
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(static_cast<size_t>(dst - out.data()));
  return out;
}

struct Limit {
  std::string_view key;
  size_t chars;
};

constexpr Limit kLimits[] = {
    {qr_key::kName, 160},        {qr_key::kPersonalAcc, 20}, {qr_key::kBankName, 45},    {qr_key::kBic, 9},
    {qr_key::kCorrespAcc, 20},   {qr_key::kSum, 18},         {qr_key::kPurpose, 210},    {qr_key::kPayeeInn, 12},
    {qr_key::kPayerInn, 12},     {qr_key::kDrawerStatus, 2}, {qr_key::kKpp, 9},          {qr_key::kCbc, 20},
    {qr_key::kOktmo, 11},        {qr_key::kPaytReason, 2},   {qr_key::kTaxPeriod, 10},   {qr_key::kDocNo, 15},
    {qr_key::kDocDate, 10},      {qr_key::kTaxPaytKind, 2},  {qr_key::kUin, 25},
};

std::string Trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return std::string(s.substr(first, last - first + 1));
}

// The first `chars` characters of valid UTF-8 text.
std::string CutToChars(const std::string& utf8, size_t chars) {
  size_t seen = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
      if (seen == chars) return utf8.substr(0, i);
      ++seen;
    }
  }
  return utf8;
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    size_t j = i;
    while (j < text.size() && text[j] != ' ') ++j;
    if (j > i) words.push_back(text.substr(i, j - i));
    i = j;
  }
  return words;
}

}  // namespace

std::optional<QrCharset> QrCharsetFromDigit(char digit) {
  switch (digit) {
    case '1':
      return QrCharset::kWindows1251;
    case '2':
      return QrCharset::kUtf8;
    case '3':
      return QrCharset::kKoi8R;
    default:
      return std::nullopt;
  }
}

std::optional<std::string> EncodeQrText(std::string_view utf8, QrCharset charset) {
  return Convert(utf8, "UTF-8", IcuName(charset));
}

std::optional<std::string> DecodeQrText(std::string_view bytes, QrCharset charset) {
  return Convert(bytes, IcuName(charset), "UTF-8");
}

const std::vector<std::string_view>& RequiredQrKeys() {
  static const std::vector<std::string_view> keys = {qr_key::kName, qr_key::kPersonalAcc, qr_key::kBankName,
                                                     qr_key::kBic, qr_key::kCorrespAcc};
  return keys;
}

size_t QrValueLimit(std::string_view key) {
  for (const Limit& limit : kLimits) {
    if (limit.key == key) return limit.chars;
  }
  return 0;
}

std::string CheckRequisite(const Requisite& r) {
  const std::string_view v = r.value;
  const std::string where = " (" + r.key + ")";
  if (r.key.empty() || r.key.find_first_of("=|") != std::string::npos) return "неверное имя реквизита" + where;
  if (v.empty()) return "пустое значение" + where;
  if (v.find(kQrSeparator) != std::string_view::npos) return "значение содержит символ «|»" + where;
  if (std::any_of(v.begin(), v.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
    return "значение содержит управляющий символ" + where;
  if (!EncodeQrText(v, QrCharset::kUtf8)) return "значение не является текстом UTF-8" + where;
  const size_t limit = QrValueLimit(r.key);
  if (limit != 0 && Utf8CharCount(v) > limit) return "значение длиннее " + std::to_string(limit) + " символов" + where;

  const std::string_view k = r.key;
  bool sound = true;
  if (k == qr_key::kPersonalAcc) sound = DigitsOfLength(v, {20});
  else if (k == qr_key::kBic) sound = DigitsOfLength(v, {9});
  else if (k == qr_key::kCorrespAcc) sound = v == "0" || DigitsOfLength(v, {20});
  else if (k == qr_key::kPayeeInn || k == qr_key::kPayerInn) sound = DigitsOfLength(v, {10, 12});
  else if (k == qr_key::kKpp) sound = KppShaped(v);
  else if (k == qr_key::kCbc) sound = DigitsOfLength(v, {20});
  else if (k == qr_key::kOktmo) sound = v == "0" || DigitsOfLength(v, {8, 11});
  else if (k == qr_key::kSum) sound = AllDigits(v);
  if (!sound) return "неверный формат значения" + where;
  return {};
}

QrPayload BuildQrPayload(const std::vector<Requisite>& requisites, QrCharset charset) {
  const auto& required = RequiredQrKeys();
  for (size_t i = 0; i < required.size(); ++i) {
    if (i >= requisites.size() || requisites[i].key != required[i])
      return {{}, "нет обязательного реквизита " + std::string(required[i])};
  }
  std::string text;
  text += kQrFormatId;
  text += kQrVersion;
  text += static_cast<char>(charset);
  for (const Requisite& r : requisites) {
    if (std::string fault = CheckRequisite(r); !fault.empty()) return {{}, fault};
    text += kQrSeparator;
    text += r.key;
    text += '=';
    text += r.value;
  }
  std::optional<std::string> bytes = EncodeQrText(text, charset);
  if (!bytes) return {{}, "в реквизитах есть символ, которого нет в кодировке кода"};
  return {*bytes, {}};
}

int64_t WholeKopecks(tdb::TCurrency amount) {
  // Ten-thousandths to kopecks: divide by 100, a remainder of half or more
  // rounds away from zero.
  const int64_t rest = amount.value % 100;
  return amount.value / 100 + (rest >= 50 ? 1 : rest <= -50 ? -1 : 0);
}

std::optional<std::string> KopecksText(tdb::TCurrency amount) {
  if (amount.value < 0) return std::nullopt;
  return std::to_string(WholeKopecks(amount));
}

bool LooksLikePersonName(std::string_view name) {
  const std::u16string text = tdb::Cp1251ToUtf16(tdb::Utf8ToCp1251(name));
  auto upper = [](char16_t c) { return (c >= u'А' && c <= u'Я') || c == u'Ё' || (c >= 'A' && c <= 'Z'); };
  auto lower = [](char16_t c) { return (c >= u'а' && c <= u'я') || c == u'ё' || (c >= 'a' && c <= 'z'); };
  int words = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == u' ') {
      ++i;
      continue;
    }
    // One word, or two joined by a hyphen ("Римская-Корсакова"): each a capital and at least one small letter.
    ++words;
    for (;;) {
      if (i >= text.size() || !upper(text[i])) return false;
      ++i;
      size_t smalls = 0;
      while (i < text.size() && lower(text[i])) ++i, ++smalls;
      if (smalls == 0) return false;
      if (i < text.size() && text[i] == u'-') {
        ++i;
        continue;
      }
      break;
    }
    if (i < text.size() && text[i] != u' ') return false;
  }
  return words == 2 || words == 3;
}

std::vector<Requisite> QrRequisitesOf(const ReceiptValues& receipt, bool tax, bool withSum) {
  std::vector<Requisite> out;
  auto text = [&](std::string_view field) { return Trimmed(tdb::Cp1251ToUtf8(receipt.Text(field))); };
  auto add = [&](std::string_view key, std::string value) {
    if (!value.empty()) out.push_back({std::string(key), std::move(value)});
  };
  // The required five stay even when empty, so that the builder names the
  // one that is missing.
  auto required = [&](std::string_view key, std::string value) { out.push_back({std::string(key), std::move(value)}); };

  required(qr_key::kName, text(receipt_table::kRecipient));
  required(qr_key::kPersonalAcc, text(receipt_table::kRecipientAccount));
  required(qr_key::kBankName, CutToChars(text(receipt_table::kBank), QrValueLimit(qr_key::kBankName)));
  required(qr_key::kBic, text(receipt_table::kBik));
  std::string corresp = text(receipt_table::kCorrAccount);
  required(qr_key::kCorrespAcc, corresp.empty() ? "0" : corresp);
  add(qr_key::kPayeeInn, text(receipt_table::kRecipientInn));
  add(qr_key::kKpp, text(receipt_table::kRecipientKpp));
  const tdb::TCurrency sum = receipt.Amount(receipt_table::kAmount);
  if (withSum && sum.value != 0) {
    // A negative amount gives a malformed Sum, and so no code.
    add(qr_key::kSum, KopecksText(sum).value_or("-"));
  }
  add(qr_key::kPurpose, text(receipt_table::kPurpose));

  const std::vector<std::string> names = Words(text(receipt_table::kPayer));
  if (LooksLikePersonName(text(receipt_table::kPayer))) {
    add(qr_key::kLastName, names[0]);
    add(qr_key::kFirstName, names[1]);
    if (names.size() == 3) add(qr_key::kMiddleName, names[2]);
  } else {
    add(qr_key::kLastName, text(receipt_table::kPayer));
  }
  add(qr_key::kPayerAddress, text(receipt_table::kPayerAddress));
  if (!tax) {
    add(qr_key::kPersAcc, text(receipt_table::kPayerAccount));
    add(qr_key::kPayerInn, text(receipt_table::kPayerInn));
    return out;
  }
  add(qr_key::kPayerInn, text(receipt_table::kPayerInn));
  add(qr_key::kCbc, text(receipt_table::kBudgetCode));
  add(qr_key::kOktmo, text(receipt_table::kOktmo));
  add(qr_key::kDrawerStatus, text(receipt_table::kStatus));
  add(qr_key::kPaytReason, text(receipt_table::kReason));
  add(qr_key::kTaxPeriod, text(receipt_table::kPeriod));
  add(qr_key::kTaxPaytKind, text(receipt_table::kPaymentType));
  add(qr_key::kUin, text(receipt_table::kDocIndex));
  return out;
}

}  // namespace receipts
