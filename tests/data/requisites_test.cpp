// The requisite checks against published and worked cases: check digits of
// INNs, account keys against BIKs, treasury accounts, codes of the tax fields,
// and whole receipts taken from sample payment payloads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>

#include "data/receipt_tables.h"
#include "data/requisites.h"
#include "engine/base/codepage.h"
#include "engine/dataset/dada_table.h"
#include "engine/locale/date_time.h"

namespace receipts {
namespace {

// One case: the check applied to an input, and what it should say (nothing,
// or a fragment of its explanation).
struct Case {
  const char* what;
  std::function<Complaint()> check;
  const char* complaint;  // nullptr when the value passes
};

void Expect(const Complaint& got, const char* complaint, const std::string& what) {
  if (!complaint) {
    EXPECT_FALSE(got) << what << ": " << got.value_or("");
  } else if (!got) {
    ADD_FAILURE() << what << " passed";
  } else {
    EXPECT_NE(got->find(complaint), std::string::npos) << what << ": " << *got;
  }
}

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) Expect(c.check(), c.complaint, c.what);
}

TEST(RequisitesTest, PublishedCaseTable) {
  RunCases({
      {"INN10 5834123457", [] { return CheckInn("5834123457", InnKind::kOrganisation); }, nullptr},
      {"INN10 remainder 10", [] { return CheckInn("5834100080", InnKind::kOrganisation); }, nullptr},
      {"INN10 5834123450", [] { return CheckInn("5834123450"); }, "ИНН: неверная контрольная цифра"},
      {"INN12 583412345660", [] { return CheckInn("583412345660", InnKind::kPayer); }, nullptr},
      {"INN12 583412345661", [] { return CheckInn("583412345661", InnKind::kPayer); }, "контрольная цифра"},
      {"INN starting 00", [] { return CheckInn("0058341234"); }, "не может начинаться с 00"},
      {"KPP 583401001", [] { return CheckKpp("583401001"); }, nullptr},
      {"KPP 58340100", [] { return CheckKpp("58340100"); }, "9 знаков"},
      {"account", [] { return CheckAccount("40702810200001234567", "045678901"); }, nullptr},
      {"account, wrong key", [] { return CheckAccount("40702810200001234568", "045678901"); },
       "Счёт не соответствует БИК"},
      {"account at a cash centre", [] { return CheckAccount("40101810600000010001", "045678000"); }, nullptr},
      {"corr. account", [] { return CheckCorrAccount("30101810500000000901", "045678901"); }, nullptr},
      {"corr. account, wrong tail", [] { return CheckCorrAccount("30101810500000000902", "045678901"); },
       "не соответствует БИК"},
      // Fails the key with every prefix: only the skip lets it pass.
      {"treasury account", [] { return CheckAccount("03100643000000015600", "015678001"); }, nullptr},
      {"treasury single account", [] { return CheckCorrAccount("40102810445370000099", "015678001"); }, nullptr},
      {"KBK", [] { return CheckKbk("18210604012021000110"); }, nullptr},
      {"KBK all zeros", [] { return CheckKbk("00000000000000000000"); }, "одних нулей"},
      {"OKTMO 8", [] { return CheckOktmo("56999000", false); }, nullptr},
      {"OKTMO 11", [] { return CheckOktmo("56999000001", false); }, nullptr},
      {"OKTMO 0, single tax payment", [] { return CheckOktmo("0", true); }, nullptr},
      {"OKTMO 0 elsewhere", [] { return CheckOktmo("0", false); }, "едином налоговом платеже"},
      {"OKTMO 7 digits", [] { return CheckOktmo("5699900", true); }, "8 или 11 цифр"},
      {"UIN", [] { return CheckUin("18209965224567890124"); }, nullptr},
      {"UIN, second pass", [] { return CheckUin("18209965224567890060"); }, nullptr},
      {"UIN, wrong digit", [] { return CheckUin("18209965224567890125"); }, "УИН: неверная контрольная цифра"},
  });
}

