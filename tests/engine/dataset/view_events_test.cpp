// What bound grids and editors hear of a table dataset, and the reads they
// make: moves as moves, row changes once a change has completed, a screen of
// typed rows, and the nearest-key search of incremental search.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/dataset/data_source.h"
#include "engine/dataset/table_fixture.h"

namespace tdb {
namespace {

// Writes down what a grid bound to the dataset would be told.
class RowLog : public TDataLink {
 public:
  std::vector<std::string> log;
  bool fail_on_rows = false;

 protected:
  void DataSetChanged() override { log.push_back("changed"); }
  void DataSetScrolled(int) override { log.push_back("scrolled"); }
  void ViewRowChanged(const TViewChange& change) override {
    static const char* const kinds[] = {"inserted", "removed", "moved", "row changed"};
    std::string text = std::string(kinds[change.kind]) + " " + std::to_string(change.position);
    if (change.kind == TViewChange::kMoved) text += " to " + std::to_string(change.to);
    log.push_back(text);
    if (fail_on_rows) throw std::runtime_error("screen handler failed");
  }
};

class ViewEventsTest : public DadaTableTest {
 protected:
  std::unique_ptr<TDadaTable> OpenWithRows(const std::string& index, const std::string& path = "") {
    auto t = OpenTable(index, path);
    Add(*t, 10, "c");
    Add(*t, 20, "a");
    Add(*t, 30, "e");
    t->Refresh();
    source_.SetDataSet(t.get());
    rows_.SetDataSource(&source_);
    return t;
  }
  std::vector<std::string> Take() { return std::exchange(rows_.log, {}); }

  TDataSource source_;
  RowLog rows_;
};

TEST_F(ViewEventsTest, MovesAreAnnouncedAsMovesAndNewViewsAsChanges) {
  auto t = OpenWithRows("iname");  // a, c, e
  const uint64_t generation = t->ViewGeneration();
  t->SetRecNo(3);
  ASSERT_TRUE(t->Locate("nomer", {TVariant{int64_t{10}}}, 0));
  t->GotoBookmark(t->BookmarkAt(0));
  t->Last();
  t->Insert();
  t->Cancel();
  EXPECT_EQ(Take(), std::vector<std::string>(5, "scrolled"));
  EXPECT_EQ(t->ViewGeneration(), generation);

  t->SetIndexName("inomer");
  EXPECT_EQ(Take(), std::vector<std::string>{"changed"});
  EXPECT_NE(t->ViewGeneration(), generation);
  t->Refresh();
  EXPECT_EQ(Take(), std::vector<std::string>{"changed"});
}

TEST_F(ViewEventsTest, PostsAndDeletesAnnounceTheirRowBeforeTheMove) {
  struct Case {
    const char* what;
    std::function<void(TDadaTable&)> change;
    std::vector<std::string> heard;
    int current;  // view position afterwards
  };
  const Case cases[] = {
      {"insert into the order", [](TDadaTable& t) { Add(t, 40, "b"); }, {"inserted 1", "scrolled"}, 1},
      {"edit that moves the record",
       [](TDadaTable& t) {
         t.First();  // "a"
         t.Edit();
         t.FieldByName("name").SetAsString("d");
         t.Post();
       },
       {"moved 0 to 1", "row changed 1", "scrolled"},
       1},
      {"edit in place",
       [](TDadaTable& t) {
         t.Last();
         t.Edit();
         t.FieldByName("nomer").SetAsInteger(99);
         t.Post();
       },
       {"row changed 2", "scrolled"},
       2},
      {"delete in the middle",
       [](TDadaTable& t) {
         t.SetRecNo(2);
         t.Delete();
       },
       {"removed 1", "scrolled"},
       1},
  };
  int file = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto t = OpenWithRows("iname", dir_.File("case" + std::to_string(++file) + ".tdb", OneTableImage(ReceiptsLikeHeader())));
    c.change(*t);
    std::vector<std::string> heard = Take();
    // Navigation inside the change may scroll first; the change's own news come last.
    ASSERT_GE(heard.size(), c.heard.size());
    EXPECT_EQ(std::vector<std::string>(heard.end() - static_cast<long>(c.heard.size()), heard.end()), c.heard);
    EXPECT_EQ(t->CurrentPosition(), c.current);
    rows_.SetDataSource(nullptr);
    source_.SetDataSet(nullptr);
  }
}

TEST_F(ViewEventsTest, ThrowingRowHandlerStoresOnceAndLeavesTheTableInStep) {
  auto a = OpenTable("inomer");
  auto b = OpenTable("iname");
  Add(*b, 1, "b");
  Add(*b, 2, "d");
  a->Refresh();
  source_.SetDataSet(a.get());
  rows_.SetDataSource(&source_);
  rows_.fail_on_rows = true;
  a->Insert();
  a->FieldByName("nomer").SetAsInteger(3);
  a->FieldByName("name").SetAsString("a");
  EXPECT_THROW(a->Post(), std::runtime_error);
  rows_.fail_on_rows = false;
  // The record is stored and the dataset has left insert state: a second
  // Post (the user pressing "Ok" again) must not store it twice.
  EXPECT_EQ(a->State(), dsBrowse);
  a->Post();
  // Another dataset, loaded before the change, still posts into its place.
  Add(*b, 4, "c");
  std::vector<std::string> names;
  for (b->First(); !b->Eof(); b->Next()) names.push_back(b->FieldByName("name").AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"b", "c", "d"}));
  // Every order of the table holds each record once.
  auto fresh = OpenTable("iname");
  names.clear();
  for (fresh->First(); !fresh->Eof(); fresh->Next()) names.push_back(fresh->FieldByName("name").AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c", "d"}));
  fresh->SetIndexName("inomer");
  EXPECT_EQ(Numbers(*fresh), (std::vector<int>{1, 2, 3, 4}));
  fresh->SetIndexName("");
  EXPECT_EQ(fresh->RecordCount(), 4);
}

