// The server table dataset against the data folder's table dataset with the
// same receipts: orders, moves, filters, search and ranges give the same
// records; and the guarantees of several clerks on one server.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "engine/compare/collation.h"
#include "receipt_rows.h"
#include "server/server_home.h"
#include "server/server_table.h"
#include "test_cluster.h"

namespace server {
namespace {

std::vector<int> Numbers(tdb::TDataSet& t) {
  std::vector<int> out;
  for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName("nomer").AsInteger());
  return out;
}

std::vector<int> NumbersBackward(tdb::TDataSet& t) {
  std::vector<int> out;
  for (t.Last(); !t.Bof(); t.Prior()) out.push_back(t.FieldByName("nomer").AsInteger());
  std::reverse(out.begin(), out.end());
  return out;
}

class ServerTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(db_.Ready());
    dir_ = std::filesystem::temp_directory_path() / ("formix-server-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::unique_ptr<TServerTable> OpenReceipts(const std::string& index = "") {
    auto t = std::make_unique<TServerTable>(db_.Connect());
    t->SetTableName("formix");
    server::UseReceiptNumbering(*t);
    t->SetIndexName(index);
    t->Open();
    return t;
  }

  TestDatabase db_;
  std::filesystem::path dir_;
};

std::vector<std::string> Values(tdb::TDataSet& t, const char* field) {
  std::vector<std::string> out;
  for (t.First(); !t.Eof(); t.Next()) out.push_back(t.FieldByName(field).AsString());
  return out;
}

std::vector<int> Sorted(std::vector<int> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// 450 receipts: more than two blocks, so moves cross block borders both ways.
constexpr int kRows = 450;

// The file orders records of equal keys as its index happens to hold them;
// the server by the order they were stored in.  So the keys must come in the
// same order, and the records of equal keys in the order stored.
TEST_F(ServerTableTest, EveryIndexOrdersAsTheFileDoes) {
  FileReceipts file(dir_.string(), kRows);
  auto server = OpenReceipts();
  AppendReceipts(*server, kRows);
  struct Case {
    const char* index;
    const char* key;
  } cases[] = {{"", "nomer"},        {"inomer", "nomer"},      {"idate", "DatePlat"},
               {"iplatel", "Platel"}, {"isumma", "Summa"},      {"ipoluchat", "Poluchat"},
               {"no such index", "nomer"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    file.Table().SetIndexName(c.index);
    server->SetIndexName(c.index);
    const std::vector<std::string> keys = Values(file.Table(), c.key);
    EXPECT_EQ(server->RecordCount(), kRows);
    EXPECT_EQ(Values(*server, c.key), keys);
    const std::vector<int> forward = Numbers(*server);
    EXPECT_EQ(Sorted(forward), Sorted(Numbers(file.Table())));
    for (size_t i = 1; i < forward.size(); ++i) {
      if (keys[i] == keys[i - 1]) {
        EXPECT_LT(forward[i - 1], forward[i]) << i;
      }
    }
    EXPECT_EQ(NumbersBackward(*server), forward);
    // Jumps far from the rows at hand, to both ends and back.
    for (int recno : {kRows, 1, 301, 17, kRows - 1, 220}) {
      server->SetRecNo(recno);
      EXPECT_EQ(server->RecNo(), recno);
      EXPECT_EQ(server->FieldByName("nomer").AsInteger(), forward[static_cast<size_t>(recno - 1)]) << recno;
    }
  }
}

// What a grid reads: rows by position without moving, and the row a typed
// key lands on, as the file gives them, far from the rows at hand too.
TEST_F(ServerTableTest, RowsByPositionAndTheNearestKeyAsTheFileGivesThem) {
  FileReceipts file(dir_.string(), kRows);
  auto server = OpenReceipts("iplatel");
  AppendReceipts(*server, kRows);
  file.Table().SetIndexName("iplatel");
  const std::vector<int> fields = {server->FieldByName("Platel").FieldNo() - 1, server->FieldByName("Summa").FieldNo() - 1};
  server->SetRecNo(5);
  for (int first : {0, 190, 430, -3, 449}) {
    SCOPED_TRACE(first);
    std::vector<tdb::TRowValues> got = server->ReadRows(first, 25, fields);
    std::vector<tdb::TRowValues> want = file.Table().ReadRows(first, 25, fields);
    ASSERT_EQ(got.size(), want.size());
    // Equal payers may stand in another order: the payer at each place is the same.
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i].Texts.size(), 2u);
      EXPECT_EQ(got[i].Texts[0], want[i].Texts[0]) << i;
    }
  }
  EXPECT_EQ(server->RecNo(), 5);

  tdb::TField& payer = server->FieldByName("Platel");
  tdb::TField& filePayer = file.Table().FieldByName("Platel");
  for (const char* typed : {"", "б", "Б-", "ИВАНОВА", "smi", "Я", "яяя", "Ё", "zz"}) {
    SCOPED_TRACE(typed);
    const tdb::TVariant key{tdb::Utf8ToCp1251(typed)};
    const tdb::TNearest want = file.Table().FindNearest(filePayer, key, true, true);
    const tdb::TNearest got = server->FindNearest(payer, key, true, true);
    EXPECT_EQ(got.Match, want.Match);
    // Equal payers may stand in another order; the payer at the place is the same.
    ASSERT_GE(got.Position, 0);
    EXPECT_EQ(server->ReadRows(got.Position, 1, fields)[0].Texts[0],
              file.Table().ReadRows(want.Position, 1, fields)[0].Texts[0]);
  }
  EXPECT_EQ(server->RecNo(), 5);
  EXPECT_THROW(server->FindNearest(server->FieldByName("Summa"), tdb::TVariant{int64_t{1}}, false, false),
               tdb::EDatabaseError);
}