// Cases worked out here beyond the published table: the other ways a value
// goes wrong, and the values the rules allow that a naive check refuses.
TEST(RequisitesTest, FurtherCases) {
  RunCases({
      // A correct 12-digit INN is still wrong where only 10 fit, and back.
      {"INN12 for a tax recipient", [] { return CheckInn("583412345660", InnKind::kOrganisation); }, "10 цифр"},
      {"INN10 for a payer", [] { return CheckInn("5834123457", InnKind::kPayer); }, "12 цифр"},
      {"INN 11 digits", [] { return CheckInn("58341234576"); }, "10 или 12 цифр"},
      {"INN with a letter", [] { return CheckInn("58341234S7"); }, "только цифры"},
      {"INN12, second digit wrong", [] { return CheckInn("583412345670"); }, "контрольная цифра"},
      {"payer without INN", [] { return CheckInn("0", InnKind::kPayer); }, nullptr},
      {"recipient INN 0", [] { return CheckInn("0", InnKind::kOrganisation); }, "10 цифр"},
      {"INN with blanks around", [] { return CheckInn(" 5834123457 "); }, nullptr},
      {"KPP with Latin letters", [] { return CheckKpp("5834AB001"); }, nullptr},
      {"KPP with a Cyrillic letter", [] { return CheckKpp("5834АВ001"); }, "латинские"},
      {"KPP letter out of place", [] { return CheckKpp("58340100A"); }, "латинские"},
      {"KPP starting 00", [] { return CheckKpp("003401001"); }, "не может начинаться с 00"},
      {"KPP 0", [] { return CheckKpp("0"); }, nullptr},
      {"BIK", [] { return CheckBik("045678901"); }, nullptr},
      {"treasury BIK", [] { return CheckBik("017003983"); }, nullptr},
      {"BIK 8 digits", [] { return CheckBik("04567890"); }, "9 цифр"},
      {"BIK with a letter", [] { return CheckBik("04567890A"); }, "9 цифр"},
      {"BIK unknown prefix", [] { return CheckBik("945678901"); }, "04 (банк) или 01"},
      // The right account judged with a cash centre's prefix has another key.
      {"bank account, cash-centre BIK", [] { return CheckAccount("40702810200001234567", "045678000"); },
       "не соответствует БИК"},
      {"account 19 digits", [] { return CheckAccount("4070281020000123456", "045678901"); }, "20 цифр"},
      {"account, BIK not filled", [] { return CheckAccount("40702810200001234568", ""); }, nullptr},
      {"account, BIK malformed", [] { return CheckAccount("40702810200001234568", "0456789"); }, nullptr},
      {"large bank's published pair", [] { return CheckCorrAccount("30101810400000000225", "044525225"); }, nullptr},
      // Right tail, wrong key digit.
      {"corr. account, wrong key", [] { return CheckCorrAccount("30101810600000000901", "045678901"); },
       "не соответствует БИК"},
      {"corr. account, other balance account",
       [] { return CheckCorrAccount("40702810200001234567", "045678901"); }, "30101"},
      {"corr. account 0", [] { return CheckCorrAccount("0", "045678901"); }, nullptr},
      {"KBK 19 digits", [] { return CheckKbk("1821060401202100011"); }, "20 цифр"},
      {"OKTMO all zeros", [] { return CheckOktmo("00000000", true); }, "одних нулей"},
      {"UIN both passes 10", [] { return CheckUin("18209965224560000760"); }, nullptr},
      {"UIN 25 digits", [] { return CheckUin("0321000000000012345678902"); }, nullptr},
      {"UIN 25 digits, wrong", [] { return CheckUin("0321000000000012345678903"); }, "контрольная цифра"},
      {"UIN 0", [] { return CheckUin("0"); }, nullptr},
      {"UIN all zeros", [] { return CheckUin("00000000000000000000"); }, "одних нулей"},
      {"UIN of free text", [] { return CheckUin("уведомление 12"); }, "20 или 25 цифр"},
  });
}

