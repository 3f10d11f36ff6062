// Filtering, record search, Locate, Lookup and the master-detail range of
// the table dataset.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/dataset/table_fixture.h"
#include "engine/file/file_io.h"

namespace tdb {
namespace {

using ::testing::HasSubstr;

const char kIvanov[] = "\xC8\xE2\xE0\xED\xEE\xE2";            // Иванов
const char kIvantsov[] = "\xC8\xE2\xE0\xED\xF6\xEE\xE2";      // Иванцов
const char kIvPrefix[] = "\xC8\xE2";                          // Ив

class DataSetFilterTest : public DadaTableTest {
 protected:
  // Records 1..6; 2, 4 and 5 are flagged.
  std::unique_ptr<TDadaTable> Filled(const std::string& index = "inomer") {
    auto t = OpenTable(index);
    const char* names[] = {kIvanov, "Petrov", kIvantsov, "Sidorov", "ivanova", "Orlov"};
    for (int n = 1; n <= 6; ++n) {
      t->Insert();
      t->FieldByName("nomer").SetAsInteger(n);
      t->FieldByName("name").SetAsString(names[n - 1]);
      t->FieldByName("flag").SetAsBoolean(n == 2 || n == 4 || n == 5);
      t->Post();
    }
    t->First();
    return t;
  }
};

TEST_F(DataSetFilterTest, CountsNavigationAndDeletingWhileFiltered) {
  auto t = Filled();
  EXPECT_THAT(ErrorOf([&] { t->SetFilter("nosuch=true"); }), HasSubstr("Field 'nosuch' not found"));
  EXPECT_EQ(t->Filter(), "");
  t->SetFilter("flag=true");
  EXPECT_EQ(t->RecordCount(), 6);  // not filtered yet
  t->SetFiltered(true);
  EXPECT_EQ(t->RecordCount(), 3);
  EXPECT_EQ(Numbers(*t), (std::vector<int>{2, 4, 5}));
  t->First();
  while (!t->IsEmpty()) t->Delete();  // the register's purge
  EXPECT_EQ(t->RecordCount(), 0);
  t->SetFiltered(false);
  EXPECT_EQ(Numbers(*t), (std::vector<int>{1, 3, 6}));
}

TEST_F(DataSetFilterTest, IndexSwitchKeepsTheFilterAndEveryChangeEndsOnTheFirstRecord) {
  auto t = Filled();
  t->SetFilter("flag=false");
  t->SetFiltered(true);
  t->Last();
  t->SetIndexName("iname");
  EXPECT_EQ(t->RecordCount(), 3);
  EXPECT_EQ(t->RecNo(), 1);
  std::vector<std::string> names;
  for (t->First(); !t->Eof(); t->Next()) names.push_back(t->FieldByName("name").AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"Orlov", kIvanov, kIvantsov}));  // Latin before Cyrillic
  t->Last();
  t->SetFiltered(true);  // the same value again
  EXPECT_EQ(t->RecNo(), 1);
}

TEST_F(DataSetFilterTest, BadTextKeepsThePreviousTextAndView) {
  auto t = Filled();
  t->SetFilter("flag=true");
  t->SetFiltered(true);
  EXPECT_THAT(ErrorOf([&] { t->SetFilter("flag=1"); }), HasSubstr("Type mismatch in expression"));
  EXPECT_EQ(t->Filter(), "flag=true");
  EXPECT_EQ(t->RecordCount(), 3);
  t->SetFilter("nomer>3");
  EXPECT_EQ(Numbers(*t), (std::vector<int>{4, 5, 6}));
}

TEST_F(DataSetFilterTest, PartialTextsCaseAndOptions) {
  auto t = Filled();
  t->SetFilter(std::string("name='") + kIvPrefix + "*'");
  t->SetFiltered(true);
  EXPECT_EQ(Numbers(*t), (std::vector<int>{1, 3}));
  t->SetFilterOptions(foCaseInsensitive);
  t->SetFilter("name='ivan*'");
  EXPECT_EQ(Numbers(*t), (std::vector<int>{5}));
  t->SetFilterOptions(foNoPartialCompare);
  EXPECT_EQ(t->RecordCount(), 0);  // only a name that is exactly "ivan*"
}