// A re-sort keeps the receipt the clerk was on (the register goes back to
// it by bookmark): on both homes it stands at the same place in the new
// order, with the same neighbours, also far from either end of the view.
TEST_F(ServerTableTest, AReSortKeepsTheCurrentReceiptWhereTheNewOrderPutsIt) {
  FileReceipts file(dir_.string(), kRows);
  auto server = OpenReceipts("inomer");
  AppendReceipts(*server, kRows);
  for (const char* index : {"iplatel", "isumma", "ipoluchat", "idate", ""}) {
    for (int number : {1, 230, 377, kRows}) {
      SCOPED_TRACE(std::string(index) + " from receipt " + std::to_string(number));
      std::vector<int> order;  // numbers in the new order, as each home walks it
      for (tdb::TDataSet* t : {static_cast<tdb::TDataSet*>(&file.Table()), static_cast<tdb::TDataSet*>(server.get())}) {
        t->SetIndexName("inomer");
        ASSERT_TRUE(t->Locate("nomer", {tdb::TVariant{int64_t{number}}}, {}));
        const tdb::TBookmark current = t->GetBookmark();
        t->SetIndexName(index);
        t->GotoBookmark(current);
        ASSERT_EQ(t->FieldByName("nomer").AsInteger(), number);
        const int recno = t->RecNo();
        const std::string payer = t->FieldByName("Platel").AsString();
        order = Numbers(*t);
        ASSERT_EQ(static_cast<int>(order.size()), kRows);
        EXPECT_EQ(order[static_cast<size_t>(recno - 1)], number);
        // The neighbours, read from the receipt onward and back.
        t->GotoBookmark(current);
        if (recno > 1) {
          t->Prior();
          EXPECT_EQ(t->FieldByName("nomer").AsInteger(), order[static_cast<size_t>(recno - 2)]);
          t->Next();
        }
        if (recno < kRows) {
          t->Next();
          EXPECT_EQ(t->FieldByName("nomer").AsInteger(), order[static_cast<size_t>(recno)]);
          EXPECT_EQ(t->RecNo(), recno + 1);
        }
        // The file holds equal keys in its own order: the key at the place is the same.
        t->SetRecNo(recno);
        EXPECT_EQ(t->FieldByName("Platel").AsString(), payer) << "home " << (t == server.get() ? "server" : "file");
      }
    }
  }
}

// The count of a view is kept over a re-sort, or the same filter set again,
// only while no change of the table was heard since it was taken.
TEST_F(ServerTableTest, AReSortOrTheSameFilterAfterAnotherClerksChangeCountsAgain) {
  auto mine = OpenReceipts("inomer");
  AppendReceipts(*mine, kRows);
  mine->SetIndexName("isumma");
  ASSERT_EQ(mine->RecordCount(), kRows);
  ASSERT_EQ(InChild([&] {
              auto theirs = OpenReceipts("inomer");
              theirs->Append();
              FillReceipt(*theirs, kRows);
              theirs->Post();
            }),
            0);
  ASSERT_TRUE(mine->WaitForChange(5000));
  mine->SetIndexName("iplatel");
  EXPECT_EQ(mine->RecordCount(), kRows + 1);
  EXPECT_EQ(static_cast<int>(Numbers(*mine).size()), kRows + 1);
  // Own changes are changes too.
  mine->Append();
  FillReceipt(*mine, kRows + 1);
  mine->Post();
  mine->SetIndexName("isumma");
  EXPECT_EQ(mine->RecordCount(), kRows + 2);
  mine->SetIndexName("inomer");
  EXPECT_EQ(mine->RecordCount(), kRows + 2);
  EXPECT_EQ(static_cast<int>(Numbers(*mine).size()), kRows + 2);

  // The filter bar sets options, text and switch one after the other.
  mine->SetFilter("nomer > 0");
  mine->SetFiltered(true);
  mine->SetFilterOptions(tdb::foCaseInsensitive);
  mine->SetFilter("nomer > 0");
  ASSERT_EQ(mine->RecordCount(), kRows + 2);
  ASSERT_EQ(InChild([&] {
              auto theirs = OpenReceipts("inomer");
              theirs->Append();
              FillReceipt(*theirs, kRows + 2);
              theirs->Post();
            }),
            0);
  ASSERT_TRUE(mine->WaitForChange(5000));
  mine->SetFilter("nomer > 0");
  EXPECT_EQ(mine->RecordCount(), kRows + 3);
  EXPECT_EQ(static_cast<int>(Numbers(*mine).size()), kRows + 3);
  mine->SetFilter("nomer > 1");
  EXPECT_EQ(mine->RecordCount(), kRows + 2);
}

