// The table dataset over real files: databases and sessions, opening,
// order, navigation, posting, deleting and access by password.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <vector>

#include "engine/base/database_error.h"
#include "engine/database/database.h"
#include "engine/database/session.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/table_fixture.h"
#include "engine/locale/date_time.h"
#include "engine/processing/password_check.h"

namespace tdb {
namespace {

using ::testing::HasSubstr;
using testing::OneTableImage;
using testing::TempDir;

TEST_F(DadaTableTest, EmptyTable) {
  auto t = OpenTable("inomer");
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_EQ(t->RecNo(), 0);
  EXPECT_TRUE(t->Eof());
  EXPECT_TRUE(t->Bof());
  t->First();
  EXPECT_TRUE(t->Eof() && t->Bof());
  EXPECT_EQ(t->FieldByName("name").AsString(), "");
  EXPECT_THAT(ErrorOf([&] { t->Delete(); }), HasSubstr("Cannot perform this operation on an empty dataset"));
}

TEST_F(DadaTableTest, FieldsIndexesAndNamesInAnyCase) {
  auto t = OpenTable("INAME");
  EXPECT_EQ(t->CurrentIndexNo(), 1);
  EXPECT_EQ(&t->FieldByName("NoMeR"), &t->FieldByName("nomer"));
  t->Name = "Table1";
  EXPECT_EQ(ErrorOf([&] { t->FieldByName("nomerr"); }), "Table1: Field 'nomerr' not found");
  ASSERT_EQ(t->FieldDefs().size(), 8u);
  EXPECT_EQ(t->FieldDefs()[1].Size, 20);
  EXPECT_EQ(t->FieldDefs()[0].Size, 0);
  ASSERT_EQ(t->IndexDefs().size(), 2u);
  EXPECT_EQ(t->IndexDefs()[0].Fields, "nomer");
  EXPECT_TRUE(t->IndexDefs()[0].Has(ixUnique));

  // A name that matches no index falls back to record order (no primary index here).
  t->SetIndexName("nosuch");
  EXPECT_EQ(t->CurrentIndexNo(), -1);
}

TEST_F(DadaTableTest, MissingIndexFallsBackToThePrimaryIndex) {
  std::string path = dir_.File("p.tdb", OneTableImage(ReceiptsLikeHeader(/*with_primary=*/true)));
  auto t = OpenTable("nosuch", path);
  EXPECT_EQ(t->CurrentIndexNo(), 0);
}

TEST_F(DadaTableTest, DatabaseNameEmptiesTableAndIndexNames) {
  TDadaTable t;
  t.SetDatabaseName("a.tdb");
  t.SetTableName("t");
  t.SetIndexName("i");
  t.SetDatabaseName("a.tdb");  // even the same name
  EXPECT_EQ(t.TableName(), "");
  EXPECT_EQ(t.IndexName(), "");
  auto open = OpenTable();
  EXPECT_THAT(ErrorOf([&] { open->SetDatabaseName("b.tdb"); }), HasSubstr("on an open dataset"));
  EXPECT_THAT(ErrorOf([&] { open->SetTableName("u"); }), HasSubstr("on an open dataset"));
}

TEST_F(DadaTableTest, UnknownTableLeavesTheDatasetClosed) {
  TDadaTable t;
  t.SetDatabaseName(path_);
  t.SetTableName("nosuch");
  EXPECT_EQ(ErrorOf([&] { t.Open(); }), "Table 'nosuch' not found");
  EXPECT_FALSE(t.Active());
  EXPECT_EQ(Session().FindDatabase(path_), nullptr);  // the temporary database went with it
}

TEST_F(DadaTableTest, PostedRecordIsCurrentAtItsKeyPositionWithAnIndex) {
  auto t = OpenTable("inomer");
  for (int n : {5, 1, 9, 3}) {
    Add(*t, n, "x");
    EXPECT_EQ(t->FieldByName("nomer").AsInteger(), n);
  }
  EXPECT_EQ(Numbers(*t), (std::vector<int>{1, 3, 5, 9}));
  t->First();
  Add(*t, 4, "x");
  EXPECT_EQ(t->RecNo(), 3);
}

TEST_F(DadaTableTest, InRecordOrderTheFormerRecordStaysCurrent) {
  auto t = OpenTable();
  Add(*t, 5, "a");
  Add(*t, 1, "b");
  t->First();
  Add(*t, 7, "c");
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 5);
  EXPECT_EQ(Numbers(*t), (std::vector<int>{5, 1, 7}));
}

TEST_F(DadaTableTest, KeyEditMovesTheRecordAndKeepsItCurrent) {
  auto t = OpenTable("inomer");
  for (int n : {1, 2, 3, 4}) Add(*t, n, "x");
  t->First();
  t->Next();  // 2
  t->Edit();
  t->FieldByName("nomer").SetAsInteger(10);
  t->Post();
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 10);
  EXPECT_EQ(t->RecNo(), 4);
  t->First();
  t->Edit();
  t->FieldByName("nomer").SetAsInteger(0);  // stays first
  t->Post();
  EXPECT_EQ(t->RecNo(), 1);
  EXPECT_EQ(Numbers(*t), (std::vector<int>{0, 3, 4, 10}));
}

