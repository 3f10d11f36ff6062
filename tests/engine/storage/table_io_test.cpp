// The table storage: appends, rewrites, deletions, unique keys, auto-increment,
// the index lists and chains, and what a reopened file reads back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>

#include "engine/base/database_error.h"
#include "storage_fixture.h"

namespace tdb::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

enum { kId, kName, kAmount, kCode, kMemo };
enum { kByName, kByCodeName, kByAmountDesc };

TTableHeader PeopleHeader(int32_t auto_inc_counter = 0) {
  TTableHeader h = TableHeader("People", {{"id", ftAutoInc, 0, 0},
                                          {"name", ftString, 10, 0},
                                          {"amount", ftFloat, 0, 0},
                                          {"code", ftInteger, 0, 0},
                                          {"memo", ftMemo, 0, 0}});
  AddIndex(h, "iName", 0, {kName});
  AddIndex(h, "iCodeName", kUnique, {kCode, kName});
  AddIndex(h, "iAmount", kDescending, {kAmount});
  h.AutoIncCounter = auto_inc_counter;
  return h;
}

class TableIOTest : public ::testing::Test {
 protected:
  void Make(const TTableHeader& h = PeopleHeader()) {
    table_.reset();
    db_ = std::make_unique<TMemoryDb>(OneTableImage(h));
    table_ = db_->Open(h.TableName);
  }
  // Appends (name, code, amount); returns the record buffer as stored.
  TRecordBuffer Append(const std::string& name, int32_t code, double amount = 0, const std::string& memo = "") {
    TRecordBuffer r(*table_);
    r.Str(kName, name).Int(kCode, code).Double(kAmount, amount).Blob(kMemo, memo);
    table_->AppendRecord(r.Buffers(), false, &calls_);
    return r;
  }
  TRecordBuffer Read(const TRecordList& list, int32_t pos) {
    TRecordBuffer r(*table_);
    table_->ReadRecord(r.Buffers(), list, pos);
    return r;
  }
  std::vector<std::string> Names(int32_t list_no) {
    std::vector<std::string> out;
    const TRecordList& list = table_->IndexLists(list_no);
    for (size_t p = 0; p < list.size(); ++p) out.push_back(Read(list, static_cast<int32_t>(p)).GetStr(kName));
    return out;
  }

  std::unique_ptr<TMemoryDb> db_;
  std::unique_ptr<TDadaTableIO> table_;
  TRecordingCallback calls_;
};

TEST_F(TableIOTest, OpensWithDefinitionsAndLayout) {
  Make();
  EXPECT_EQ(table_->FieldDefs().Count(), 5);
  EXPECT_EQ(table_->FieldDefs().IndexOf("NAME"), kName);
  EXPECT_EQ(table_->IndexDefs().Find("icodename")->FieldNos, (std::vector<int32_t>{kCode, kName}));
  EXPECT_EQ(table_->FieldOffsets(), (std::vector<int32_t>{0, 4, 15, 23, 27}));
  EXPECT_EQ(table_->RecordSize(), 47);
  EXPECT_EQ(table_->AutoIncFieldNo(), kId);
  EXPECT_EQ(table_->PrimaryIndexNo(), -1);
  EXPECT_EQ(table_->IndexLists(0).size(), 0u);

  TDadaTableIO missing(db_->file(), "nothing");
  EXPECT_THROW(
      {
        try {
          missing.OpenTable();
        } catch (const EDatabaseError& e) {
          EXPECT_STREQ(e.what(), "Table 'nothing' not found");
          throw;
        }
      },
      EDatabaseError);
  EXPECT_EQ(missing.OpenCount(), 0);
}