TEST_F(ServerTableTest, FieldsAndValuesComeBackAsStored) {
  auto server = OpenReceipts("inomer");
  AppendReceipts(*server, 3);
  auto again = OpenReceipts("inomer");
  FileReceipts file(dir_.string(), 3);
  file.Table().SetIndexName("inomer");
  ASSERT_EQ(again->FieldCount(), file.Table().FieldCount());
  for (file.Table().First(), again->First(); !file.Table().Eof(); file.Table().Next(), again->Next())
    for (int f = 0; f < again->FieldCount(); ++f) {
      EXPECT_EQ(again->Field(f).FieldName(), file.Table().Field(f).FieldName());
      EXPECT_EQ(again->Field(f).DataType(), file.Table().Field(f).DataType());
      EXPECT_EQ(again->Field(f).AsString(), file.Table().Field(f).AsString()) << again->Field(f).FieldName();
    }
}

TEST_F(ServerTableTest, FiltersSelectWhatTheFileSelects) {
  FileReceipts file(dir_.string(), 120);
  auto server = OpenReceipts();
  AppendReceipts(*server, 120);
  struct Case {
    const char* filter;
    tdb::TFilterOptions options;
    bool evaluated_here;
  } cases[] = {
      {"slugebnoe=true", 0, false},
      {"slugebnoe", 0, false},
      {"not slugebnoe and naloglog", 0, false},
      {"nomer >= 10 and nomer < 20 or nomer = 100", 0, false},
      {"nomerPlat in (1, 3, 5)", 0, false},
      {"Platel = 'Иванов И.И.'", 0, false},
      {"Platel = 'иванов и.и.'", tdb::foCaseInsensitive, false},
      {"Platel = 'Ив*'", 0, false},
      {"Platel = 'ив*'", tdb::foCaseInsensitive, false},
      {"Platel = 'Ив*'", tdb::foNoPartialCompare, false},
      {"Platel > 'Е' and Platel < 'Я'", 0, false},
      {"Platel like 'smith%'", 0, false},
      {"Platel like 'SMITH%'", tdb::foCaseInsensitive, false},
      {"NaznPlat like '%100%'", 0, false},
      {"NaznPlat like 'Налог 100%_x'", 0, false},
      {"Summa > 500", 0, false},
      {"Summa = 0", 0, false},
      {"DatePlat >= '01.01.2024'", 0, false},
      {"year(DatePlat) = 2024 and month(DatePlat) > 6", 0, false},
      {"upper(Platel) = 'SMITH J.'", 0, false},
      // Left to the program: arithmetic, SUBSTRING, TRIM, "%%".
      {"nomer * 2 = 40", 0, true},
      {"substring(Platel, 1, 2) = 'Ив'", 0, true},
      {"trim(Platel) = 'Пробелов'", 0, true},
      {"Platel like 'Ив%%'", 0, true},
      {"slugebnoe and nomer - 1 > 50", 0, true},
  };
  for (const char* index : {"iplatel", "isumma"}) {
    file.Table().SetIndexName(index);
    server->SetIndexName(index);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.filter) + " options " + std::to_string(c.options) + " index " + index);
      const std::string text = tdb::Utf8ToCp1251(c.filter);
      file.Table().SetFilterOptions(c.options);
      file.Table().SetFilter(text);
      file.Table().SetFiltered(true);
      server->SetFilterOptions(c.options);
      server->SetFilter(text);
      server->SetFiltered(true);
      const std::vector<int> expected = Sorted(Numbers(file.Table()));
      EXPECT_EQ(Sorted(Numbers(*server)), expected);
      EXPECT_EQ(server->RecordCount(), static_cast<int>(expected.size()));
      EXPECT_EQ(server->FilterEvaluatedHere(), c.evaluated_here);
      file.Table().SetFiltered(false);
      server->SetFiltered(false);
    }
  }
  EXPECT_EQ(server->RecordCount(), 120);
  // A wrong text raises and changes nothing.
  server->SetFilter("slugebnoe");
  server->SetFiltered(true);
  const int filtered = server->RecordCount();
  EXPECT_THROW(server->SetFilter("nomer = = 1"), tdb::EDatabaseError);
  EXPECT_EQ(server->Filter(), "slugebnoe");
  EXPECT_EQ(server->RecordCount(), filtered);
}