TEST(RequisitesTest, TaxPeriods) {
  struct {
    const char* period;
    const char* complaint;
  } cases[] = {
      {"МС.02.2024", nullptr}, {"МС.12.2024", nullptr},     {"МС.13.2024", "месяца"},
      {"МС.00.2024", "месяца"}, {"КВ.01.2024", nullptr},    {"КВ.05.2024", "квартала"},
      {"ПЛ.02.2024", nullptr}, {"ПЛ.03.2024", "полугодия"}, {"ГД.00.2024", nullptr},
      {"ГД.01.2024", "00"},     {"28.04.2024", nullptr},    {"29.02.2024", nullptr},
      {"29.02.2023", "даты"},   {"31.04.2024", "даты"},     {"0", nullptr},
      {"ГД.00.24", "вида"},     {"ГД/00/2024", "вида"},     {"GD.00.2024", "вида"},  // Latin letters
      {"мс.02.2024", "вида"},   {"2024", "вида"},
  };
  for (const auto& c : cases) Expect(CheckTaxPeriod(c.period), c.complaint, c.period);
}

TEST(RequisitesTest, PayerStatusAgainstTheCodesInForce) {
  struct {
    const char* status;
    int date;
    const char* complaint;
  } cases[] = {
      {"13", 0, nullptr},
      {"01", 0, nullptr},
      {"24", 20240101, nullptr},
      {"34", 0, nullptr},
      {"09", 0, "отменён с 01.10.2021: укажите 13"},
      {"12", 20211001, "отменён"},
      {"09", 20210930, nullptr},  // a receipt from before the change
      {"14", 0, "исключён"},
      {"14", 20120515, nullptr},
      {"00", 0, "нет такого кода"},
      {"35", 20120515, "нет такого кода"},
      {"1", 0, "двузначный"},
      {"1З", 0, "двузначный"},  // a Cyrillic З for the 3
  };
  for (const auto& c : cases)
    Expect(CheckPayerStatus(c.status, c.date), c.complaint, std::string(c.status) + " on " + std::to_string(c.date));
}

TEST(RequisitesTest, EmptyValuesAreNeverErrors) {
  for (const char* empty : {"", "   ", "\t"}) {
    EXPECT_FALSE(CheckInn(empty, InnKind::kOrganisation));
    EXPECT_FALSE(CheckInn(empty, InnKind::kPayer));
    EXPECT_FALSE(CheckKpp(empty));
    EXPECT_FALSE(CheckBik(empty));
    EXPECT_FALSE(CheckAccount(empty, "045678901"));
    EXPECT_FALSE(CheckCorrAccount(empty, "045678901"));
    EXPECT_FALSE(CheckKbk(empty));
    EXPECT_FALSE(CheckOktmo(empty, false));
    EXPECT_FALSE(CheckTaxPeriod(empty));
    EXPECT_FALSE(CheckUin(empty));
    EXPECT_FALSE(CheckPayerStatus(empty));
  }
  ReceiptRequisites blank;
  blank.tax = true;
  EXPECT_TRUE(CheckReceiptRequisites(blank).empty());
}

// The key=value pairs of a payment payload ("ST00012|Name=...|...").
std::map<std::string, std::string> PayloadPairs(const std::string& payload) {
  std::map<std::string, std::string> pairs;
  char separator = payload.at(7);
  size_t at = 8;
  while (at <= payload.size()) {
    size_t end = payload.find(separator, at);
    if (end == std::string::npos) end = payload.size();
    std::string pair = payload.substr(at, end - at);
    size_t eq = pair.find('=');
    if (eq != std::string::npos) pairs[pair.substr(0, eq)] = pair.substr(eq + 1);
    at = end + 1;
  }
  return pairs;
}

ReceiptRequisites FromPayload(const std::string& payload, bool tax) {
  auto p = PayloadPairs(payload);
  ReceiptRequisites r;
  r.tax = tax;
  r.date = 20250301;
  r.payer_inn = p["PayerINN"];
  r.recipient_inn = p["PayeeINN"];
  r.kpp = p["KPP"];
  r.account = p["PersonalAcc"];
  r.bik = p["BIC"];
  r.corr_account = p["CorrespAcc"];
  r.kbk = p["CBC"];
  r.oktmo = p["OKTMO"];
  r.status = p["DrawerStatus"];
  r.period = p["TaxPeriod"];
  r.doc_index = p["UIN"];
  return r;
}