TEST_F(DadaTableTest, DuplicateUniqueKeyLeavesTheInsertState) {
  auto t = OpenTable("inomer");
  Add(*t, 1, "a");
  t->Insert();
  t->FieldByName("nomer").SetAsInteger(1);
  EXPECT_EQ(ErrorOf([&] { t->Post(); }), "Invalid unique field value '1'");
  EXPECT_EQ(t->State(), dsInsert);
  t->Cancel();
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(Numbers(*t), (std::vector<int>{1}));
}

TEST_F(DadaTableTest, DeletingLastOnlyAndMiddleRecords) {
  auto t = OpenTable("inomer");
  for (int n : {1, 2, 3, 4}) Add(*t, n, "x");
  t->Last();
  t->Delete();
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 3);  // the new last record
  t->First();
  t->Next();
  t->Delete();
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 3);  // the next one
  t->Delete();
  t->Delete();
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_TRUE(t->Eof() && t->Bof());
  EXPECT_EQ(t->RecNo(), 0);
}

TEST_F(DadaTableTest, NewRecordValues) {
  auto t = OpenTable();
  int32_t before = TodayDayNumber();
  t->Insert();
  int32_t after = TodayDayNumber();
  double day = t->FieldByName("day").AsDateTime();
  EXPECT_TRUE(day == before - kDayNumberOf18991230 || day == after - kDayNumberOf18991230);
  EXPECT_GT(t->FieldByName("at").AsDateTime() + 1.0, 0.0);
  EXPECT_EQ(t->FieldByName("stamp").AsDateTime(), 0.0);  // 30 December 1899
  EXPECT_EQ(t->FieldByName("stamp").AsString(), "30.12.1899");
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 0);
  EXPECT_EQ(t->FieldByName("name").AsString(), "");
  EXPECT_FALSE(t->FieldByName("flag").AsBoolean());
  EXPECT_EQ(t->FieldByName("memo").AsString(), "");
  t->Cancel();
}

TEST_F(DadaTableTest, RecNoOutOfRangeIsIgnored) {
  auto t = OpenTable("inomer");
  for (int n : {1, 2, 3}) Add(*t, n, "x");
  t->SetRecNo(2);
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 2);
  for (int n : {-1, 4, 2}) {
    t->SetRecNo(n);
    EXPECT_EQ(t->RecNo(), 2);
  }
}

TEST_F(DadaTableTest, ValuesAndBlobsRoundTripThroughTheFile) {
  {
    auto t = OpenTable();
    t->Insert();
    t->FieldByName("nomer").SetAsInteger(12);
    t->FieldByName("name").SetAsString("\xC8\xE2\xE0\xED\xEE\xE2");  // "Иванов"
    t->FieldByName("day").SetAsString("05.03.2024");
    t->FieldByName("flag").SetAsBoolean(true);
    t->FieldByName("sum").SetAsCurrency(TCurrency{12345600});
    t->FieldByName("memo").SetAsString("long text");
    t->Post();
  }
  auto t = OpenTable();
  ASSERT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(t->FieldByName("name").AsString(), "\xC8\xE2\xE0\xED\xEE\xE2");
  EXPECT_EQ(t->FieldByName("day").AsString(), "05.03.2024");
  EXPECT_TRUE(t->FieldByName("flag").AsBoolean());
  EXPECT_EQ(t->FieldByName("sum").AsCurrency().value, 12345600);
  EXPECT_EQ(t->FieldByName("memo").AsString(), "long text");
  EXPECT_THAT(ErrorOf([&] { t->FieldByName("memo").GetData(nullptr); }), HasSubstr("General error"));
  std::vector<TRowValues> rows = t->ReadRows(0, 1, {0, 2, 7});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Texts, (std::vector<std::string>{"12", "05.03.2024", ""}));
  EXPECT_EQ(std::get<int64_t>(rows[0].Values[0]), 12);
  EXPECT_TRUE(IsNull(rows[0].Values[2]));  // a blob is not read with a row
}