// A case-insensitive LIKE is answered by the server with the rows the
// program's own matching gives: a-z only, or with foLikeFoldsEveryLetter every
// letter of Windows-1251 (Ё and ё, the Ukrainian, Belarusian and Serbian
// letters), never Е for Ё, and the server's locale plays no part.
TEST_F(ServerTableTest, ACaseInsensitiveLikeSelectsWhatTheFileSelects) {
  constexpr int kPlain = 60;
  FileReceipts file(dir_.string(), kPlain);
  auto server = OpenReceipts();
  AppendReceipts(*server, kPlain);
  const char* const payers[] = {"Ёжиков", "ёжиков", "ЕЖИКОВ", "ежиков", "Ґудзь Єва", "ґудзь єва", "Їжак Ў.І.",
                                "їжак ў.і.", "Ђорђе Љубић", "ђорђе љубић", "Ѕвезда Ќ", "ѕвезда ќ", "µ-метр",
                                "Ъ_ъ%", "ОООО", "оооо"};
  int i = kPlain;
  for (const char* payer : payers) {
    for (tdb::TDataSet* t : {static_cast<tdb::TDataSet*>(&file.Table()), static_cast<tdb::TDataSet*>(server.get())}) {
      t->Append();
      FillReceipt(*t, i);
      t->FieldByName("Platel").SetAsString(tdb::Utf8ToCp1251(payer));
      t->Post();
    }
    ++i;
  }
  const char* const patterns[] = {"%петров%", "%ИВАН%", "ёжиков", "ЁЖИКОВ", "ежиков", "%ЖИК%", "ёж%",
                                  "%ґудзь є%", "ЇЖАК Ў.І.", "ђорђе%", "%ЉУБИЋ", "ѕ%ќ", "µ%", "%Μ%",
                                  "ъ_Ъ%", "_ОоО", "%о_", "smith%", "SMITH J.", "%«ромашка»", "  пробелов",
                                  "б-ов", "_ов", "%"};
  const tdb::TFilterOptions everyLetter = tdb::foCaseInsensitive | tdb::foLikeFoldsEveryLetter;
  for (tdb::TFilterOptions options : {everyLetter, tdb::TFilterOptions{tdb::foCaseInsensitive},
                                      tdb::TFilterOptions{tdb::foLikeFoldsEveryLetter}}) {
    for (const char* pattern : patterns) {
      const std::string text = tdb::Utf8ToCp1251(std::string("Platel like '") + pattern + "'");
      SCOPED_TRACE(std::string(pattern) + " options " + std::to_string(options));
      for (tdb::TDataSet* t : {static_cast<tdb::TDataSet*>(&file.Table()), static_cast<tdb::TDataSet*>(server.get())}) {
        t->SetFilterOptions(options);
        t->SetFilter(text);
        t->SetFiltered(true);
      }
      const std::vector<int> expected = Sorted(Numbers(file.Table()));
      EXPECT_EQ(Sorted(Numbers(*server)), expected);
      EXPECT_FALSE(server->FilterEvaluatedHere());
    }
  }
  // The folding reaches the server: the table's case folds Ё with ё and Ґ with ґ, never Е with Ё.
  server->SetFilterOptions(everyLetter);
  server->SetFilter(tdb::Utf8ToCp1251("Platel like 'ЁЖИКОВ' or Platel like '%ҐУДЗЬ%'"));
  std::vector<std::string> found = Values(*server, "Platel");
  for (std::string& f : found) f = tdb::Cp1251ToUtf8(f);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"Ёжиков", "ёжиков", "Ґудзь Єва", "ґудзь єва"}));
}

TEST_F(ServerTableTest, ValuesInAFilterNeverBecomeSql) {
  auto server = OpenReceipts();
  AppendReceipts(*server, 5);
  server->SetFilter("Platel = 'x''; DROP TABLE formix; --'");
  server->SetFiltered(true);
  EXPECT_EQ(server->RecordCount(), 0);
  server->SetFiltered(false);
  EXPECT_EQ(server->RecordCount(), 5);
}