std::string Texts(const std::vector<RequisiteFailure>& failures) {
  std::string all;
  for (const RequisiteFailure& f : failures) all += f.field + ": " + f.text + "\n";
  return all;
}

TEST(RequisitesTest, SamplePayloadsPass) {
  const std::string bank_payment =
      "ST00012|Name=ООО «Ромашка-Условная»|PersonalAcc=40702810200001234567|BankName=АО «УСЛОВНЫЙ БАНК» г. "
      "Условный|BIC=045678901|CorrespAcc=30101810500000000901|PayeeINN=5834123457|KPP=583401001|Sum=123450|"
      "Purpose=Оплата по договору № 15 от 01.03.2025, без НДС|LastName=Петров|FirstName=Пётр|MiddleName=Петрович|"
      "PayerAddress=г. Условный, ул. Примерная, д. 1, кв. 2|PersAcc=000123|PayerINN=583412345660";
  const std::string tax_payment =
      "ST00012|Name=УФК по Условной области (Межрайонная ИФНС России № 9 по Условной области)|"
      "PersonalAcc=03100643000000015600|BankName=ОТДЕЛЕНИЕ УСЛОВНОЕ//УФК по Условной области|BIC=015678001|"
      "CorrespAcc=40102810445370000099|PayeeINN=5834000014|KPP=583401001|Sum=387000|Purpose=Транспортный налог "
      "за 2024 год|CBC=18210604012021000110|OKTMO=56999000|DrawerStatus=13|PaytReason=ТП|TaxPeriod=ГД.00.2024|"
      "DocNo=0|DocDate=0|UIN=18209965224567890124|PayerINN=583412345660|LastName=Петров|FirstName=Пётр|"
      "MiddleName=Петрович|PayerAddress=г. Условный, ул. Примерная, д. 1, кв. 2";
  EXPECT_EQ(Texts(CheckReceiptRequisites(FromPayload(bank_payment, false))), "");
  ReceiptRequisites tax = FromPayload(tax_payment, true);
  ASSERT_EQ(tax.oktmo, "56999000");
  EXPECT_EQ(Texts(CheckReceiptRequisites(tax)), "");

  // The same payment with one digit changed in each requisite in turn.
  struct Slip {
    std::string ReceiptRequisites::*member;
    const char* value;
    const char* field;
  } slips[] = {
      {&ReceiptRequisites::payer_inn, "583412345661", "InnPlat"},
      {&ReceiptRequisites::recipient_inn, "5834000015", "InnPoluch"},
      {&ReceiptRequisites::kpp, "58340100", "KppPoluch"},
      {&ReceiptRequisites::account, "0310064300000001560", "SchetPoluch"},
      {&ReceiptRequisites::bik, "915678001", "Bik"},
      {&ReceiptRequisites::corr_account, "40102810445370000098", "korSchet"},
      {&ReceiptRequisites::kbk, "1821060401202100011", "kodklass"},
      {&ReceiptRequisites::oktmo, "0", "okato"},  // "0" belongs to the single tax payment only
      {&ReceiptRequisites::status, "10", "status"},
      {&ReceiptRequisites::period, "ГД.01.2024", "srok"},
      {&ReceiptRequisites::doc_index, "18209965224567890125", "indexdoc"},
  };
  for (const Slip& s : slips) {
    ReceiptRequisites r = tax;
    r.*s.member = s.value;
    auto failures = CheckReceiptRequisites(r);
    ASSERT_EQ(failures.size(), 1u) << s.field << "\n" << Texts(failures);
    EXPECT_EQ(failures[0].field, s.field);
  }
}