TEST_F(DadaTableTest, ReadValuesGivesOneFieldOfTheViewAsReadRowsDoes) {
  auto t = OpenTable("iname");
  const std::pair<int, const char*> records[] = {{1, "d"}, {2, "a"}, {3, "c"}, {4, "b"}};
  for (const auto& [nomer, name] : records) {
    t->Insert();
    t->FieldByName("nomer").SetAsInteger(nomer);
    t->FieldByName("name").SetAsString(name);
    t->FieldByName("day").SetAsString("0" + std::to_string(nomer) + ".03.2024");
    t->FieldByName("flag").SetAsBoolean(nomer % 2 == 0);
    t->FieldByName("sum").SetAsCurrency(TCurrency{nomer * 10050});
    t->Post();
  }
  t->SetFilter("nomer <> 3");
  t->SetFiltered(true);  // the view: a (2), b (4), d (1)
  t->SetRecNo(2);
  t->Edit();
  t->FieldByName("name").SetAsString("typed");

  for (int field = 0; field < t->FieldCount(); ++field) {
    SCOPED_TRACE(t->Field(field).FieldName());
    std::vector<TVariant> expected;
    for (TRowValues& row : t->ReadRows(0, 10, {field})) expected.push_back(row.Values[0]);
    EXPECT_EQ(t->ReadValues(0, 10, field), expected);
  }
  const int sum = 6;
  auto sums = [&](int first, int count) {
    std::vector<int64_t> out;
    for (const TVariant& v : t->ReadValues(first, count, sum))
      out.push_back(TCurrency::FromDouble(std::get<double>(v)).value);
    return out;
  };
  EXPECT_EQ(sums(0, 3), (std::vector<int64_t>{20100, 40200, 10050}));
  EXPECT_EQ(sums(-1, 2), (std::vector<int64_t>{20100}));  // clipped to the view
  EXPECT_EQ(sums(2, 5), (std::vector<int64_t>{10050}));
  EXPECT_TRUE(sums(3, 1).empty());
  EXPECT_TRUE(sums(1, 0).empty());
  EXPECT_EQ(t->ReadValues(0, 3, 7), std::vector<TVariant>(3));  // a blob gives nulls
  EXPECT_THAT(ErrorOf([&] { t->ReadValues(0, 1, 8); }), HasSubstr("Field index 8 out of range"));

  // The pending edit and the cursor stay as they were.
  EXPECT_EQ(t->State(), dsEdit);
  EXPECT_EQ(t->RecNo(), 2);
  EXPECT_EQ(t->FieldByName("name").AsString(), "typed");
  t->Cancel();
  EXPECT_EQ(t->FieldByName("name").AsString(), "b");
}

TEST_F(DadaTableTest, TwoDatasetsShareOneTemporaryDatabase) {
  auto a = OpenTable();
  std::string upper = path_;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  TDadaTable b;
  b.SetDatabaseName(path_);
  b.SetTableName("t");
  b.Open();
  EXPECT_EQ(a->Database(), b.Database());
  EXPECT_TRUE(a->Database()->Temporary());
  EXPECT_EQ(a->Database()->RefCount(), 2);
  EXPECT_EQ(Session().FindDatabase(upper), a->Database());  // letter case does not matter
  a->Close();
  EXPECT_TRUE(b.Database()->Connected());
  b.Close();
  EXPECT_EQ(Session().FindDatabase(path_), nullptr);
}

TEST_F(DadaTableTest, RelativeAndAbsoluteNamesGiveTwoDatabases) {
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
  auto a = OpenTable("", "r.tdb");
  auto b = OpenTable("", path_);
  EXPECT_NE(a->Database(), b->Database());
  Add(*a, 1, "x");
  EXPECT_EQ(b->RecordCount(), 0);  // its own lists, loaded before the append
  b->Close();
  b->Open();
  EXPECT_EQ(b->RecordCount(), 1);
  a.reset();
  b.reset();
  ASSERT_EQ(::chdir(cwd), 0);
}