TEST_F(TableIOTest, AutoIncrementTakesTheCounterOrAHigherValue) {
  Make(PeopleHeader(41));
  TRecordBuffer a = Append("a", 1);
  EXPECT_EQ(a.GetInt(kId), 42);  // written back into the buffer
  EXPECT_EQ(table_->Header().AutoIncCounter, 42);

  TRecordBuffer b(*table_);
  b.Int(kId, 100).Str(kName, "b").Int(kCode, 2);
  table_->AppendRecord(b.Buffers(), false, nullptr);
  TRecordBuffer c(*table_);
  c.Int(kId, 50).Str(kName, "c").Int(kCode, 3);  // lower than the counter: kept, counter stays
  table_->AppendRecord(c.Buffers(), false, nullptr);
  EXPECT_EQ(Read(table_->IndexLists(0), 1).GetInt(kId), 100);
  EXPECT_EQ(Read(table_->IndexLists(0), 2).GetInt(kId), 50);

  TTableHeader disk = db_->file().ReadTableHeader(0);
  EXPECT_EQ(disk.AutoIncCounter, 100);
  EXPECT_EQ(disk.RecordTotal, 3);
}

TEST_F(TableIOTest, DuplicateUniqueKeyIsRefusedAndNothingIsWritten) {
  Make();
  Append("abc", 5);
  Append("abd", 5);
  std::vector<uint8_t> before = db_->Bytes();
  TRecordBuffer dup(*table_);
  dup.Str(kName, "abc").Int(kCode, 5).Blob(kMemo, "x");
  try {
    table_->AppendRecord(dup.Buffers(), false, &calls_);
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Invalid unique field value '5,abc'");
  }
  EXPECT_EQ(db_->Bytes(), before);
  EXPECT_EQ(table_->IndexLists(0).size(), 2u);
}

TEST_F(TableIOTest, StringsAreCutBeforeTheUniqueCheck) {
  Make();
  Append("0123456789", 1);
  TRecordBuffer longer(*table_);
  longer.Raw(kName).assign(20, 0);
  std::memcpy(longer.Raw(kName).data(), "0123456789XYZ", 13);
  longer.Int(kCode, 1);
  // Stored it would be the same ten characters: a duplicate.
  EXPECT_THROW(table_->AppendRecord(longer.Buffers(), false, nullptr), EDatabaseError);
  longer.Int(kCode, 2);
  table_->AppendRecord(longer.Buffers(), false, nullptr);
  EXPECT_EQ(longer.GetStr(kName), "0123456789");
  // The slot holds the ten characters, the NUL and nothing after it.
  std::vector<uint8_t> slot = table_->ReadFieldValue(1, kName);
  EXPECT_EQ(std::string(slot.begin(), slot.end()), std::string("0123456789\0", 11));
}

TEST_F(TableIOTest, RewriteKeepingItsOwnKeyPassesAndTakingAnothersFails) {
  Make();
  Append("a", 1);
  Append("b", 2);
  TRecordBuffer r = Read(table_->IndexLists(0), 0);
  r.Double(kAmount, 9.5);
  table_->ModifyRecord(r.Buffers(), 0, &calls_, false);
  EXPECT_EQ(Read(table_->IndexLists(0), 0).GetDouble(kAmount), 9.5);

  std::vector<uint8_t> before = db_->Bytes();
  r.Str(kName, "b").Int(kCode, 2);
  try {
    table_->ModifyRecord(r.Buffers(), 0, &calls_, true);
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Invalid unique field value '2,b'");
  }
  EXPECT_EQ(db_->Bytes(), before);
}

TEST_F(TableIOTest, UniqueKeyOfAnInactiveFieldIsTheStoredOne) {
  Make();
  Append("a", 1);
  Append("b", 2);
  // Only code is given: with the stored name "b" the key (1, b) is free.
  TRecordBuffer r = Read(table_->IndexLists(0), 1);
  r.Int(kCode, 1).Inactive(kName);
  table_->ModifyRecord(r.Buffers(), 1, nullptr, false);
  TRecordBuffer again = Read(table_->IndexLists(0), 1);
  EXPECT_EQ(again.GetStr(kName), "b");
  EXPECT_EQ(again.GetInt(kCode), 1);
}