TEST(RequisitesTest, SingleTaxPaymentRecipientPasses) {
  ReceiptRequisites r;
  r.tax = true;
  r.payer_inn = "583412345660";
  r.recipient_inn = "7727406020";
  r.account = "03100643000000018500";  // a treasury account: fails the 7-1-3 key, which does not apply
  r.bik = "017003983";
  r.corr_account = "40102810445370000059";
  r.kbk = "18201061201010000510";
  r.oktmo = "0";
  r.status = "13";
  r.period = "0";
  r.doc_index = "0";
  for (const char* kpp : {"770801001", "770701001"}) {
    r.kpp = kpp;
    EXPECT_EQ(Texts(CheckReceiptRequisites(r)), "") << kpp;
  }
  EXPECT_TRUE(IsSingleTaxPaymentKbk(" 18201061201010000510 "));
}

TEST(RequisitesTest, ReceiptFailuresNameWhoseNumberItIs) {
  ReceiptRequisites r;
  r.payer_inn = "583412345661";
  r.recipient_inn = "5834123450";
  r.oktmo = "5699900";  // tax fields of a bank receipt are not judged
  r.status = "99";
  auto failures = CheckReceiptRequisites(r);
  ASSERT_EQ(failures.size(), 2u) << Texts(failures);
  EXPECT_EQ(failures[0].text, "ИНН плательщика: неверная контрольная цифра");
  EXPECT_EQ(failures[1].text, "ИНН получателя: неверная контрольная цифра");

  // A person's INN is right for a bank receipt's recipient, not for a tax one.
  r = ReceiptRequisites{};
  r.recipient_inn = "583412345660";
  EXPECT_TRUE(CheckReceiptRequisites(r).empty());
  r.tax = true;
  ASSERT_EQ(CheckReceiptRequisites(r).size(), 1u);
  EXPECT_EQ(CheckReceiptRequisites(r)[0].text, "ИНН получателя: нужно 10 цифр");
}

// A stored receipt read back: every requisite field, the tax flag, and the
// receipt's date deciding which status codes were in force.
TEST(RequisitesTest, StoredReceiptIsReadWithItsDate) {
  char pattern[] = "/tmp/requisites-XXXXXX";
  std::string dir = ::mkdtemp(pattern);
  std::string path = dir + "/formix.tdb";
  CreateDatabaseFile(path, ReceiptFiles().at(0).schema);
  {
    tdb::TDadaTable table;
    table.SetDatabaseName(path);
    table.SetTableName("formix");
    table.Open();
    const std::pair<const char*, const char*> values[] = {
        {"InnPlat", "583412345660"},        {"InnPoluch", "5834000014"},
        {"KppPoluch", "583401001"},         {"SchetPoluch", "03100643000000015600"},
        {"Bik", "015678001"},               {"korSchet", "40102810445370000099"},
        {"kodklass", "18210604012021000110"}, {"okato", "56999000"},
        {"status", "09"},                   {"srok", "ГД.00.2020"},
        {"indexdoc", "18209965224567890124"},
    };
    for (int day : {30, 1}) {
      table.Append();
      for (const auto& [field, value] : values) table.FieldByName(field).SetAsString(tdb::Utf8ToCp1251(value));
      table.FieldByName("naloglog").SetAsBoolean(true);
      int32_t number = *tdb::EncodeDate(2021, day == 30 ? 9 : 10, day);
      table.FieldByName("DatePlat").SetAsDateTime(number - 693594);
      table.Post();
    }
    table.First();
    ReceiptRequisites before = RequisitesOfReceipt(table);
    EXPECT_EQ(before.date, 20210930);
    EXPECT_TRUE(before.tax);
    EXPECT_EQ(before.period, "ГД.00.2020");
    EXPECT_EQ(before.corr_account, "40102810445370000099");
    EXPECT_EQ(Texts(CheckReceiptRequisites(before)), "");
    table.Next();
    ReceiptRequisites after = RequisitesOfReceipt(table);
    EXPECT_EQ(after.date, 20211001);
    EXPECT_EQ(Texts(CheckReceiptRequisites(after)), "status: Статус 09 отменён с 01.10.2021: укажите 13\n");
  }
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
}  // namespace receipts