TEST_F(ServerTableTest, LocateLookupAndRangeFollowTheView) {
  FileReceipts file(dir_.string(), kRows);
  auto server = OpenReceipts("iplatel");
  AppendReceipts(*server, kRows);
  file.Table().SetIndexName("iplatel");
  struct Case {
    const char* fields;
    std::vector<tdb::TVariant> values;
    tdb::TLocateOptions options;
  } cases[] = {
      {"nomer", {int64_t{333}}, 0},
      {"nomer", {int64_t{kRows + 1}}, 0},
      {"Platel", {tdb::Utf8ToCp1251("Zeta")}, 0},
      {"Platel", {tdb::Utf8ToCp1251("zeta")}, 0},
      {"Platel", {tdb::Utf8ToCp1251("zeta")}, tdb::loCaseInsensitive},
      {"Platel", {tdb::Utf8ToCp1251("Пет")}, tdb::loPartialKey},
      {"Platel", {tdb::Utf8ToCp1251("ёлк")}, tdb::loPartialKey | tdb::loCaseInsensitive},
      {"Platel;nomerPlat", {tdb::Utf8ToCp1251("Ежов"), int64_t{0}}, 0},
      {"DatePlat;naloglog", {45037.0, true}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fields) + " options " + std::to_string(c.options) + " case " +
                 std::to_string(&c - cases));
    file.Table().First();
    server->First();
    const bool found = file.Table().Locate(c.fields, c.values, c.options);
    EXPECT_EQ(server->Locate(c.fields, c.values, c.options), found);
    // A number finds one receipt; of equal payers each home finds the first
    // in its order, at the same place.
    if (std::string(c.fields) == "nomer") {
      EXPECT_EQ(server->FieldByName("nomer").AsInteger(), file.Table().FieldByName("nomer").AsInteger());
    } else if (found) {
      // The server lands on the first of the equal keys in the view; the
      // file's search through its index on one of them.
      const std::string key = server->FieldByName("Platel").AsString();
      EXPECT_EQ(key, file.Table().FieldByName("Platel").AsString());
      EXPECT_LE(server->RecNo(), file.Table().RecNo());
      file.Table().SetRecNo(server->RecNo());
      EXPECT_EQ(file.Table().FieldByName("Platel").AsString(), key);
      if (server->RecNo() > 1) {
        server->Prior();
        EXPECT_NE(server->FieldByName("Platel").AsString(), key);
      }
    }
    auto expected = file.Table().Lookup(c.fields, c.values, c.fields);
    auto got = server->Lookup(c.fields, c.values, c.fields);
    ASSERT_EQ(got.has_value(), expected.has_value());
    if (got) {
      EXPECT_EQ(*got, *expected);
    }
  }
  // A range on the first field of the current index.
  server->SetRange({tdb::Utf8ToCp1251("Б")}, {tdb::Utf8ToCp1251("Ежов")});
  std::vector<int> expected;
  for (file.Table().First(); !file.Table().Eof(); file.Table().Next()) {
    const std::string p = file.Table().FieldByName("Platel").AsString();
    if (tdb::CompareText(p, tdb::Utf8ToCp1251("Б"), tdb::TCaseSensitivity::kSensitive) >= 0 &&
        tdb::CompareText(p, tdb::Utf8ToCp1251("Ежов"), tdb::TCaseSensitivity::kSensitive) <= 0)
      expected.push_back(file.Table().FieldByName("nomer").AsInteger());
  }
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(Sorted(Numbers(*server)), Sorted(expected));
  EXPECT_EQ(server->RecordCount(), static_cast<int>(expected.size()));
  EXPECT_FALSE(server->Locate("Platel", {tdb::Utf8ToCp1251("Zeta")}, 0));
  server->CancelRange();
  EXPECT_EQ(server->RecordCount(), kRows);
  server->SetIndexName("");
  EXPECT_THROW(server->SetRange({int64_t{1}}, {int64_t{2}}), tdb::EDatabaseError);
}

// The options of Locate and Lookup, the same on both homes: each case is
// asked of a data folder's table and of the server's with the same
// receipts; the answer is the receipt number found (0: none, -1: refused).
TEST_F(ServerTableTest, LocateOptionsAnswerAsTheFileAnswers) {
  FileReceipts file(dir_.string(), 40);
  auto server = OpenReceipts("inomer");
  AppendReceipts(*server, 40);
  file.Table().SetIndexName("inomer");
  using tdb::loCaseInsensitive;
  using tdb::loPartialKey;
  const tdb::TVariant none;
  auto text = [](const char* utf8) { return tdb::TVariant{tdb::Utf8ToCp1251(utf8)}; };
  struct Case {
    const char* what;
    const char* fields;
    std::vector<tdb::TVariant> values;
    tdb::TLocateOptions options;
    int nomer;
  } cases[] = {
      {"exact text", "Platel", {text("иванова А.")}, 0, 14},
      {"case differs", "Platel", {text("ИВАНОВА А.")}, 0, 0},
      {"case ignored", "Platel", {text("ИВАНОВА А.")}, loCaseInsensitive, 14},
      {"case ignored, Ё", "Platel", {text("ёлкин п.")}, loCaseInsensitive, 12},
      {"leading blanks kept", "Platel", {text("  Пробелов")}, 0, 7},
      {"partial key", "Platel", {text("иван")}, loPartialKey, 14},
      {"partial key, case ignored", "Platel", {text("иван")}, loPartialKey | loCaseInsensitive, 1},
      {"partial key longer than any", "Platel", {text("Иванов И.И. и сыновья")}, loPartialKey, 0},
      {"empty partial key", "Platel", {text("")}, loPartialKey, 1},
      {"several fields", "Platel;nomerPlat", {text("Ёлкин П."), int64_t{6}}, 0, 27},
      {"several fields, one differs", "Platel;nomerPlat", {text("Ёлкин П."), int64_t{2}}, 0, 0},
      {"several fields, partial text", " Platel ; nomerPlat", {text("Ёл"), int64_t{1}}, loPartialKey, 12},
      {"a number is never partial", "nomer", {int64_t{1}}, loPartialKey | loCaseInsensitive, 1},
      {"a flag", "slugebnoe;nomerPlat", {true, int64_t{7}}, 0, 18},
      {"a null text: the empty one", "Platel", {none}, 0, 0},
      {"a null number: zero", "nomerPlat", {none}, 0, 1},
      {"a value too few", "Platel;nomer", {text("Zeta")}, 0, -1},
      {"a value too many", "nomer", {int64_t{1}, int64_t{2}}, 0, -1},
      {"no field", "", {}, 0, -1},
  };
  auto answer = [](tdb::TDataSet& t, const Case& c) {
    t.First();
    try {
      return t.Locate(c.fields, c.values, c.options) ? t.FieldByName("nomer").AsInteger() : 0;
    } catch (const tdb::EDatabaseError&) {
      return -1;
    }
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(answer(file.Table(), c), c.nomer);
    EXPECT_EQ(answer(*server, c), c.nomer);
    // Lookup is Locate without options and without moving.
    if (c.options == 0 && c.nomer >= 0) {
      auto got = server->Lookup(c.fields, c.values, "nomer");
      auto want = file.Table().Lookup(c.fields, c.values, "nomer");
      EXPECT_EQ(got.has_value(), want.has_value());
      if (got && want) {
        EXPECT_EQ(got->at(0), want->at(0));
      }
    }
  }
  // Under a filter evaluated here the first record the server finds may be
  // hidden: the next one that passes is the answer.
  for (tdb::TDataSet* t : {static_cast<tdb::TDataSet*>(&file.Table()), static_cast<tdb::TDataSet*>(server.get())}) {
    t->SetFilter("nomer * 2 > 30");
    t->SetFiltered(true);
    ASSERT_TRUE(t->Locate("Platel", {text("иванова А.")}, 0));
    EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 29);
    t->SetFiltered(false);
  }
  ASSERT_FALSE(server->FilterEvaluatedHere());
}

