// The receipt rules over real files: what a pick writes and in which order,
// what a copy of a directory entry carries, and the proposed numbers, with
// marked entries and under the code directory's kind filter.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/database_creator.h"
#include "data/receipt_rules.h"
#include "data/receipt_tables.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/data_source.h"
#include "engine/db_image.h"

namespace receipts {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class ReceiptRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const ReceiptFile& f : ReceiptFiles()) CreateDatabaseFile(dir_.path() + "/" + f.file_name, f.schema);
  }

  std::unique_ptr<tdb::TDadaTable> Open(const std::string& file, const std::string& table, const std::string& index) {
    auto t = std::make_unique<tdb::TDadaTable>();
    t->SetDatabaseName(dir_.path() + "/" + file);
    t->SetTableName(table);
    t->SetIndexName(index);
    t->Open();
    return t;
  }
  std::unique_ptr<tdb::TDadaTable> Receipts() { return Open("formix.tdb", "formix", "inomer"); }
  std::unique_ptr<tdb::TDadaTable> Payers() { return Open("platel.tdb", "platel", "inomer"); }
  std::unique_ptr<tdb::TDadaTable> Recipients() { return Open("Poluchat.tdb", "Poluchat", "inomer"); }
  std::unique_ptr<tdb::TDadaTable> Codes() { return Open("sprkodBK.tdb", "sprkodBK", "ikodbk"); }

  // Appends an entry with the given field values (texts; "nomer", "tip" and
  // "slugebnoe" as numbers).
  static void Add(tdb::TDataSet& t, const std::vector<std::pair<std::string, std::string>>& values) {
    t.Insert();
    for (const auto& [name, value] : values) {
      tdb::TField& f = t.FieldByName(name);
      if (name == "slugebnoe")
        f.SetAsBoolean(value == "1");
      else if (name == "nomer" || name == "tip")
        f.SetAsInteger(std::stoi(value));
      else
        f.SetAsString(value);
    }
    t.Post();
  }

  tdb::testing::TempDir dir_;
};

// Records the names of the fields as the receipt hears of their changes.
struct ChangeOrder {
  explicit ChangeOrder(tdb::TDataSet& receipt) {
    source.SetDataSet(&receipt);
    source.OnDataChange = [this](tdb::TField* f) {
      if (f) names.push_back(f->FieldName());
    };
  }
  tdb::TDataSource source;
  std::vector<std::string> names;
};

TEST_F(ReceiptRulesTest, PicksWriteTheirFieldsInOrderAndOverwriteEvenWithEmptyValues) {
  auto payers = Payers();
  Add(*payers, {{"nomer", "7"}, {"Platel", "Ivanov"}, {"InnPlat", "7701"}});  // no address, no account
  auto recipients = Recipients();
  Add(*recipients, {{"nomer", "3"}, {"Poluchat", "UFK"}, {"KppPoluch", "770101001"}, {"schetpoluch", "40101"},
                    {"Imns", "IFNS 1"}});
  auto codes = Codes();
  Add(*codes, {{"nomer", "2"}, {"kodBK", "18210102010011000110"}, {"naim", "NDFL"}, {"tip", "0"}});

  auto receipts = Receipts();
  Add(*receipts, {{"nomer", "1"}, {"Platel", "old"}, {"AdresPlat", "old street"}, {"LschPlat", "old account"},
                  {"KppPoluch", "old kpp"}, {"imns", "old imns"}, {"BancPoluch", "old bank"},
                  {"NaznPlat", "typed purpose"}});
  receipts->Edit();
  ChangeOrder order(*receipts);

  CopyFields(PayerPick(), *payers, *receipts);
  CopyFields(RecipientPick(), *recipients, *receipts);
  CopyFields(CodePick(), *codes, *receipts);
  EXPECT_THAT(order.names,
              ElementsAre("Platel", "AdresPlat", "InnPlat", "LschPlat", "nomerPlat",                     //
                          "Poluchat", "InnPoluch", "KppPoluch", "SchetPoluch", "BancPoluch", "Bik",      //
                          "korSchet", "nomerPoluch", "imns",                                            //
                          "kodklass", "nomerBK", "NaznPlat"));
  receipts->Post();

  auto text = [&](const char* name) { return receipts->FieldByName(name).AsString(); };
  EXPECT_EQ(text("Platel"), "Ivanov");
  EXPECT_EQ(text("AdresPlat"), "");
  EXPECT_EQ(text("LschPlat"), "");
  EXPECT_EQ(receipts->FieldByName("nomerPlat").AsInteger(), 7);
  EXPECT_EQ(text("KppPoluch"), "770101001");
  EXPECT_EQ(text("SchetPoluch"), "40101");
  EXPECT_EQ(text("BancPoluch"), "");
  EXPECT_EQ(text("imns"), "IFNS 1");
  EXPECT_EQ(receipts->FieldByName("nomerPoluch").AsInteger(), 3);
  EXPECT_EQ(text("kodklass"), "18210102010011000110");
  EXPECT_EQ(text("NaznPlat"), "NDFL");
  EXPECT_EQ(receipts->FieldByName("nomerBK").AsInteger(), 2);

  // The receipt holds copies: a later change of the entry does not reach it.
  payers->Edit();
  payers->FieldByName("Platel").SetAsString("Petrov");
  payers->Post();
  EXPECT_EQ(Receipts()->FieldByName("Platel").AsString(), "Ivanov");
}