TEST_F(TableIOTest, DeleteKeepsChainsAndFileSize) {
  Make();
  Append("b", 2);
  Append("a", 1);
  Append("c", 3);
  size_t size = db_->Bytes().size();
  table_->DeleteRecord(0, false);
  EXPECT_EQ(db_->Bytes().size(), size);
  EXPECT_EQ(RecNos(table_->IndexLists(0)), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(RecNos(table_->IndexLists(1 + kByName)), (std::vector<int32_t>{1, 2}));

  TTableHeader h = db_->file().ReadTableHeader(0);
  EXPECT_EQ(h.RecordTotal, 3);
  EXPECT_TRUE(db_->file().ReadRecordTabItem(h.RecTabOffset, 0).Deleted);
  // The name chain still runs a -> b -> c through the deleted record.
  int32_t block = h.IndexHeaders[kByName].IndexTabOffset;
  EXPECT_EQ(h.IndexHeaders[kByName].StartIndex, 1);
  EXPECT_EQ(db_->file().ReadIndexTabItem(block, 1).Next, 0);
  EXPECT_EQ(db_->file().ReadIndexTabItem(block, 0).Next, 2);

  auto reopened = db_->Open("people");
  EXPECT_EQ(RecNos(reopened->IndexLists(0)), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(RecNos(reopened->IndexLists(1 + kByName)), (std::vector<int32_t>{1, 2}));
  // Deleting every record leaves the size as it was.
  table_->DeleteRecord(0, false);
  table_->DeleteRecord(0, true);
  EXPECT_EQ(db_->Bytes().size(), size);
  EXPECT_EQ(table_->IndexLists(1 + kByAmountDesc).size(), 0u);
}

TEST_F(TableIOTest, EqualKeysGoBehindTheEntryWhereTheSearchStopped) {
  Make();
  for (int i = 0; i < 4; ++i) Append("same", i);
  // [0], [0 1], then the search stops at 0 of two, then at 1 of three.
  EXPECT_EQ(RecNos(table_->IndexLists(1 + kByName)), (std::vector<int32_t>{0, 2, 3, 1}));
  auto reopened = db_->Open("People");
  EXPECT_EQ(RecNos(reopened->IndexLists(1 + kByName)), (std::vector<int32_t>{0, 2, 3, 1}));
}

TEST_F(TableIOTest, AppendCallbacksGiveTheInsertPositions) {
  Make();
  Append("m", 1, 5);
  Append("a", 2, 7);
  calls_.calls.clear();
  Append("z", 0, 6);
  using C = std::tuple<char, int32_t, int32_t, int32_t>;
  EXPECT_THAT(calls_.calls, ElementsAre(C{'a', -1, -1, 2}, C{'a', kByName, 2, 2}, C{'a', kByCodeName, 0, 2},
                                        C{'a', kByAmountDesc, 1, 2}));
  EXPECT_EQ(Names(1 + kByName), (std::vector<std::string>{"a", "m", "z"}));
  EXPECT_EQ(Names(1 + kByCodeName), (std::vector<std::string>{"z", "m", "a"}));
  EXPECT_EQ(Names(1 + kByAmountDesc), (std::vector<std::string>{"a", "z", "m"}));
}

TEST_F(TableIOTest, ModifyCallbacksCountTheNewPositionInTheListThatStillHoldsTheRecord) {
  Make();
  // Distinct amounts: among equal keys a rewritten record may change places.
  for (int code : {10, 20, 30, 40}) Append("n" + std::to_string(code), code, code);
  struct Case {
    int32_t record_pos;
    int32_t new_code;
    std::vector<std::tuple<char, int32_t, int32_t, int32_t>> calls;
    std::vector<int32_t> order;  // of the code index afterwards
  };
  std::vector<Case> cases = {
      {0, 35, {{'m', kByCodeName, 0, 3}}, {1, 2, 0, 3}},  // 10 -> 35: behind 30
      {3, 5, {{'m', kByCodeName, 3, 0}}, {3, 1, 2, 0}},   // 40 -> 5: to the head
      {1, 21, {}, {3, 1, 2, 0}},                          // 20 -> 21: stays
  };
  for (const Case& c : cases) {
    TRecordBuffer r = Read(table_->IndexLists(0), c.record_pos);
    r.Int(kCode, c.new_code);
    calls_.calls.clear();
    table_->ModifyRecord(r.Buffers(), c.record_pos, &calls_, false);
    EXPECT_EQ(calls_.calls, c.calls) << "record " << c.record_pos;
    EXPECT_EQ(RecNos(table_->IndexLists(1 + kByCodeName)), c.order) << "record " << c.record_pos;
  }
  auto reopened = db_->Open("People");
  EXPECT_EQ(RecNos(reopened->IndexLists(1 + kByCodeName)), (std::vector<int32_t>{3, 1, 2, 0}));
}

TEST_F(TableIOTest, RewriteThatLeavesAKeyEqualKeepsTheRecordsPlaceAmongEqualKeys) {
  Make();
  for (int i = 0; i < 4; ++i) Append("same", i, i);
  const std::vector<int32_t> order = {0, 2, 3, 1};
  ASSERT_EQ(RecNos(table_->IndexLists(1 + kByName)), order);
  struct Case {
    const char* what;
    std::function<void(TRecordBuffer&)> change;
  };
  std::vector<Case> cases = {
      {"another field", [](TRecordBuffer& r) { r.Double(kAmount, 50); }},
      {"the same name again", [](TRecordBuffer& r) { r.Str(kName, "same"); }},
      {"nothing", [](TRecordBuffer&) {}},
  };
  for (const Case& c : cases) {
    // Every record in turn, walking the name order as a caller would.
    for (int32_t pos = 0; pos < 4; ++pos) {
      int32_t record_pos = table_->RecordPosOfIndexPos(table_->IndexLists(1 + kByName), pos);
      TRecordBuffer r = Read(table_->IndexLists(0), record_pos);
      c.change(r);
      calls_.calls.clear();
      table_->ModifyRecord(r.Buffers(), record_pos, &calls_, false);
      for (const auto& call : calls_.calls) EXPECT_NE(std::get<1>(call), kByName) << c.what;
      EXPECT_EQ(RecNos(table_->IndexLists(1 + kByName)), order) << c.what << ", position " << pos;
    }
  }
  auto reopened = db_->Open("People");
  EXPECT_EQ(RecNos(reopened->IndexLists(1 + kByName)), order);
}

TEST_F(TableIOTest, RewriteThatOnlyChangesLetterCaseStaysInACaseInsensitiveIndex) {
  TTableHeader h = TableHeader("w", {{"word", ftString, 20, 0}, {"n", ftInteger, 0, 0}});
  AddIndex(h, "ci", kCaseInsensitive, {0});
  Make(h);
  for (int i = 0; i < 3; ++i) {
    TRecordBuffer r(*table_);
    r.Str(0, "abc").Int(1, i);
    table_->AppendRecord(r.Buffers(), false, nullptr);
  }
  std::vector<int32_t> order = RecNos(table_->IndexLists(1));
  TRecordBuffer r = Read(table_->IndexLists(1), 0);
  r.Str(0, "ABC");
  int32_t record_pos = table_->RecordPosOfIndexPos(table_->IndexLists(1), 0);
  calls_.calls.clear();
  table_->ModifyRecord(r.Buffers(), record_pos, &calls_, false);
  EXPECT_TRUE(calls_.calls.empty());
  EXPECT_EQ(RecNos(table_->IndexLists(1)), order);
  EXPECT_EQ(Read(table_->IndexLists(1), 0).GetStr(0), "ABC");
}

TEST_F(TableIOTest, DescendingAndCaseInsensitiveOrders) {
  TTableHeader h = TableHeader("w", {{"word", ftString, 20, 0}});
  AddIndex(h, "ci", kCaseInsensitive | kUnique, {0});
  AddIndex(h, "desc", kDescending, {0});
  Make(h);
  for (const char* w : {"beta", "Alpha", "gamma"}) {
    TRecordBuffer r(*table_);
    r.Str(0, w);
    table_->AppendRecord(r.Buffers(), false, nullptr);
  }
  TRecordBuffer dup(*table_);
  dup.Str(0, "ALPHA");
  EXPECT_THROW(table_->AppendRecord(dup.Buffers(), false, nullptr), EDatabaseError);
  EXPECT_EQ(RecNos(table_->IndexLists(1)), (std::vector<int32_t>{1, 0, 2}));
  EXPECT_EQ(RecNos(table_->IndexLists(2)), (std::vector<int32_t>{2, 0, 1}));

  TRecordBuffer key(*table_);
  key.Str(0, "GAMMA");
  TSearchResult found = table_->SearchIndex(key.Buffers(), table_->IndexLists(1), false, 0, 0);
  EXPECT_EQ(found.Side, kSearchEqual);
  EXPECT_EQ(found.Position, 2);
}

TEST_F(TableIOTest, SearchesReportPositionAndSide) {
  Make();
  int n = 0;
  for (int code : {10, 20, 20, 20, 30}) Append("x" + std::to_string(n++), code);
  const TRecordList& list = table_->IndexLists(1 + kByCodeName);
  TRecordBuffer key(*table_);
  struct Case {
    int32_t code;
    int32_t fields;
    bool first;
    TSearchResult bound;
  };
  // Partial keys: only the code of (code, name).
  for (const Case& c : std::vector<Case>{{20, 1, true, {1, 0}},
                                         {20, 1, false, {3, 0}},
                                         {5, 1, true, {0, -1}},
                                         {35, 1, false, {4, 1}},
                                         {25, 1, true, {4, -1}}}) {
    key.Int(kCode, c.code);
    TSearchResult r = table_->SearchIndexBound(key.Buffers(), list, false, c.fields, kByCodeName, c.first);
    EXPECT_EQ(r.Position, c.bound.Position) << c.code;
    EXPECT_EQ(r.Side, c.bound.Side) << c.code;
  }
  key.Int(kCode, 20);
  TSearchResult plain = table_->SearchIndex(key.Buffers(), list, false, 1, kByCodeName);
  EXPECT_EQ(plain.Side, kSearchEqual);
  EXPECT_EQ(plain.Position, 2);
  TRecordList empty;
  EXPECT_EQ(table_->SearchIndex(key.Buffers(), empty, false, 0, kByCodeName).Side, kSearchEmpty);
  EXPECT_EQ(table_->SearchIndex(key.Buffers(), empty, false, 0, kByCodeName).Position, -1);

  // Partial text: a prefix equals every name that begins with it.
  key.Str(kName, "x");
  key.Int(kCode, 30);
  EXPECT_EQ(table_->SearchIndex(key.Buffers(), list, true, 0, kByCodeName).Side, kSearchEqual);
  key.Str(kName, "");
  EXPECT_EQ(table_->SearchIndex(key.Buffers(), list, false, 0, kByCodeName).Side, kSearchSmaller);
  EXPECT_EQ(table_->SearchIndex(key.Buffers(), list, true, 0, kByCodeName).Side, kSearchEqual);
}

TEST_F(TableIOTest, PositionsMapBetweenLists) {
  Make();
  for (int code : {30, 10, 20}) Append("r" + std::to_string(code), code);
  const TRecordList& by_code = table_->IndexLists(1 + kByCodeName);
  EXPECT_EQ(table_->RecordPosOfIndexPos(by_code, 0), 1);
  EXPECT_EQ(table_->RecordPosOfIndexPos(by_code, 3), -1);
  EXPECT_EQ(table_->ListPosToListPos(kByCodeName, 0, table_->IndexLists(0)), 1);
  EXPECT_EQ(table_->ListPosToListPos(-1, 0, by_code), 2);
  EXPECT_EQ(table_->ListPosToListPos(kByCodeName, 2, by_code), 2);
  TRecordList view;  // a dataset's filtered copy
  view.push_back(by_code[2]);
  EXPECT_EQ(table_->ListPosToListPos(kByCodeName, 2, view), 0);
  EXPECT_EQ(table_->ListPosToListPos(kByCodeName, 1, view), -1);
}

TEST_F(TableIOTest, TableOpenedTwiceIsLoadedOnce) {
  Make();
  Append("a", 1);
  // Another file object on the same image appends behind this one's back.
  TRadiVOFileIO other;
  other.Open(db_->file().FileName(), mtMemory, false, false);
  TDadaTableIO other_table(other, "People");
  other_table.OpenTable();
  TRecordBuffer r(other_table);
  r.Str(kName, "b").Int(kCode, 2);
  other_table.AppendRecord(r.Buffers(), false, nullptr);

  table_->OpenTable();  // only counts
  EXPECT_EQ(table_->OpenCount(), 2);
  EXPECT_EQ(table_->IndexLists(0).size(), 1u);
  table_->CloseTable();
  EXPECT_EQ(table_->IndexLists(0).size(), 1u);
  table_->LoadIndexList(0, true);  // brought up to date on request
  EXPECT_EQ(table_->IndexLists(0).size(), 2u);
  table_->CloseTable();
  table_->CloseTable();
  EXPECT_EQ(table_->OpenCount(), 0);
  EXPECT_THROW(table_->IndexLists(0), EDatabaseError);
}

TEST_F(TableIOTest, TwoFileObjectsAppendingInTurnLoseNothing) {
  Make();
  TRadiVOFileIO other;
  other.Open(db_->file().FileName(), mtMemory, false, false);
  TDadaTableIO second(other, "People");
  second.OpenTable();
  for (int i = 0; i < 300; ++i) {
    TDadaTableIO& io = i % 2 ? second : *table_;
    TRecordBuffer r(io);
    r.Str(kName, "n" + std::to_string(i % 7)).Int(kCode, i).Double(kAmount, (i * 37) % 101);
    io.AppendRecord(r.Buffers(), false, nullptr);
  }
  TRecordBuffer r(second);
  r.Str(kName, "n0").Int(kCode, 0);
  EXPECT_THROW(second.AppendRecord(r.Buffers(), false, nullptr), EDatabaseError);  // code 0 came from the other
  auto reopened = db_->Open("People");
  EXPECT_EQ(reopened->IndexLists(0).size(), 300u);
  for (int32_t list = 1; list <= 3; ++list) EXPECT_EQ(reopened->IndexLists(list).size(), 300u);
  EXPECT_EQ(RecNos(reopened->IndexLists(1 + kByAmountDesc)), RecNos(second.IndexLists(1 + kByAmountDesc)));
}

TEST_F(TableIOTest, The1025thAppendAddsAndLinksASecondBlock) {
  TTableHeader h = TableHeader("n", {{"v", ftInteger, 0, 0}});
  AddIndex(h, "iv", kDescending, {0});
  Make(h);
  for (int i = 0; i < 1025; ++i) {
    TRecordBuffer r(*table_);
    r.Int(0, i);
    size_t end = db_->Bytes().size();
    table_->AppendRecord(r.Buffers(), false, nullptr);
    if (i == 0 || i == 1024) {
      // The record table block, then the record right behind it.
      TTableHeader disk = db_->file().ReadTableHeader(0);
      int32_t first = disk.RecTabOffset;
      int32_t block = i == 0 ? first : GetInt32LE(&db_->Bytes()[static_cast<size_t>(first)]);
      EXPECT_EQ(block, static_cast<int32_t>(end));
      EXPECT_EQ(db_->file().ReadRecordTabItem(block, 0).DataOffset, block + 5124);
    }
  }
  TTableHeader disk = db_->file().ReadTableHeader(0);
  std::vector<int32_t> blocks;
  EXPECT_EQ(db_->file().ReadRecordTable(disk, blocks).size(), 1025u);
  EXPECT_EQ(blocks.size(), 2u);
  EXPECT_EQ(db_->file().ReadIndexTable(disk.IndexHeaders[0], 1025, blocks).size(), 1025u);
  EXPECT_EQ(blocks.size(), 2u);
  auto reopened = db_->Open("n");
  std::vector<int32_t> expected;
  for (int i = 1024; i >= 0; --i) expected.push_back(i);
  EXPECT_EQ(RecNos(reopened->IndexLists(1)), expected);
}

TEST_F(TableIOTest, ReopenedFileReadsBackWhatWasWritten) {
  Make();
  std::mt19937 rng(11);
  std::map<int32_t, std::tuple<std::string, int32_t, double, std::string>> model;  // by record number
  int32_t code = 0;
  for (int step = 0; step < 400; ++step) {
    int op = static_cast<int>(rng() % 10);
    if (model.empty() || op < 6) {
      std::string name = "k" + std::to_string(rng() % 20);
      std::string memo(rng() % 150, static_cast<char>('a' + rng() % 26));
      double amount = static_cast<double>(rng() % 50);
      Append(name, ++code, amount, memo);
      model[table_->IndexLists(0).at(table_->IndexLists(0).size() - 1).RecIndex] = {name, code, amount, memo};
    } else {
      int32_t pos = static_cast<int32_t>(rng() % table_->IndexLists(0).size());
      int32_t recno = table_->IndexLists(0)[static_cast<size_t>(pos)].RecIndex;
      if (op < 8) {
        TRecordBuffer r = Read(table_->IndexLists(0), pos);
        std::string memo(rng() % 300, 'm');
        r.Str(kName, "k" + std::to_string(rng() % 20)).Double(kAmount, static_cast<double>(rng() % 50)).Blob(kMemo, memo);
        table_->ModifyRecord(r.Buffers(), pos, nullptr, false);
        model[recno] = {r.GetStr(kName), r.GetInt(kCode), r.GetDouble(kAmount), memo};
      } else {
        table_->DeleteRecord(pos, false);
        model.erase(recno);
      }
    }
  }
  auto reopened = db_->Open("people");
  for (int32_t list = 0; list <= 3; ++list)
    EXPECT_EQ(RecNos(reopened->IndexLists(list)), RecNos(table_->IndexLists(list))) << "list " << list;
  const TRecordList& list0 = reopened->IndexLists(0);
  ASSERT_EQ(list0.size(), model.size());
  for (size_t p = 0; p < list0.size(); ++p) {
    TRecordBuffer r(*reopened);
    reopened->ReadRecord(r.Buffers(), list0, static_cast<int32_t>(p));
    auto [name, c, amount, memo] = model[list0[p].RecIndex];
    EXPECT_EQ(r.GetStr(kName), name);
    EXPECT_EQ(r.GetInt(kCode), c);
    EXPECT_EQ(r.GetDouble(kAmount), amount);
    EXPECT_EQ(r.GetBlob(kMemo), memo);
  }
  // Every index list is in key order.
  for (int32_t i = 0; i < 3; ++i) {
    const TRecordList& list = reopened->IndexLists(i + 1);
    for (size_t p = 1; p < list.size(); ++p) {
      TRecordBuffer r(*reopened);
      reopened->ReadRecord(r.Buffers(), list, static_cast<int32_t>(p));
      TSearchResult s = reopened->SearchIndexBound(r.Buffers(), list, false, 0, i, false);
      EXPECT_EQ(s.Side, kSearchEqual);
      EXPECT_GE(s.Position, static_cast<int32_t>(p)) << "index " << i << " at " << p;
    }
  }
}

}  // namespace
}  // namespace tdb::testing