// The register's total reads one column of the view block by block; it
// gives the file's values, filtered or not, marked receipts among them, and
// reads on from where the last block ended only while the view is the same.
TEST_F(ServerTableTest, OneColumnReadInBlocksGivesTheFilesValues) {
  FileReceipts file(dir_.string(), kRows);
  auto server = OpenReceipts("inomer");
  AppendReceipts(*server, kRows);
  tdb::TDadaTable& f = file.Table();
  f.SetIndexName("inomer");
  const int amount = server->FieldByName("Summa").FieldNo() - 1;
  auto read = [&](tdb::TDataSet& t, int first, int count) { return t.ReadValues(first, count, amount); };
  auto sum = [&](tdb::TDataSet& t, int step) {
    double total = 0;
    for (int first = 0; first < t.RecordCount(); first += step)
      for (const tdb::TVariant& v : read(t, first, step)) total += std::get<double>(v);
    return total;
  };
  struct View {
    const char* filter;
    bool evaluated_here;
  } views[] = {{"", false}, {"slugebnoe=false", false}, {"slugebnoe=true", false}, {"nomer * 2 > 301", true}};
  for (const View& view : views) {
    SCOPED_TRACE(view.filter);
    for (tdb::TDataSet* t : {static_cast<tdb::TDataSet*>(&f), static_cast<tdb::TDataSet*>(server.get())}) {
      t->SetFilter(view.filter);
      t->SetFiltered(*view.filter != 0);
    }
    ASSERT_EQ(server->FilterEvaluatedHere(), view.evaluated_here);
    ASSERT_EQ(server->RecordCount(), f.RecordCount());
    server->SetRecNo(3);
    for (int step : {4096, 200, 170, 233}) EXPECT_EQ(sum(*server, step), sum(f, step)) << step;
    // The server's own sum, the amounts taken as the file's values are.
    const std::optional<tdb::TCurrency> total = server->ViewTotal(amount);
    ASSERT_EQ(total.has_value(), !view.evaluated_here);
    if (total) {
      int64_t want = 0;
      for (const tdb::TVariant& v : read(f, 0, f.RecordCount())) want += tdb::TCurrency::FromDouble(std::get<double>(v)).value;
      EXPECT_EQ(total->value, want);
    }
    EXPECT_EQ(server->RecNo(), 3);
    // Blocks by position, in and out of turn.
    for (auto [first, count] : std::vector<std::pair<int, int>>{{0, 220}, {220, 220}, {440, 220}, {100, 250}, {-5, 210}})
      EXPECT_EQ(read(*server, first, count), read(f, first, count)) << first;
  }
  // A block read, then a change moves the positions: the next block does
  // not read on from the old key.
  for (tdb::TDataSet* t : {static_cast<tdb::TDataSet*>(&f), static_cast<tdb::TDataSet*>(server.get())}) {
    t->SetFiltered(false);
    read(*t, 0, 220);
    t->SetRecNo(5);
    t->Delete();
  }
  EXPECT_EQ(read(*server, 220, 220), read(f, 220, 220));
  EXPECT_THROW(server->ReadValues(0, 10, server->FieldCount()), tdb::EDatabaseError);
  EXPECT_FALSE(server->ViewTotal(server->FieldByName("nomer").FieldNo() - 1).has_value());
}

