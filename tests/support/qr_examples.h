// The worked payment-code payloads of the reference (a PD-4 payment and a
// transport tax payment, made-up requisites with valid check digits), in each
// of the three character sets, and the receipts they describe.
//
// KOI8-R has no guillemets and no numero sign: in that charset the examples
// are written with plain quotes and "N", as a bill printed from a KOI8-R
// system would write them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "data/payment_qr.h"
#include "data/payment_qr_reader.h"

namespace receipts {

inline const std::string kWorkedPd4 =
    "ST00012|Name=ООО «Ромашка-Условная»|PersonalAcc=40702810200001234567|BankName=АО «УСЛОВНЫЙ БАНК» г. "
    "Условный|BIC=045678901|CorrespAcc=30101810500000000901|PayeeINN=5834123457|KPP=583401001|Sum=123450|"
    "Purpose=Оплата по договору № 15 от 01.03.2025, без НДС|LastName=Петров|FirstName=Пётр|MiddleName=Петрович|"
    "PayerAddress=г. Условный, ул. Примерная, д. 1, кв. 2|PersAcc=000123|PayerINN=583412345660";

inline const std::string kWorkedTax =
    "ST00012|Name=УФК по Условной области (Межрайонная ИФНС России № 9 по Условной области)|"
    "PersonalAcc=03100643000000015600|BankName=ОТДЕЛЕНИЕ УСЛОВНОЕ//УФК по Условной области|BIC=015678001|"
    "CorrespAcc=40102810445370000099|PayeeINN=5834000014|KPP=583401001|Sum=387000|"
    "Purpose=Транспортный налог за 2024 год|CBC=18210604012021000110|OKTMO=56999000|DrawerStatus=13|"
    "PaytReason=ТП|TaxPeriod=ГД.00.2024|DocNo=0|DocDate=0|UIN=18209965224567890124|PayerINN=583412345660|"
    "LastName=Петров|FirstName=Пётр|MiddleName=Петрович|PayerAddress=г. Условный, ул. Примерная, д. 1, кв. 2";

// `utf8` as a charset that lacks some of its characters would write it.
inline std::string Representable(std::string utf8, QrCharset charset) {
  if (charset != QrCharset::kKoi8R) return utf8;
  const std::pair<std::string, std::string> swaps[] = {{"«", "\""}, {"»", "\""}, {"№", "N"}};
  for (const auto& [from, to] : swaps) {
    for (size_t at = utf8.find(from); at != std::string::npos; at = utf8.find(from, at + to.size()))
      utf8.replace(at, from.size(), to);
  }
  return utf8;
}

// The bytes a symbol carries for the UTF-8 payload `utf8` re-encoded in
// `charset`, its service block naming that charset.
inline std::string PayloadBytes(const std::string& utf8, QrCharset charset) {
  std::string text = Representable(utf8, charset);
  text[6] = static_cast<char>(charset);
  return EncodeQrText(text, charset).value();
}

inline const QrCharset kAllQrCharsets[] = {QrCharset::kWindows1251, QrCharset::kUtf8, QrCharset::kKoi8R};

inline const char* QrCharsetLabel(QrCharset c) {
  return c == QrCharset::kWindows1251 ? "cp1251" : c == QrCharset::kUtf8 ? "utf8" : "koi8r";
}

// The receipt each example describes, as read in `charset`.
inline QrReceipt WorkedPd4Receipt(QrCharset charset) {
  QrReceipt r;
  r.tax = false;
  r.summa = tdb::TCurrency{12345000};
  r.texts = {
      {"Poluchat", "ООО «Ромашка-Условная»"},
      {"InnPoluch", "5834123457"},
      {"KppPoluch", "583401001"},
      {"SchetPoluch", "40702810200001234567"},
      {"BancPoluch", "АО «УСЛОВНЫЙ БАНК» г. Условный"},
      {"Bik", "045678901"},
      {"korSchet", "30101810500000000901"},
      {"NaznPlat", "Оплата по договору № 15 от 01.03.2025, без НДС"},
      {"Platel", "Петров Пётр Петрович"},
      {"AdresPlat", "г. Условный, ул. Примерная, д. 1, кв. 2"},
      {"InnPlat", "583412345660"},
      {"LschPlat", "000123"},
  };
  for (QrFieldValue& t : r.texts) t.value = Representable(t.value, charset);
  return r;
}

inline QrReceipt WorkedTaxReceipt(QrCharset charset) {
  QrReceipt r;
  r.tax = true;
  r.summa = tdb::TCurrency{38700000};
  r.texts = {
      {"Poluchat", "УФК по Условной области (Межрайонная ИФНС России № 9 по Условной области)"},
      {"InnPoluch", "5834000014"},
      {"KppPoluch", "583401001"},
      {"SchetPoluch", "03100643000000015600"},
      {"BancPoluch", "ОТДЕЛЕНИЕ УСЛОВНОЕ//УФК по Условной области"},
      {"Bik", "015678001"},
      {"korSchet", "40102810445370000099"},
      {"NaznPlat", "Транспортный налог за 2024 год"},
      {"Platel", "Петров Пётр Петрович"},
      {"AdresPlat", "г. Условный, ул. Примерная, д. 1, кв. 2"},
      {"InnPlat", "583412345660"},
      {"kodklass", "18210604012021000110"},
      {"okato", "56999000"},
      {"status", "13"},
      {"osnovanie", "ТП"},
      {"srok", "ГД.00.2024"},
      {"indexdoc", "18209965224567890124"},
  };
  for (QrFieldValue& t : r.texts) t.value = Representable(t.value, charset);
  return r;
}

}  // namespace receipts