TEST_F(DataSetFilterTest, RecordHookProgressAndEmptyTables) {
  auto empty = OpenTable();
  int calls = 0;
  empty->OnFilterProgress = [&](TDataSet&, int) { ++calls; };
  empty->SetFilter("flag=true");
  empty->SetFiltered(true);
  EXPECT_EQ(calls, 0);
  empty.reset();

  auto t = Filled();
  std::vector<int> percents;
  t->OnFilterProgress = [&](TDataSet&, int p) { percents.push_back(p); };
  t->OnFilterRecord = [](TDataSet&, bool& accept) { accept = false; };
  t->SetFiltered(true);
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_EQ(percents, (std::vector<int>{0, 16, 33, 50, 66, 83}));
}

TEST_F(DataSetFilterTest, FailedApplicationLeavesFilteredOff) {
  auto t = Filled();
  t->OnFilterRecord = [](TDataSet& ds, bool&) {
    if (ds.FieldByName("nomer").AsInteger() == 3) DatabaseError("hook failed");
  };
  EXPECT_EQ(ErrorOf([&] { t->SetFiltered(true); }), "hook failed");
  EXPECT_FALSE(t->Filtered());
  EXPECT_EQ(t->RecordCount(), 6);
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(t->RecNo(), 1);
}

TEST_F(DataSetFilterTest, RecordPostedWhileFilteredStaysUntilAppliedAgain) {
  auto t = Filled();
  t->SetFilter("flag=true");
  t->SetFiltered(true);
  t->Insert();
  t->FieldByName("nomer").SetAsInteger(7);
  t->Post();
  EXPECT_EQ(t->RecordCount(), 4);
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 7);
  EXPECT_EQ(Numbers(*t), (std::vector<int>{2, 4, 5, 7}));
  t->Refresh();
  EXPECT_EQ(Numbers(*t), (std::vector<int>{2, 4, 5}));
}

TEST_F(DataSetFilterTest, FindOperations) {
  auto t = Filled();
  t->SetFilter("flag=true");  // not filtered: the finds test it anyway
  EXPECT_TRUE(t->FindFirst());
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 2);
  EXPECT_TRUE(t->FindNext());
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 4);
  EXPECT_TRUE(t->FindLast());
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 5);
  EXPECT_FALSE(t->FindNext());
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 5);  // stays
  EXPECT_TRUE(t->FindPrior());
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 4);
  EXPECT_EQ(t->RecordCount(), 6);
}

TEST_F(DataSetFilterTest, LocateThroughAnIndexOrAScan) {
  auto t = Filled("iname");
  EXPECT_TRUE(t->Locate("nomer", {int64_t{3}}, 0));  // index "inomer"
  EXPECT_EQ(t->FieldByName("name").AsString(), kIvantsov);
  EXPECT_FALSE(t->Locate("nomer", {int64_t{42}}, 0));
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 3);  // stays
  EXPECT_TRUE(t->Locate("name", {std::string(kIvPrefix)}, loPartialKey));
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 1);  // first in the view's order
  EXPECT_TRUE(t->Locate("name", {std::string("IVANOVA")}, loCaseInsensitive));  // no such index: a scan
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 5);
  EXPECT_TRUE(t->Locate("nomer;flag", {int64_t{4}, true}, 0));
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 4);
  EXPECT_THAT(ErrorOf([&] { t->Locate("nosuch", {int64_t{1}}, 0); }), HasSubstr("Field 'nosuch' not found"));

  t->SetFilter("flag=true");
  t->SetFiltered(true);
  EXPECT_FALSE(t->Locate("nomer", {int64_t{3}}, 0));  // hidden by the filter
  EXPECT_TRUE(t->Locate("nomer", {int64_t{5}}, 0));
}