TEST_F(ViewEventsTest, ReadRowsGivesAScreenWithoutTouchingThePendingInsert) {
  auto t = OpenWithRows("iname");  // a 20, c 10, e 30
  t->Insert();
  t->FieldByName("name").SetAsString("typed");
  std::vector<TRowValues> rows = t->ReadRows(1, 5, {1, 0});  // runs off the end: two rows
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Texts, (std::vector<std::string>{"c", "10"}));
  EXPECT_EQ(rows[1].Texts, (std::vector<std::string>{"e", "30"}));
  EXPECT_EQ(std::get<int64_t>(rows[1].Values[1]), 30);
  EXPECT_EQ(rows[1].Bookmark, t->BookmarkAt(2));
  EXPECT_EQ(t->State(), dsInsert);
  EXPECT_EQ(t->FieldByName("name").AsString(), "typed");
  EXPECT_TRUE(t->ReadRows(3, 10, {1}).empty());
  EXPECT_THROW(t->ReadRows(0, 1, {42}), EDatabaseError);
}

TEST_F(ViewEventsTest, FindNearestLandsOnTheFirstMatchInTheOrder) {
  auto t = OpenTable("iname");
  const char* names[] = {"Petrov", "ivanov", "Ivanov", "Sidorov", "Ivanova", "Abramov"};
  int n = 1;
  for (const char* name : names) Add(*t, n++, name);
  t->Refresh();
  std::vector<std::string> order;
  for (t->First(); !t->Eof(); t->Next()) order.push_back(t->FieldByName("name").AsString());
  t->First();
  TField& name = t->FieldByName("name");
  struct Case {
    const char* key;
    bool partial;
    const char* landed;  // the name at the position found
    bool match;
  };
  const Case cases[] = {
      {"iv", true, nullptr, true},      // first of the three Ivanov*
      {"IVANOVA", true, "Ivanova", true},
      {"Iz", true, "Petrov", false},    // nearest after: the next name in order
      {"Zz", true, "Sidorov", false},   // past the end: the last row
      {"a", true, "Abramov", true},
      {"Ivanov", false, nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    TNearest found = t->FindNearest(name, TVariant{std::string(c.key)}, c.partial, true);
    EXPECT_EQ(found.Match, c.match);
    ASSERT_GE(found.Position, 0);
    const std::string& at = order[static_cast<size_t>(found.Position)];
    if (c.landed) {
      EXPECT_EQ(at, c.landed);
    } else {
      // The first row of those that match, whatever their letter case.
      EXPECT_TRUE(found.Position == 0 || strncasecmp(order[found.Position - 1].c_str(), c.key, 2) != 0) << at;
      EXPECT_EQ(strncasecmp(at.c_str(), c.key, 2), 0) << at;
    }
  }
  EXPECT_EQ(t->RecNo(), 1);  // never moves the cursor
  EXPECT_THROW(t->FindNearest(t->FieldByName("nomer"), TVariant{int64_t{1}}, false, false), EDatabaseError);
  t->SetIndexName("inomer");
  TNearest number = t->FindNearest(t->FieldByName("nomer"), TVariant{int64_t{4}}, false, false);
  EXPECT_EQ(number.Position, 3);
  EXPECT_TRUE(number.Match);
}

}  // namespace
}  // namespace tdb