TEST_F(DadaTableTest, ADatasetWhoseViewIsBehindPostsByKey) {
  // Two datasets share the table's storage; each sees the other's records
  // only after it reloads, but its own posts always land in the right place.
  auto a = OpenTable("inomer");
  auto b = OpenTable("inomer");
  ASSERT_EQ(a->Database(), b->Database());
  for (int n : {10, 20, 30}) Add(*b, n, "b");
  Add(*a, 25, "a");  // the storage's position (2) is past a's view of one record
  EXPECT_EQ(Numbers(*a), (std::vector<int>{25}));
  Add(*a, 5, "a");
  EXPECT_EQ(Numbers(*a), (std::vector<int>{5, 25}));
  a->First();
  a->Edit();
  a->FieldByName("nomer").SetAsInteger(40);  // moves in the index
  a->Post();
  EXPECT_EQ(Numbers(*a), (std::vector<int>{25, 40}));
  a->Refresh();
  EXPECT_EQ(Numbers(*a), (std::vector<int>{10, 20, 25, 30, 40}));
  Add(*a, 35, "a");  // in step again: the storage's positions count
  EXPECT_EQ(a->FieldByName("nomer").AsInteger(), 35);
  EXPECT_EQ(a->RecNo(), 5);
  EXPECT_EQ(Numbers(*a), (std::vector<int>{10, 20, 25, 30, 35, 40}));
}

TEST_F(DadaTableTest, ReadOnlyFileRefusesChanges) {
  {
    auto t = OpenTable();
    Add(*t, 1, "x");
  }
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  auto t = OpenTable();
  EXPECT_FALSE(t->CanModify());
  EXPECT_THAT(ErrorOf([&] { t->Edit(); }), HasSubstr("Cannot modify a read-only database"));
  EXPECT_THAT(ErrorOf([&] { t->Insert(); }), HasSubstr("Cannot modify a read-only database"));
  EXPECT_THAT(ErrorOf([&] { t->Delete(); }), HasSubstr("Cannot modify a read-only database"));
  EXPECT_EQ(t->RecordCount(), 1);
  t.reset();
  ::chmod(path_.c_str(), 0644);
}

TEST_F(DadaTableTest, SessionsAndAutomaticNames) {
  TComponentOwner form1, form2, form3;
  TDadaSession s1(&form1), s2(&form2), s3(&form3);
  s1.Name = s2.Name = s3.Name = "Session1";
  s1.SetAutoSessionName(true);
  s2.SetAutoSessionName(true);
  EXPECT_EQ(s1.SessionName(), "Session1_1");
  EXPECT_EQ(s2.SessionName(), "Session1_2");
  s1.SetAutoSessionName(false);
  s3.SetAutoSessionName(true);
  EXPECT_EQ(s3.SessionName(), "Session1_1");  // the freed number is taken again
  EXPECT_THAT(ErrorOf([&] { s3.SetSessionName("x"); }), HasSubstr("while AutoSessionName is enabled"));
  TDadaSession second(&form1);
  second.Name = "S";
  EXPECT_THAT(ErrorOf([&] { TDadaSession third(&form3); }), HasSubstr("has AutoSessionName enabled"));
  TDadaTable t(&form2);  // placed on the form: takes the automatic name
  EXPECT_EQ(t.SessionName(), "Session1_2");
  s1.SetSessionName("Named");
  EXPECT_THAT(ErrorOf([&] { second.SetSessionName("named"); }), HasSubstr("Duplicate session name 'named'"));
  TDadaTable unknown;
  unknown.SetSessionName("nosuch");
  unknown.SetDatabaseName(path_);
  unknown.SetTableName("t");
  EXPECT_EQ(ErrorOf([&] { unknown.Open(); }), "Invalid session name nosuch");
}

TEST_F(DadaTableTest, KeepConnectionAndDuplicateDatabaseNames) {
  TDadaDatabase db;
  db.SetDatabaseName("mine");
  db.SetFileName(path_);
  db.SetKeepConnection(true);
  TDadaDatabase other;
  EXPECT_THAT(ErrorOf([&] { other.SetDatabaseName("MINE"); }), HasSubstr("Duplicate database name 'MINE'"));
  {
    auto t = OpenTable("", "mine");
    EXPECT_EQ(t->Database(), &db);
  }
  EXPECT_TRUE(db.Connected());  // keeps its connection after the last dataset
  EXPECT_THAT(ErrorOf([&] { db.SetFileName("x"); }), HasSubstr("on an open database"));
  db.SetKeepConnection(false);
  EXPECT_FALSE(db.Connected());
}