TEST_F(DataSetFilterTest, LookupNeverMoves) {
  auto t = Filled();
  t->SetRecNo(2);
  auto found = t->Lookup("nomer", {int64_t{6}}, "name;flag");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(std::get<std::string>((*found)[0]), "Orlov");
  EXPECT_EQ(std::get<bool>((*found)[1]), false);
  EXPECT_FALSE(t->Lookup("nomer", {int64_t{60}}, "name").has_value());
  EXPECT_FALSE(t->Lookup("name", {std::string("orlov")}, "nomer").has_value());  // case-sensitive
  EXPECT_EQ(t->RecNo(), 2);
}

TEST_F(DataSetFilterTest, MasterDetailRange) {
  auto master = Filled();
  std::string detail_path = dir_.File("d.tdb", OneTableImage(ReceiptsLikeHeader()));
  auto detail = OpenTable("iname", detail_path);
  int n = 0;
  for (const char* key : {"1", "2", "2", "3", "5"}) {
    detail->Insert();
    detail->FieldByName("nomer").SetAsInteger(++n);
    detail->FieldByName("name").SetAsString(key);
    detail->Post();
  }
  TDataSource source;
  source.SetDataSet(master.get());
  detail->SetMasterSource(&source);
  detail->SetMasterFields("nomer");  // master "nomer" into the detail's index field "name"
  master->First();
  EXPECT_EQ(Numbers(*detail), (std::vector<int>{1}));
  master->Next();
  EXPECT_EQ(Numbers(*detail), (std::vector<int>{2, 3}));
  master->SetRecNo(4);
  EXPECT_EQ(detail->RecordCount(), 0);
  master->SetRecNo(5);
  EXPECT_EQ(Numbers(*detail), (std::vector<int>{5}));
  detail->Refresh();  // the range is applied again
  EXPECT_EQ(Numbers(*detail), (std::vector<int>{5}));
  master->Close();  // the link goes inactive: the range is removed
  EXPECT_EQ(detail->RecordCount(), 5);

  TDataSource own;
  own.SetDataSet(detail.get());
  EXPECT_THAT(ErrorOf([&] { detail->SetMasterSource(&own); }), HasSubstr("Circular datalinks are not allowed"));
}

// Applying a filter reads every record of the view under the file lock, but
// takes the lock once per stretch of reads rather than once per record.
// Another file object on the same file is kept out while a stretch runs and
// gets in once the filter is done, also after the filter failed.
TEST_F(DataSetFilterTest, AFiltersReadsHoldTheFileLockAndReleaseItAtTheEnd) {
  auto t = Filled();
  TRadiVOFileIO other;
  other.Open(path_, mtDisk, false, false);
  other.SetLockSettingsSource([] { return TLockSettings{1, 0}; });
  auto other_gets_lock = [&] {
    try {
      other.Lock();
    } catch (const EDatabaseError&) {
      return false;
    }
    other.Unlock();
    return true;
  };
  struct Case {
    const char* what;
    bool throws;
  };
  for (const Case& c : {Case{"accepting", false}, Case{"failing", true}}) {
    int tested = 0;
    bool kept_out = true;
    t->OnFilterRecord = [&](TDataSet&, bool& accept) {
      kept_out = kept_out && !other_gets_lock();
      ++tested;
      if (c.throws) throw EDatabaseError("no");
      accept = true;
    };
    t->SetFiltered(false);
    if (c.throws) EXPECT_EQ(ErrorOf([&] { t->SetFiltered(true); }), "no");
    else t->SetFiltered(true);
    EXPECT_GT(tested, 0) << c.what;
    EXPECT_TRUE(kept_out) << c.what;
    EXPECT_TRUE(other_gets_lock()) << c.what;
  }
  // A change made from the record event runs under the filter's lock.
  t->OnFilterRecord = [&](TDataSet&, bool& accept) { accept = true; };
  t->SetFiltered(false);
  auto second = OpenTable("inomer");
  t->OnFilterRecord = [&](TDataSet&, bool& accept) {
    if (second->RecordCount() == 6) {
      second->Insert();
      second->FieldByName("nomer").SetAsInteger(7);
      second->Post();
    }
    accept = true;
  };
  t->SetFiltered(true);
  EXPECT_EQ(second->RecordCount(), 7);
  EXPECT_TRUE(other_gets_lock());
}

}  // namespace
}  // namespace tdb
