// Two programs on one data folder, through the rules every screen uses: new
// receipts and directory entries never get a number already stored, and the
// deletion mark and the purge's renumbering change only their own field of
// the record as another program left it.  The other program is a forked
// child that opens the files anew (tests/engine/other_process.h).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "data/database_creator.h"
#include "data/receipt_rules.h"
#include "data/receipt_tables.h"
#include "data/record_changes.h"
#include "engine/dataset/dada_table.h"
#include "engine/db_image.h"
#include "engine/other_process.h"
#include "engine/table_contents.h"

namespace receipts {
namespace {

using ::testing::HasSubstr;
using tdb::testing::InOtherProcess;
using tdb::testing::OtherProgramTable;

struct TableName {
  const char* file;
  const char* table;
};
constexpr TableName kReceipts{"formix.tdb", "formix"};
constexpr TableName kPayers{"platel.tdb", "platel"};
constexpr TableName kRecipients{"Poluchat.tdb", "Poluchat"};
constexpr TableName kCodes{"sprkodBK.tdb", "sprkodBK"};

class SeveralProgramsTest : public ::testing::Test {
 protected:
  // Four empty files (again, when called a second time).
  void SetUp() override {
    for (const ReceiptFile& f : ReceiptFiles()) {
      std::remove(Path(f.file_name).c_str());
      CreateDatabaseFile(Path(f.file_name), f.schema);
    }
  }
  std::string Path(const std::string& file) const { return dir_.path() + "/" + file; }

  std::unique_ptr<tdb::TDadaTable> Open(const TableName& name, const std::string& index = "inomer") {
    auto t = std::make_unique<tdb::TDadaTable>();
    t->SetDatabaseName(Path(name.file));
    t->SetTableName(name.table);
    t->SetIndexName(index);
    t->Open();
    return t;
  }
  // Entries numbered 1..n.
  void Fill(const TableName& name, int n) {
    auto t = Open(name);
    for (int i = 1; i <= n; ++i) {
      t->Insert();
      t->FieldByName("nomer").SetAsInteger(i);
      t->Post();
    }
  }
  // The numbers stored, in "inomer" order.
  std::vector<int> Numbers(const TableName& name) {
    std::vector<int> out;
    auto t = Open(name);
    for (t->First(); !t->Eof(); t->Next()) out.push_back(t->FieldByName("nomer").AsInteger());
    return out;
  }