TEST_F(ReceiptRulesTest, NumbersCountMarkedEntriesAndOnlyWhatTheFilterShows) {
  auto payers = Payers();
  EXPECT_EQ(NextNumber(*payers), 1);
  for (int i = 1; i <= 5; ++i) Add(*payers, {{"nomer", std::to_string(i * 10)}, {"slugebnoe", i % 2 ? "0" : "1"}});
  InsertNumbered(*payers);
  EXPECT_EQ(payers->FieldByName("nomer").AsInteger(), 6);  // two of the five are marked
  payers->Cancel();

  auto codes = Codes();
  for (const char* tip : {"0", "2", "0", "2", "0"}) Add(*codes, {{"nomer", "1"}, {"tip", tip}});
  const std::vector<int> expected = {6, 4, 1, 3};  // none, tax, penalty, fine
  for (size_t position = 0; position < KindFilterTexts().size(); ++position) {
    codes->SetFiltered(false);
    codes->SetFilter(KindFilterTexts()[position]);
    codes->SetFiltered(!KindFilterTexts()[position].empty());
    InsertNumbered(*codes);
    EXPECT_EQ(codes->FieldByName("nomer").AsInteger(), expected[position]) << position;
    codes->Cancel();
  }
}

TEST_F(ReceiptRulesTest, CopiesCarryTheirMapAndNothingElse) {
  auto recipients = Recipients();
  Add(*recipients, {{"nomer", "1"}, {"Poluchat", "UFK"}, {"InnPoluch", "7702"}, {"KppPoluch", "770201001"},
                    {"schetpoluch", "40101"}, {"BancPoluch", "GRKC"}, {"Bik", "044583001"},
                    {"korSchet", "30101"}, {"Imns", "IFNS 2"}, {"slugebnoe", "1"}});
  InsertCopy(*recipients, RecipientCopy());
  recipients->Post();
  recipients->Last();
  auto text = [&](const char* name) { return recipients->FieldByName(name).AsString(); };
  EXPECT_EQ(recipients->FieldByName("nomer").AsInteger(), 2);
  std::vector<std::string> copied;
  for (const char* f : {"Poluchat", "InnPoluch", "schetpoluch", "BancPoluch", "Bik", "korSchet"})
    copied.push_back(text(f));
  EXPECT_THAT(copied, ElementsAreArray({"UFK", "7702", "40101", "GRKC", "044583001", "30101"}));
  EXPECT_EQ(text("KppPoluch"), "");
  EXPECT_EQ(text("Imns"), "");
  EXPECT_FALSE(recipients->FieldByName("slugebnoe").AsBoolean());  // a copy of a marked entry is not marked

  auto payers = Payers();
  Add(*payers, {{"nomer", "1"}, {"Platel", "Ivanov"}, {"adresPlat", "Moscow"}, {"InnPlat", "77"},
                {"LschPlat", "123"}});
  InsertCopy(*payers, PayerCopy());
  EXPECT_EQ(payers->FieldByName("Platel").AsString(), "Ivanov");
  EXPECT_EQ(payers->FieldByName("adresPlat").AsString(), "Moscow");
  EXPECT_EQ(payers->FieldByName("LschPlat").AsString(), "");
  payers->Cancel();

  // A copy from an empty (filtered) code list starts from kind 0 and empty texts.
  auto codes = Codes();
  Add(*codes, {{"nomer", "1"}, {"kodBK", "182"}, {"naim", "fine"}, {"tip", "2"}});
  codes->SetFilter(KindFilterTexts()[2]);
  codes->SetFiltered(true);
  ASSERT_TRUE(codes->IsEmpty());
  InsertCopy(*codes, CodeCopy());
  EXPECT_EQ(codes->FieldByName("nomer").AsInteger(), 1);
  EXPECT_EQ(codes->FieldByName("tip").AsInteger(), 0);
  EXPECT_EQ(codes->FieldByName("kodBK").AsString(), "");
  codes->Cancel();
  codes->SetFiltered(false);
  InsertCopy(*codes, CodeCopy());
  EXPECT_EQ(codes->FieldByName("tip").AsInteger(), 2);
  EXPECT_EQ(codes->FieldByName("naim").AsString(), "fine");
  EXPECT_EQ(codes->FieldByName("nomer").AsInteger(), 2);
  codes->Cancel();
}

TEST_F(ReceiptRulesTest, ReceiptCopyKeepsTheFormAndTheTaxFieldsButNotTheOnePaymentsOwn) {
  auto receipts = Receipts();
  std::vector<std::string> names;
  for (const char* name : ReceiptCopyFields()) names.push_back(receipts->FieldByName(name).FieldName());
  for (const char* kept : {"document", "naloglog", "srok", "tipplat", "osnovanie", "status", "okato", "kodklass"})
    EXPECT_THAT(names, ::testing::Contains(kept));
  for (const char* own : {"nomer", "DatePlat", "indexdoc", "peni", "straf", "slugebnoe"})
    EXPECT_THAT(names, ::testing::Not(::testing::Contains(own)));
}

}  // namespace
}  // namespace receipts