TEST_F(ServerTableTest, AnEditOrDeleteOfAStaleRecordIsRefused) {
  auto mine = OpenReceipts("inomer");
  AppendReceipts(*mine, 3);
  mine->First();
  mine->Next();  // receipt 2
  mine->Edit();  // as this clerk begins to change it
  // Another clerk changes receipt 2 and deletes receipt 3.
  ASSERT_EQ(InChild([&] {
              auto theirs = OpenReceipts("inomer");
              theirs->SetRecNo(2);
              theirs->Edit();
              theirs->FieldByName("Platel").SetAsString("Other clerk");
              theirs->Post();
              theirs->SetRecNo(3);
              theirs->Delete();
            }),
            0);
  mine->FieldByName("Platel").SetAsString("Mine");
  try {
    mine->Post();
    FAIL() << "a stale edit was stored";
  } catch (const tdb::EDatabaseError& e) {
    EXPECT_EQ(e.Kind(), tdb::ekRecordChanged) << e.what();
  }
  mine->Cancel();
  mine->Last();  // receipt 3, still in this clerk's view
  EXPECT_EQ(mine->FieldByName("nomer").AsInteger(), 3);
  try {
    mine->Delete();
    FAIL() << "a deleted record was deleted again";
  } catch (const tdb::EDatabaseError& e) {
    EXPECT_EQ(e.Kind(), tdb::ekRecordDeleted) << e.what();
    EXPECT_EQ(e.Params().Record, 3);
  }
  // An edit begins from the record as stored: there is none.
  try {
    mine->Edit();
    FAIL() << "an edit of a deleted record began";
  } catch (const tdb::EDatabaseError& e) {
    EXPECT_EQ(e.Kind(), tdb::ekRecordDeleted) << e.what();
  }
  EXPECT_EQ(mine->State(), tdb::dsBrowse);
  // The other clerk's change stands; after a refresh this clerk can edit it.
  mine->Refresh();
  EXPECT_EQ(mine->RecordCount(), 2);
  mine->SetRecNo(2);
  EXPECT_EQ(mine->FieldByName("Platel").AsString(), "Other clerk");
  mine->Edit();
  mine->FieldByName("Platel").SetAsString("Mine");
  mine->Post();
  EXPECT_EQ(OpenReceipts("inomer")->Lookup("nomer", {int64_t{2}}, "Platel")->at(0), tdb::TVariant(std::string("Mine")));
}

TEST_F(ServerTableTest, ChangesInsideTheCallersTransactionAreStoredTogether) {
  auto t = OpenReceipts("inomer");
  AppendReceipts(*t, 2);
  ServerConnection& c = t->Connection();
  // A refused change inside the transaction undoes only itself: a trigger
  // refuses the payer "Refused".
  ServerConnection admin(db_.ConnInfo());
  admin.ExecScript(
      "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
      "IF NEW.platel = 'Refused' THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$;"
      "CREATE TRIGGER refuse BEFORE INSERT OR UPDATE ON formix FOR EACH ROW EXECUTE FUNCTION refuse();");
  auto others = [&] { return OpenReceipts("inomer")->RecordCount(); };
  c.Exec("BEGIN");
  t->Append();
  FillReceipt(*t, 5);
  t->Post();
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 3);
  t->Append();
  FillReceipt(*t, 6);
  t->FieldByName("Platel").SetAsString("Refused");
  EXPECT_THROW(t->Post(), tdb::EDatabaseError);
  t->Cancel();
  EXPECT_TRUE(c.InTransactionBlock());
  t->Append();
  FillReceipt(*t, 7);
  t->Post();
  EXPECT_EQ(others(), 2) << "another session saw changes before the commit";
  c.Commit();
  EXPECT_EQ(Numbers(*OpenReceipts("inomer")), (std::vector<int>{1, 2, 3, 4}));

  // Rolled back, none of them stays, and the numbers they took are free again.
  c.Exec("BEGIN");
  t->Append();
  FillReceipt(*t, 8);
  t->Post();
  c.RollbackQuietly();
  EXPECT_EQ(others(), 4);
  t->Refresh();
  t->Append();
  FillReceipt(*t, 9);
  t->Post();
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 5);

  // A transaction a failed statement broke is not reported as stored.
  c.Exec("BEGIN");
  EXPECT_THROW(c.Exec("SELECT 1/0"), tdb::EDatabaseError);
  EXPECT_THROW(c.Commit(), tdb::EDatabaseError);
  EXPECT_FALSE(c.InTransactionBlock());
}

TEST_F(ServerTableTest, AViewCountedBeforeAnotherClerkDeletedEndsAtItsLastRecord) {
  auto mine = OpenReceipts("inomer");
  AppendReceipts(*mine, kRows);
  mine->First();
  ASSERT_EQ(InChild([&] { db_.Connect()->Exec("DELETE FROM formix WHERE nomer > 300"); }), 0);
  // The count still says 450; the rows at hand are the first block only.
  mine->SetRecNo(kRows);
  ASSERT_FALSE(mine->IsEmpty());
  EXPECT_EQ(mine->FieldByName("nomer").AsInteger(), 300);
  EXPECT_EQ(mine->RecordCount(), 300);
  mine->First();
  mine->Last();
  EXPECT_EQ(mine->FieldByName("nomer").AsInteger(), 300);
  EXPECT_EQ(mine->RecNo(), 300);
}