  tdb::testing::TempDir dir_;
};

// Both programs offer the same number for their new entry; the one that
// stores second gets the next free number and can tell the user.  On every
// table, whatever index the program shows it in.
TEST_F(SeveralProgramsTest, TwoProgramsCreatingAtOnceStoreDifferentNumbers) {
  for (const TableName& name : {kReceipts, kPayers, kRecipients, kCodes}) {
    SCOPED_TRACE(name.table);
    Fill(name, 3);
    auto mine = Open(name, std::string(name.table) == kCodes.table ? "ikodbk" : "inomer");
    InsertNumbered(*mine);
    EXPECT_EQ(mine->FieldByName("nomer").AsInteger(), 4);
    InOtherProcess([&] {
      OtherProgramTable other(Path(name.file), name.table, "inomer");
      InsertNumbered(other.table);
      other.table.Post();
      if (other.table.StoredNumber() != 4) throw tdb::EDatabaseError("the other stored another number");
    });
    mine->Post();
    EXPECT_TRUE(NumberWasTaken(*mine));
    EXPECT_EQ(mine->OfferedNumber(), 4);
    EXPECT_EQ(mine->StoredNumber(), 5);
    EXPECT_EQ(Numbers(name), (std::vector<int>{1, 2, 3, 4, 5}));
  }
}

// After another program deleted a record for good (`tdb delete`), a program
// started afterwards proposes a number above every stored one.
TEST_F(SeveralProgramsTest, CreateAfterADeletionByTheToolGivesAFreeNumber) {
  Fill(kReceipts, 5);
  auto [code, out] = tdb::testing::RunTdb("delete " + Path(kReceipts.file) + " formix --recno 1");
  ASSERT_EQ(code, 0) << out;
  ASSERT_EQ(Numbers(kReceipts), (std::vector<int>{1, 3, 4, 5}));
  auto receipts = Open(kReceipts);
  InsertNumbered(*receipts);
  receipts->Post();
  EXPECT_FALSE(NumberWasTaken(*receipts));
  EXPECT_EQ(Numbers(kReceipts), (std::vector<int>{1, 3, 4, 5, 6}));
}

// What the other program does to receipt 2 while this one changes it.
void ChangeAmount(const std::string& path, double amount) {
  OtherProgramTable other(path, "formix", "inomer");
  other.Go(2);
  other.table.Edit();
  other.table.FieldByName("Summa").SetAsFloat(amount);
  other.table.FieldByName("NaznPlat").SetAsString("purpose of the other program");
  other.table.Post();
}

struct Stored {
  int nomer = 0;
  double summa = 0;
  std::string purpose;
  bool marked = false;
};

// The mark and the purge's renumbering against another program's edit of the
// same receipt made between their edit and post: the post is refused, they
// start again from the stored record, and both changes are kept.
TEST_F(SeveralProgramsTest, MarkAndRenumberingKeepAnotherProgramsChange) {
  struct Case {
    const char* label;
    void (*change)(tdb::TDadaTable&);
    Stored expected;  // of the receipt numbered 2 before
  };
  const Case cases[] = {
      {"mark", [](tdb::TDadaTable& t) { MarkForDeletion(t); }, {2, 7777.77, "purpose of the other program", true}},
      {"renumbering", [](tdb::TDadaTable& t) { SetNumber(t, 9); }, {9, 7777.77, "purpose of the other program", false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SetUp();
    Fill(kReceipts, 3);
    auto receipts = Open(kReceipts, "isumma");
    ASSERT_TRUE(receipts->Locate("nomer", {tdb::TVariant(int64_t{2})}, 0));
    int posts = 0;
    receipts->BeforePost = [&](tdb::TDataSet&) {
      if (++posts == 1) InOtherProcess([&] { ChangeAmount(Path(kReceipts.file), 7777.77); });
    };
    c.change(*receipts);
    EXPECT_EQ(posts, 2) << "refused once, then stored";
    EXPECT_EQ(receipts->State(), tdb::dsBrowse);
    receipts->BeforePost = nullptr;

    auto check = Open(kReceipts);
    ASSERT_TRUE(check->Locate("nomer", {tdb::TVariant(int64_t{c.expected.nomer})}, 0));
    EXPECT_EQ(check->FieldByName("Summa").AsFloat(), c.expected.summa);
    EXPECT_EQ(check->FieldByName("NaznPlat").AsString(), c.expected.purpose);
    EXPECT_EQ(check->FieldByName("slugebnoe").AsBoolean(), c.expected.marked);
  }
}

// A receipt another program deleted cannot be marked: the engine's error
// passes out and the table is back in browse state.  One that keeps being
// changed is given up after kAttempts tries.
TEST_F(SeveralProgramsTest, MarkOfAReceiptGoneOrAlwaysChangingFails) {
  Fill(kReceipts, 3);
  auto receipts = Open(kReceipts);
  ASSERT_TRUE(receipts->Locate("nomer", {tdb::TVariant(int64_t{2})}, 0));
  InOtherProcess([&] {
    OtherProgramTable other(Path(kReceipts.file), "formix", "inomer");
    other.Go(2);
    other.table.Delete();
  });
  try {
    MarkForDeletion(*receipts);
    ADD_FAILURE() << "marked a deleted receipt";
  } catch (const tdb::EDatabaseError& e) {
    EXPECT_TRUE(DeletedByAnother(e)) << e.what();
  }
  EXPECT_EQ(receipts->State(), tdb::dsBrowse);

  ASSERT_TRUE(receipts->Locate("nomer", {tdb::TVariant(int64_t{3})}, 0));
  int posts = 0;
  receipts->BeforePost = [&](tdb::TDataSet&) {
    ++posts;
    InOtherProcess([&] {
      OtherProgramTable other(Path(kReceipts.file), "formix", "inomer");
      other.Go(3);
      other.table.Edit();
      other.table.FieldByName("Summa").SetAsFloat(posts);
      other.table.Post();
    });
  };
  try {
    MarkForDeletion(*receipts);
    ADD_FAILURE() << "marked a receipt that kept changing";
  } catch (const tdb::EDatabaseError& e) {
    EXPECT_TRUE(ChangedByAnother(e)) << e.what();
  }
  receipts->BeforePost = nullptr;
  EXPECT_EQ(posts, kAttempts);
  EXPECT_EQ(receipts->State(), tdb::dsBrowse);
  auto check = Open(kReceipts);
  ASSERT_TRUE(check->Locate("nomer", {tdb::TVariant(int64_t{3})}, 0));
  EXPECT_FALSE(check->FieldByName("slugebnoe").AsBoolean());
  EXPECT_EQ(check->FieldByName("Summa").AsFloat(), kAttempts);
}

// "Ok" on a receipt another program changed while it was open: the post is
// refused; reloaded, the dialog holds the other program's values where the
// user changed nothing and the user's where they did, the fields both
// changed named; the next post stores both.
TEST_F(SeveralProgramsTest, AnEditReloadedAfterAnotherProgramsChangeKeepsWhatWasTyped) {
  Fill(kReceipts, 3);
  auto receipts = Open(kReceipts);
  ASSERT_TRUE(receipts->Locate("nomer", {tdb::TVariant(int64_t{2})}, 0));
  receipts->Edit();
  const RecordValues base = ValuesOf(*receipts);
  receipts->FieldByName("Platel").SetAsString("typed payer");
  receipts->FieldByName("Summa").SetAsFloat(100);
  InOtherProcess([&] { ChangeAmount(Path(kReceipts.file), 7777.77); });  // amount and purpose

  try {
    receipts->Post();
    ADD_FAILURE() << "the post overwrote the other program's change";
  } catch (const tdb::EDatabaseError& e) {
    ASSERT_TRUE(ChangedByAnother(e)) << e.what();
  }
  const std::vector<FieldClash> clashes = ReloadKeepingTyped(*receipts, base);
  ASSERT_EQ(clashes.size(), 1u);
  EXPECT_EQ(clashes[0].field, "Summa");
  EXPECT_EQ(receipts->State(), tdb::dsEdit);
  EXPECT_EQ(receipts->FieldByName("Platel").AsString(), "typed payer");
  EXPECT_EQ(receipts->FieldByName("Summa").AsFloat(), 100);
  EXPECT_EQ(receipts->FieldByName("NaznPlat").AsString(), "purpose of the other program");
  receipts->Post();

  auto check = Open(kReceipts);
  ASSERT_TRUE(check->Locate("nomer", {tdb::TVariant(int64_t{2})}, 0));
  EXPECT_EQ(check->FieldByName("Platel").AsString(), "typed payer");
  EXPECT_EQ(check->FieldByName("Summa").AsFloat(), 100);
  EXPECT_EQ(check->FieldByName("NaznPlat").AsString(), "purpose of the other program");

  // Deleted meanwhile: nothing to reload into; the table is back in browse state.
  receipts->Edit();
  const RecordValues before = ValuesOf(*receipts);
  receipts->FieldByName("Platel").SetAsString("typed again");
  InOtherProcess([&] {
    OtherProgramTable other(Path(kReceipts.file), "formix", "inomer");
    other.Go(2);
    other.table.Delete();
  });
  try {
    ReloadKeepingTyped(*receipts, before);
    ADD_FAILURE() << "reloaded a deleted receipt";
  } catch (const tdb::EDatabaseError& e) {
    EXPECT_TRUE(DeletedByAnother(e)) << e.what();
  }
  EXPECT_EQ(receipts->State(), tdb::dsBrowse);
}

}  // namespace
}  // namespace receipts
