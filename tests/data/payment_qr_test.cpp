// The payment code's text: the reference payload reproduced from a receipt,
// the rules that keep a wrong code off the form, exact kopecks and the
// character sets.
#include "data/payment_qr.h"

#include <gtest/gtest.h>

#include "support/receipt_fixture.h"

namespace receipts {
namespace {

// The worked PD-4 example of the payment-code reference, in UTF-8.
const std::string kReferencePd4 =
    "ST00012|Name=ООО «Ромашка-Условная»|PersonalAcc=40702810200001234567|BankName=АО «УСЛОВНЫЙ БАНК» г. "
    "Условный|BIC=045678901|CorrespAcc=30101810500000000901|PayeeINN=5834123457|KPP=583401001|Sum=123450|"
    "Purpose=Оплата по договору № 15 от 01.03.2025, без НДС|LastName=Петров|FirstName=Пётр|MiddleName=Петрович|"
    "PayerAddress=г. Условный, ул. Примерная, д. 1, кв. 2|PersAcc=000123|PayerINN=583412345660";

TEST(PaymentQrTest, ReceiptGivesTheReferencePayloadInEitherCharset) {
  const MapReceipt receipt = FullPd4Receipt();
  const auto requisites = QrRequisitesOf(receipt, /*tax=*/false);

  QrPayload utf8 = BuildQrPayload(requisites, QrCharset::kUtf8);
  ASSERT_TRUE(utf8.ok()) << utf8.fault;
  EXPECT_EQ(utf8.bytes, kReferencePd4);

  // The printed charset: the same text, one byte per Cyrillic letter.
  QrPayload cp1251 = BuildQrPayload(requisites, kPrintedQrCharset);
  ASSERT_TRUE(cp1251.ok()) << cp1251.fault;
  std::string expected = kReferencePd4;
  expected[6] = '1';
  EXPECT_EQ(cp1251.bytes, tdb::Utf8ToCp1251(expected));
  EXPECT_LT(cp1251.bytes.size(), utf8.bytes.size());
  EXPECT_EQ(DecodeQrText(cp1251.bytes, QrCharset::kWindows1251), expected);
}

TEST(PaymentQrTest, TaxReceiptCarriesTheBudgetFieldsAndNoPersonalAccount) {
  const auto requisites = QrRequisitesOf(FullTaxReceipt(), /*tax=*/true);
  QrPayload p = BuildQrPayload(requisites, QrCharset::kUtf8);
  ASSERT_TRUE(p.ok()) << p.fault;
  for (const char* part : {"|Sum=387000|", "|CBC=18210604012021000110|", "|OKTMO=56999000|", "|DrawerStatus=13|",
                           "|PaytReason=ТП|", "|TaxPeriod=ГД.00.2024|", "|TaxPaytKind=НС|",
                           "|PayerINN=583412345660|", "|UIN=18209965224567890124"}) {
    EXPECT_NE(p.bytes.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(p.bytes.find("PersAcc="), std::string::npos);
}

TEST(PaymentQrTest, ReceiptValuesAreTidiedBeforeTheyAreChecked) {
  MapReceipt r = FullPd4Receipt();
  r.Set("korSchet", "")                                              // a bank without one: "0"
      .Set("BancPoluch", "  " + std::string(30, 'X') + "ЁЁЁЁЁЁЁЁЁЁЁЁЁЁЁЁЁЁЁЁ  ")  // 50 letters: cut to 45
      .Set("Platel", "ООО Ромашка и партнёры")                      // not a person's three names
      .Set("LschPlat", "   ")                                         // blank: left out
      .SetAmount("Summa", 0);                                         // nothing to pay: no Sum
  const auto req = QrRequisitesOf(r, false);
  QrPayload p = BuildQrPayload(req, QrCharset::kUtf8);
  ASSERT_TRUE(p.ok()) << p.fault;
  EXPECT_NE(p.bytes.find("|CorrespAcc=0|"), std::string::npos);
  EXPECT_NE(p.bytes.find("|BankName=" + std::string(30, 'X') + "ЁЁЁЁЁЁЁЁЁЁЁЁЁЁЁ|"), std::string::npos);
  EXPECT_NE(p.bytes.find("|LastName=ООО Ромашка и партнёры|"), std::string::npos);
  EXPECT_EQ(p.bytes.find("FirstName="), std::string::npos);
  EXPECT_EQ(p.bytes.find("PersAcc="), std::string::npos);
  EXPECT_EQ(p.bytes.find("Sum="), std::string::npos);
}

TEST(PaymentQrTest, PayerNameIsSplitOnlyWhenItReadsAsAPersonsName) {
  struct Case {
    const char* payer;
    const char* parts;  // the payload's payer requisites
  } cases[] = {
      {"Петров Пётр Петрович", "|LastName=Петров|FirstName=Пётр|MiddleName=Петрович|"},
      {"Салтыкова-Щедрина Анна", "|LastName=Салтыкова-Щедрина|FirstName=Анна|"},
      {"ООО Ромашка", "|LastName=ООО Ромашка|"},
      {"ИП Петров Пётр", "|LastName=ИП Петров Пётр|"},
      {"Петров П.П.", "|LastName=Петров П.П.|"},
      {"Ромашка и К", "|LastName=Ромашка и К|"},
      {"Ромашка 2000", "|LastName=Ромашка 2000|"},
      {"Петров", "|LastName=Петров|"},
  };
  for (const Case& c : cases) {
    MapReceipt r = FullPd4Receipt();
    r.Set("Platel", c.payer);
    QrPayload p = BuildQrPayload(QrRequisitesOf(r, false), QrCharset::kUtf8);
    ASSERT_TRUE(p.ok()) << p.fault;
    EXPECT_NE(p.bytes.find(c.parts), std::string::npos) << c.payer << "\n" << p.bytes;
    EXPECT_EQ(p.bytes.find("FirstName=") != std::string::npos, std::string(c.parts).find("FirstName") != std::string::npos)
        << c.payer;
  }
}

TEST(PaymentQrTest, CodeWithoutSumWhenAmountsAreNotPrinted) {
  const MapReceipt r = FullPd4Receipt();
  const QrPayload with = BuildQrPayload(QrRequisitesOf(r, false), QrCharset::kUtf8);
  const QrPayload without = BuildQrPayload(QrRequisitesOf(r, false, /*withSum=*/false), QrCharset::kUtf8);
  ASSERT_TRUE(with.ok() && without.ok());
  EXPECT_NE(with.bytes.find("|Sum=123450|"), std::string::npos);
  std::string expected = with.bytes;
  expected.erase(expected.find("|Sum=123450"), std::string("|Sum=123450").size());
  EXPECT_EQ(without.bytes, expected);
}

TEST(PaymentQrTest, ReceiptThatWouldGiveAWrongCodeGivesNone) {
  struct Case {
    const char* what;
    const char* field;
    const char* value;
  } cases[] = {
      {"no account", "SchetPoluch", ""},
      {"account of 19 digits", "SchetPoluch", "4070281020000123456"},
      {"no recipient", "Poluchat", " "},
      {"no bank", "BancPoluch", ""},
      {"BIC with a letter", "Bik", "04567890O"},
      {"INN of 11 digits", "InnPoluch", "58341234570"},
      {"payer INN with a space", "InnPlat", "5834 12345660"},
      {"KPP of 8", "KppPoluch", "58340100"},
      {"separator in the purpose", "NaznPlat", "за газ | за свет"},
      {"line break in the address", "AdresPlat", "г. Условный\nул. Примерная"},
      {"purpose over 210", "NaznPlat", nullptr},
  };
  for (const Case& c : cases) {
    MapReceipt r = FullPd4Receipt();
    r.Set(c.field, c.value ? std::string(c.value) : std::string(211, 'a'));
    QrPayload p = BuildQrPayload(QrRequisitesOf(r, false), QrCharset::kWindows1251);
    EXPECT_FALSE(p.ok()) << c.what;
    EXPECT_TRUE(p.bytes.empty()) << c.what;
  }
  MapReceipt negative = FullPd4Receipt();
  negative.SetAmount("Summa", -10000);
  EXPECT_FALSE(BuildQrPayload(QrRequisitesOf(negative, false), QrCharset::kUtf8).ok());

  MapReceipt tax = FullTaxReceipt();
  tax.Set("kodklass", "1821060401202100011");  // 19 digits
  EXPECT_FALSE(BuildQrPayload(QrRequisitesOf(tax, true), QrCharset::kUtf8).ok());
}

// A limit counts characters: a purpose of 210 Cyrillic letters (420 bytes of
// UTF-8) fits, one letter more does not.
TEST(PaymentQrTest, LimitsCountCharactersNotBytes) {
  std::string purpose;
  for (int i = 0; i < 210; ++i) purpose += "ж";
  MapReceipt r = FullPd4Receipt();
  r.Set("NaznPlat", purpose);
  EXPECT_TRUE(BuildQrPayload(QrRequisitesOf(r, false), QrCharset::kUtf8).ok());
  r.Set("NaznPlat", purpose + "ж");
  EXPECT_FALSE(BuildQrPayload(QrRequisitesOf(r, false), QrCharset::kUtf8).ok());
}

TEST(PaymentQrTest, RequiredRequisitesMustOpenThePayloadInOrder) {
  std::vector<Requisite> r = {{"Name", "А"},
                              {"BankName", "Б"},
                              {"PersonalAcc", "40702810200001234567"},
                              {"BIC", "045678901"},
                              {"CorrespAcc", "0"}};
  EXPECT_FALSE(BuildQrPayload(r, QrCharset::kUtf8).ok());
  std::swap(r[1], r[2]);
  EXPECT_EQ(BuildQrPayload(r, QrCharset::kUtf8).bytes,
            "ST00012|Name=А|PersonalAcc=40702810200001234567|BankName=Б|BIC=045678901|CorrespAcc=0");
  r.pop_back();
  EXPECT_FALSE(BuildQrPayload(r, QrCharset::kUtf8).ok());
}

TEST(PaymentQrTest, KopecksAreExact) {
  struct Case {
    int64_t ten_thousandths;
    const char* kopecks;
  } cases[] = {
      {12345000, "123450"},          // 1234.50
      {9900, "99"},                  // 0.99
      {12340500, "123405"},          // 1234.05
      {1007000 + 13000, "10200"},    // 100.70 + 1.30, added as currency values
      {49, "0"},                     // under half a kopeck
      {50, "1"},                     // half a kopeck rounds up
      {9223372036854775807LL, "92233720368547758"},
      {0, "0"},
  };
  for (const Case& c : cases) EXPECT_EQ(KopecksText(tdb::TCurrency{c.ten_thousandths}), c.kopecks) << c.kopecks;
  EXPECT_EQ(KopecksText(tdb::TCurrency{-1}), std::nullopt);
  // Whole kopecks round halves away from zero on both sides.
  EXPECT_EQ(WholeKopecks(tdb::TCurrency{-50}), -1);
  EXPECT_EQ(WholeKopecks(tdb::TCurrency{-49}), 0);
  EXPECT_EQ(WholeKopecks(tdb::TCurrency{1000050}), 10001);
  // 0.29 is not exact as a double; through the currency value it stays 29.
  EXPECT_EQ(KopecksText(tdb::TCurrency::FromDouble(0.29)), "29");
  EXPECT_EQ(KopecksText(tdb::TCurrency::FromDouble(1234.57)), "123457");
}

TEST(PaymentQrTest, CharsetsEncodeExactlyOrNotAtAll) {
  const std::string text = "№ ё «Ромашка» €";
  for (char digit : {'1', '2', '3'}) {
    const QrCharset cs = *QrCharsetFromDigit(digit);
    auto bytes = EncodeQrText("Оплата ЁЖИК ёжик", cs);
    ASSERT_TRUE(bytes) << digit;
    EXPECT_EQ(DecodeQrText(*bytes, cs), "Оплата ЁЖИК ёжик") << digit;
  }
  EXPECT_EQ(EncodeQrText(text, QrCharset::kWindows1251), tdb::Utf8ToCp1251(text));
  EXPECT_EQ(EncodeQrText("中", QrCharset::kWindows1251), std::nullopt);
  EXPECT_EQ(EncodeQrText("\xff", QrCharset::kUtf8), std::nullopt);
  EXPECT_EQ(QrCharsetFromDigit('4'), std::nullopt);
  // KOI8-R puts the letters elsewhere than Windows-1251.
  EXPECT_NE(EncodeQrText("Ж", QrCharset::kKoi8R), EncodeQrText("Ж", QrCharset::kWindows1251));

  // A value the printed charset cannot hold gives no code rather than "?".
  std::vector<Requisite> r = {{"Name", "ООО 中"},
                              {"PersonalAcc", "40702810200001234567"},
                              {"BankName", "Б"},
                              {"BIC", "045678901"},
                              {"CorrespAcc", "0"}};
  EXPECT_FALSE(BuildQrPayload(r, QrCharset::kWindows1251).ok());
  EXPECT_TRUE(BuildQrPayload(r, QrCharset::kUtf8).ok());
}

}  // namespace
}  // namespace receipts