class EncryptedTableTest : public DadaTableTest {
 protected:
  void SetUp() override {
    std::vector<uint8_t> image = OneTableImage(ReceiptsLikeHeader());
    TDataProcessBlock block;
    block.Encrypted = true;
    block.EncryptAlgoName = "Blowfish";
    block.EncryptMode = 1;
    block.PasswordCheck = PasswordCheckString("secret");
    WriteDataProcessBlock(block, std::span<uint8_t>(image).subspan(kDataProcessBlockPos));
    path_ = dir_.File("e.tdb", image);
    asked_ = 0;
    Session().OnLogin = [this](const std::string&, std::string& password) {
      ++asked_;
      if (answer_.empty()) return false;
      password = answer_;
      return true;
    };
  }
  void TearDown() override { Session().OnLogin = nullptr; }

  std::string answer_;
  int asked_ = 0;
};

TEST_F(EncryptedTableTest, RightPasswordOpensAndValuesAreStoredEncrypted) {
  answer_ = "secret";
  {
    auto t = OpenTable();
    Add(*t, 77, "plain words");
  }
  EXPECT_EQ(asked_, 1);
  std::ifstream in(path_, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.find("plain words"), std::string::npos);
  auto t = OpenTable();
  EXPECT_EQ(t->FieldByName("name").AsString(), "plain words");
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 77);
}

// A filter's pass reads only the fields its text names, slot by slot: they
// must arrive decrypted like a whole record's.
TEST_F(EncryptedTableTest, AFilterSeesTheNamedFieldsDecrypted) {
  answer_ = "secret";
  auto t = OpenTable();
  Add(*t, 1, "Petrov");
  Add(*t, 2, "Orlov");
  Add(*t, 3, "Petrov");
  t->SetFilter("name='Petrov'");
  t->SetFiltered(true);
  EXPECT_EQ(t->RecordCount(), 2);
  t->SetFilter("nomer>1 and name='Petrov'");
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 3);
  EXPECT_EQ(t->FieldByName("name").AsString(), "Petrov");
}

TEST_F(EncryptedTableTest, CancelIsSilentAndAWrongPasswordIsTriedAgainUntilDisconnect) {
  TDadaTable t;
  t.SetDatabaseName(path_);
  t.SetTableName("t");
  EXPECT_THROW(t.Open(), EAbort);  // cancelled: no message
  EXPECT_FALSE(t.Active());

  answer_ = "wrong";
  TDadaDatabase* db = nullptr;
  {
    // A second dataset keeps the database connected between the attempts.
    TDadaDatabase keeper;
    keeper.SetDatabaseName(path_);
    keeper.SetKeepConnection(true);
    keeper.Open();
    db = &keeper;
    asked_ = 0;
    EXPECT_EQ(ErrorOf([&] { t.Open(); }), "Access denied");
    EXPECT_EQ(ErrorOf([&] { t.Open(); }), "Access denied");
    EXPECT_EQ(asked_, 1);  // the failed password is tried again without asking
    keeper.Close();
    answer_ = "secret";
    t.Open();  // after the disconnect the dialog shows again
    EXPECT_EQ(asked_, 2);
    t.Close();
  }
  (void)db;
}

// The register renumbers its receipts in payer order: Edit, Post, Next from
// the first record.  Posting a record whose key did not change must leave it
// in its place, or the walk meets records twice or never.
TEST_F(DadaTableTest, RenumberingInAnOrderOfEqualKeysVisitsEveryRecordOnce) {
  auto t = OpenTable("inomer");
  for (int i = 1; i <= 7; ++i) Add(*t, i, i % 2 ? "same" : "other");
  t->SetIndexName("iname");
  int k = 0;
  for (t->First(); !t->Eof() && k < 100; t->Next()) {
    t->Edit();
    t->FieldByName("nomer").SetAsInteger(100 + ++k);
    t->Post();
  }
  EXPECT_EQ(k, 7);
  EXPECT_EQ(Numbers(*t), (std::vector<int>{101, 102, 103, 104, 105, 106, 107}));
}

}  // namespace
}  // namespace tdb