TEST_F(ServerTableTest, NumbersAreNeverGivenTwice) {
  // Two clerks store receipts at the same time, each typing the number it
  // sees as the next one; the server gives each its own.
  constexpr int kEach = 60;
  auto clerk = [&] {
    auto t = OpenReceipts();
    for (int i = 0; i < kEach; ++i) {
      t->Append();
      FillReceipt(*t, i);
      t->FieldByName("nomer").SetAsInteger(t->RecordCount() + 1);
      t->Post();
    }
  };
  pid_t other = fork();
  if (other == 0) {
    int code = 0;
    try {
      clerk();
    } catch (...) {
      code = 1;
    }
    _exit(code);
  }
  clerk();
  int status = 0;
  waitpid(other, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  auto all = OpenReceipts("inomer");
  std::vector<int> numbers = Numbers(*all);
  ASSERT_EQ(numbers.size(), 2u * kEach);
  for (int i = 0; i < 2 * kEach; ++i) EXPECT_EQ(numbers[static_cast<size_t>(i)], i + 1);
}

TEST_F(ServerTableTest, PurgeRemovesTheMarkedAndNumbersTheRestInTheOrderShown) {
  auto t = OpenReceipts("iplatel");
  AppendReceipts(*t, 30);  // every sixth is marked
  std::vector<int> kept_order;
  for (t->First(); !t->Eof(); t->Next())
    if (!t->FieldByName("slugebnoe").AsBoolean()) kept_order.push_back(t->FieldByName("nomer").AsInteger());
  EXPECT_EQ(t->PurgeMarked(), 5);
  EXPECT_EQ(t->RecordCount(), 25);
  std::vector<int> renumbered = Numbers(*t);
  for (int i = 0; i < 25; ++i) EXPECT_EQ(renumbered[static_cast<size_t>(i)], i + 1);
  // The order is the one shown before: the payers of the old numbers in turn.
  t->SetIndexName("inomer");
  int i = 0;
  for (t->First(); !t->Eof(); t->Next(), ++i)
    EXPECT_EQ(t->FieldByName("Platel").AsString(), PayerOf(kept_order[static_cast<size_t>(i)] - 1));
  // The next receipt takes the number after the last.
  t->Append();
  FillReceipt(*t, 0);
  t->Post();
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 26);
}

TEST_F(ServerTableTest, APurgeThatFailsChangesNothing) {
  auto t = OpenReceipts("inomer");
  AppendReceipts(*t, 12);
  // A record whose number the renumbering cannot store makes the purge fail
  // in its middle: after the marked records were deleted.
  ServerConnection admin(db_.ConnInfo());
  admin.ExecScript(
      "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
      "IF NEW.nomer = 8 THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$;"
      "CREATE TRIGGER refuse BEFORE UPDATE ON formix FOR EACH ROW EXECUTE FUNCTION refuse();");
  EXPECT_THROW(t->PurgeMarked(), tdb::EDatabaseError);
  auto again = OpenReceipts("inomer");
  EXPECT_EQ(again->RecordCount(), 12);
  std::vector<int> numbers = Numbers(*again);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(numbers[static_cast<size_t>(i)], i + 1);
}

TEST_F(ServerTableTest, OtherClerksChangesArriveWithoutPolling) {
  auto mine = OpenReceipts("inomer");
  AppendReceipts(*mine, 2);
  EXPECT_FALSE(mine->TakeChange()) << "this clerk's own changes are no news";
  auto codes = std::make_unique<TServerTable>(db_.Connect());
  codes->SetTableName("sprkodBK");
  server::UseReceiptNumbering(*codes);
  codes->Open();
  ASSERT_EQ(InChild([&] {
              auto theirs = OpenReceipts("inomer");
              theirs->Append();
              FillReceipt(*theirs, 7);
              theirs->Post();
            }),
            0);
  EXPECT_TRUE(mine->WaitForChange(5000));
  EXPECT_FALSE(codes->TakeChange()) << "another table's change";
  mine->Refresh();
  EXPECT_EQ(mine->RecordCount(), 3);
  EXPECT_FALSE(mine->WaitForChange(50));
}

TEST_F(ServerTableTest, ValuesAFieldCannotHoldAreRefusedByName) {
  ServerConnection admin(db_.ConnInfo());
  admin.Exec("INSERT INTO formix (nomer, platel) VALUES (1, $1)", {std::string("Ω \xE2\x82\xAC")});
  auto t = std::make_unique<TServerTable>(db_.Connect());
  t->SetTableName("formix");
  server::UseReceiptNumbering(*t);
  try {
    t->Open();
    FAIL() << "a text outside the code page was read";
  } catch (const tdb::EDatabaseError& e) {
    EXPECT_EQ(e.Kind(), tdb::ekInvalidValue) << e.what();
    EXPECT_EQ(e.Params().Field, "Platel");
  }
}

}  // namespace
}  // namespace server
