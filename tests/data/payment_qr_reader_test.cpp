// Reading payment codes back: the worked examples in every charset and with
// any separator, the round trip through the builder, exact kopecks, and the
// payloads that must be refused.
#include "data/payment_qr_reader.h"

#include <gtest/gtest.h>

#include "support/qr_examples.h"
#include "support/receipt_fixture.h"

namespace receipts {
namespace {

void ExpectReceipt(const QrReceipt& got, const QrReceipt& want) {
  EXPECT_EQ(got.tax, want.tax);
  EXPECT_EQ(got.summa.value, want.summa.value);
  EXPECT_EQ(got.texts, want.texts);
}

TEST(PaymentQrReaderTest, WorkedExamplesInEveryCharsetFillTheirReceipts) {
  struct Case {
    const std::string& payload;
    QrReceipt (*receipt)(QrCharset);
  };
  for (const Case& c : {Case{kWorkedPd4, WorkedPd4Receipt}, Case{kWorkedTax, WorkedTaxReceipt}}) {
    for (QrCharset charset : kAllQrCharsets) {
      SCOPED_TRACE(std::string(QrCharsetLabel(charset)) + " " + c.payload.substr(0, 30));
      const QrReadResult read = ReadQrPayload(PayloadBytes(c.payload, charset));
      ASSERT_TRUE(read.ok()) << read.message;
      EXPECT_EQ(read.payload.charset, charset);
      EXPECT_EQ(read.payload.separator, "|");
      ExpectReceipt(ReceiptOfQr(read.payload), c.receipt(charset));
    }
  }
}

TEST(PaymentQrReaderTest, TheCharacterAfterTheServiceBlockIsTheSeparator) {
  // "Ж" is one byte in the single-byte charsets and two in UTF-8.
  for (const std::string sep : {"#", "~", ";", "Ж"}) {
    for (QrCharset charset : kAllQrCharsets) {
      SCOPED_TRACE(sep + " " + QrCharsetLabel(charset));
      std::string text = kWorkedPd4;
      for (size_t at = text.find('|'); at != std::string::npos; at = text.find('|', at + sep.size()))
        text.replace(at, 1, sep);
      const QrReadResult read = ReadQrPayload(PayloadBytes(text, charset));
      ASSERT_TRUE(read.ok()) << read.message;
      EXPECT_EQ(read.payload.separator, sep);
      ExpectReceipt(ReceiptOfQr(read.payload), WorkedPd4Receipt(charset));
    }
  }
}

TEST(PaymentQrReaderTest, BuilderAndReaderAgreeOnEveryReceiptValue) {
  struct Case {
    MapReceipt receipt;
    bool tax;
  };
  for (const Case& c : {Case{FullPd4Receipt(), false}, Case{FullTaxReceipt(), true}}) {
    for (QrCharset charset : {QrCharset::kWindows1251, QrCharset::kUtf8}) {
      SCOPED_TRACE(std::string(c.tax ? "tax " : "pd4 ") + QrCharsetLabel(charset));
      const std::vector<Requisite> requisites = QrRequisitesOf(c.receipt, c.tax);
      const QrPayload built = BuildQrPayload(requisites, charset);
      ASSERT_TRUE(built.ok()) << built.fault;
      const QrReadResult read = ReadQrPayload(built.bytes);
      ASSERT_TRUE(read.ok()) << read.message;
      EXPECT_EQ(read.payload.requisites, requisites);

      const QrReceipt back = ReceiptOfQr(read.payload);
      EXPECT_EQ(back.tax, c.tax);
      EXPECT_EQ(back.summa, c.receipt.Amount("Summa"));
      for (const QrFieldValue& t : back.texts) {
        EXPECT_EQ(t.value, tdb::Cp1251ToUtf8(c.receipt.Text(t.field))) << t.field;
      }
      // Every requisite the builder wrote comes back into a field.
      EXPECT_EQ(back.texts.size(), c.tax ? 18u : 12u);
    }
  }
}

TEST(PaymentQrReaderTest, WhatBillsInTheWildDoIsAccepted) {
  const std::string tail = "|Sum=100|Purpose=Взнос";
  const std::string required =
      "|Name=ТСЖ|PersonalAcc=40702810200001234567|BankName=Банк|BIC=045678901|CorrespAcc=0";
  const std::string cases[] = {
      "ST00012" + required + tail + "|",                              // trailing separator
      "ST00012" + required + tail + "\r\n",                           // line break after the text
      "ST00012|Sum=100|Purpose=Взнос" + required,                     // required ones not first
      "ST00012" + required + tail + "|ServiceName=7|Flat=12|X-Own=1",  // keys this program does not use
      "ST00012" + required + tail + "|Purpose2=a=b",                  // '=' inside a value
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    const QrReadResult read = ReadQrPayload(text);
    ASSERT_TRUE(read.ok()) << read.message;
    const QrReceipt r = ReceiptOfQr(read.payload);
    EXPECT_FALSE(r.tax);
    EXPECT_EQ(r.summa.value, 10000);
    EXPECT_EQ(r.Text("NaznPlat"), "Взнос");
    EXPECT_EQ(r.Text("korSchet"), "0");
  }
}

TEST(PaymentQrReaderTest, RefusedPayloadsSayWhy) {
  const std::string good = kWorkedPd4;
  const std::string cp1251 = PayloadBytes(kWorkedPd4, QrCharset::kWindows1251);
  struct Case {
    std::string bytes;
    QrReadFault fault;
    const char* says;
  };
  const Case cases[] = {
      {"https://example.org/pay?id=1", QrReadFault::kNotPayment, "не платёжный"},
      {"", QrReadFault::kNotPayment, "не платёжный"},
      {"st00012|Name=x", QrReadFault::kNotPayment, "не платёжный"},
      {"ST0001", QrReadFault::kDamaged, "служебном блоке"},
      {"ST00012", QrReadFault::kDamaged, "служебном блоке"},
      {"ST00022" + good.substr(7), QrReadFault::kDamaged, "версия формата «0002»"},
      {"ST00014" + good.substr(7), QrReadFault::kDamaged, "кодировка «4»"},
      // Cut inside the required block, inside a key, inside a letter.
      {good.substr(0, good.find("|BIC=")), QrReadFault::kDamaged, "нет обязательного реквизита BIC"},
      {good.substr(0, good.find("|KPP=") + 3), QrReadFault::kDamaged, "не имеет вида Реквизит=Значение"},
      {good.substr(0, good.find("ООО") + 1), QrReadFault::kDamaged, "не в кодировке UTF-8"},
      {cp1251.substr(0, cp1251.find("|CorrespAcc=") + 20), QrReadFault::kDamaged, "неверный формат значения CorrespAcc"},
      // Sound structure, wrong numbers.
      {good + "|Sum=5", QrReadFault::kDamaged, "реквизит Sum повторяется"},
      {"ST00012|Name=x|PersonalAcc=1|BankName=b|BIC=045678901|CorrespAcc=0", QrReadFault::kDamaged,
       "PersonalAcc «1»"},
      {"ST00012|Name=x|PersonalAcc=40702810200001234567|BankName=b|BIC=045678901|CorrespAcc=0|Sum=12,50",
       QrReadFault::kDamaged, "значения Sum"},
      {"ST00012|Name=x|PersonalAcc=40702810200001234567|BankName=b|BIC=045678901|CorrespAcc=0|Sum=999999999999999999",
       QrReadFault::kDamaged, "значения Sum"},
      {"ST00012|Name= |PersonalAcc=40702810200001234567|BankName=b|BIC=045678901|CorrespAcc=0", QrReadFault::kDamaged,
       "пустой обязательный реквизит Name"},
      {"ST00012|Name=x||PersonalAcc=40702810200001234567", QrReadFault::kDamaged, "«» не имеет вида"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 60));
    const QrReadResult read = ReadQrPayload(c.bytes);
    EXPECT_EQ(read.fault, c.fault);
    EXPECT_NE(read.message.find(c.says), std::string::npos) << read.message;
    if (c.fault == QrReadFault::kDamaged) {
      EXPECT_EQ(read.message.rfind("Платёжный QR-код повреждён: ", 0), 0u);
    }
  }
}

TEST(PaymentQrReaderTest, KopecksBecomeTheCurrencyValueExactly) {
  struct Case {
    const char* digits;
    std::optional<int64_t> ten_thousandths;
  };
  const Case cases[] = {
      {"123450", 12345000},
      {"1", 100},
      {"0", 0},
      {"000000000000000010", 1000},
      // 0.29 and 0.57 have no exact binary form: no double may stand between.
      {"29", 2900},
      {"57", 5700},
      {"92233720368547758", 9223372036854775800},
      {"92233720368547759", std::nullopt},
      {"1234567890123456789", std::nullopt},
      {"", std::nullopt},
      {"-5", std::nullopt},
      {"12.50", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto got = CurrencyOfKopecks(c.digits);
    ASSERT_EQ(got.has_value(), c.ten_thousandths.has_value()) << c.digits;
    if (got) {
      EXPECT_EQ(got->value, *c.ten_thousandths) << c.digits;
    }
  }
}

TEST(PaymentQrReaderTest, TheKindOfReceiptFollowsTheBudgetRequisites) {
  const std::string base = "ST00012|Name=x|PersonalAcc=40702810200001234567|BankName=b|BIC=045678901|CorrespAcc=0";
  struct Case {
    std::string extra;
    bool tax;
  };
  const Case cases[] = {
      {"", false},
      {"|CBC=18210604012021000110", true},
      {"|DrawerStatus=13", true},
      {"|CBC=0", false},               // a code that names no budget payment
      {"|OKTMO=56999000", false},      // a territory alone is no tax
      {"|DocIdx=18209965224567890124|CBC=18210604012021000110", true},
  };
  for (const Case& c : cases) {
    const QrReadResult read = ReadQrPayload(base + c.extra);
    ASSERT_TRUE(read.ok()) << c.extra << ": " << read.message;
    const QrReceipt r = ReceiptOfQr(read.payload);
    EXPECT_EQ(r.tax, c.tax) << c.extra;
    if (c.extra.find("DocIdx") != std::string::npos) {
      EXPECT_EQ(r.Text("indexdoc"), "18209965224567890124");
    }
  }
}

}  // namespace
}  // namespace receipts
