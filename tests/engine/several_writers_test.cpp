// Several programs changing the same records of one file: an edit is based
// on the record as stored when it began and never overwrites another
// program's change made since; a new record's number is settled where it is
// stored, so two programs never store the same one; and a view learns
// cheaply that the file has changed.  The other program is a forked child
// with a session of its own, so it opens the file anew, with its own
// descriptor, lock and lists.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/dataset/table_fixture.h"
#include "engine/fault_stream.h"
#include "engine/other_process.h"
#include "engine/table_contents.h"

namespace tdb {
namespace {

using namespace testing;
using ::testing::HasSubstr;

// In the other process: table "t" of `path`.
struct OtherTable : OtherProgramTable {
  explicit OtherTable(const std::string& path, const std::string& index = "inomer")
      : OtherProgramTable(path, "t", index) {}
};

// What the other program does to record 2.
enum class Other { kMemoLonger, kMemoSameLength, kName, kSum, kDelete };

void DoOther(const std::string& path, Other what) {
  OtherTable other(path);
  other.Go(2);
  TDadaTable& t = other.table;
  if (what == Other::kDelete) {
    t.Delete();
    return;
  }
  t.Edit();
  switch (what) {
    case Other::kMemoLonger: t.FieldByName("memo").SetAsString("a memo the other program wrote, longer"); break;
    case Other::kMemoSameLength: t.FieldByName("memo").SetAsString("MEMO-2"); break;  // stored in place
    case Other::kName: t.FieldByName("name").SetAsString("zz moved by other"); break;
    case Other::kSum: t.FieldByName("sum").SetAsFloat(7777.77); break;
    case Other::kDelete: break;
  }
  t.Post();
}

// The kind of the error `f` raises; ekGeneral when it raises none (a test
// expecting a kind then fails, every kind compared here being another).
TErrorKind KindOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDatabaseError& e) {
    return e.Kind();
  }
  return ekGeneral;
}

class SeveralWritersTest : public DadaTableTest {
 protected:
  void SetUp() override {
    DadaTableTest::SetUp();
    Fill();
  }
  // Records 1..4 in the table at path_.
  void Fill() {
    auto t = OpenTable("inomer");
    for (int n = 1; n <= 4; ++n) {
      t->Insert();
      t->FieldByName("nomer").SetAsInteger(n);
      t->FieldByName("name").SetAsString("name " + std::to_string(n));
      t->FieldByName("memo").SetAsString("memo-" + std::to_string(n));
      t->FieldByName("sum").SetAsFloat(1240.5);
      t->Post();
    }
  }

  // Record 2 as a fresh reader sees it.
  struct Stored {
    std::string name, memo;
    double sum = 0;
    bool flag = false;
    bool exists = false;
  };
  Stored Read2() {
    Stored s;
    auto t = OpenTable("inomer");
    if (!t->Locate("nomer", {TVariant(int64_t{2})}, 0)) return s;
    s = {t->FieldByName("name").AsString(), t->FieldByName("memo").AsString(), t->FieldByName("sum").AsFloat(),
         t->FieldByName("flag").AsBoolean(), true};
    return s;
  }
  static void Go(TDadaTable& t, int nomer) { ASSERT_TRUE(t.Locate("nomer", {TVariant(int64_t{nomer})}, 0)); }

  // Posts the pending edit of record 2, which set "flag", and expects the
  // file to hold it together with everything the other program left.
  void ExpectBothKept(TDadaTable& t, const Stored& other_left) {
    t.Post();
    const Stored both = Read2();
    EXPECT_TRUE(both.flag);
    EXPECT_EQ(both.name, other_left.name);
    EXPECT_EQ(both.memo, other_left.memo);
    EXPECT_EQ(both.sum, other_left.sum);
  }
};

// The edit tests run on the table as it is, whose "memo" is a blob, and on
// one whose every field lies in the record's fixed part, as the receipts'
// do: their edits are checked by different reads.
class SeveralWritersEditTest : public SeveralWritersTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    TTableHeader header = ReceiptsLikeHeader();
    if (!GetParam()) header.FieldTab[7] = {"memo", ftString, 60, 0};
    path_ = dir_.File("r.tdb", OneTableImage(header));
    Fill();
  }
};

INSTANTIATE_TEST_SUITE_P(Tables, SeveralWritersEditTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "MemoBlob" : "NoBlobs"; });

}  // namespace

// The other program changes record 2 while this one has it in edit state:
// the post is refused, writes nothing, and the dataset keeps what was typed
// in edit state; Cancel and Edit start again from the stored record, and
// then both changes are kept.
TEST_P(SeveralWritersEditTest, PostAfterAnotherProgramsChangeIsRefusedAndWritesNothing) {
  struct Case {
    const char* label;
    Other other;
    TErrorKind error;
  };
  const Case cases[] = {
      {"memo rewritten, longer", Other::kMemoLonger, ekRecordChanged},
      {"memo rewritten in place, same length", Other::kMemoSameLength, ekRecordChanged},
      {"name changed (moves in iname)", Other::kName, ekRecordChanged},
      {"amount changed", Other::kSum, ekRecordChanged},
      {"record deleted", Other::kDelete, ekRecordDeleted},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SetUp();
    auto t = OpenTable("iname");
    Go(*t, 2);
    t->Edit();
    t->FieldByName("flag").SetAsBoolean(true);
    InOtherProcess([&] { DoOther(path_, c.other); });
    const Stored other_left = Read2();

    EXPECT_EQ(KindOf([&] { t->Post(); }), c.error);
    EXPECT_EQ(t->State(), dsEdit);
    EXPECT_TRUE(t->FieldByName("flag").AsBoolean()) << "what was typed stays";
    const Stored after = Read2();
    EXPECT_EQ(after.exists, other_left.exists);
    EXPECT_EQ(after.name, other_left.name);
    EXPECT_EQ(after.memo, other_left.memo);
    EXPECT_EQ(after.sum, other_left.sum);
    EXPECT_FALSE(after.flag) << "nothing of the refused post reached the file";
    t->Cancel();
    auto [code, out] = RunTdb("check " + path_);
    EXPECT_EQ(code, 0) << out;
    if (c.other == Other::kDelete) continue;

    // Again from the record as stored now: both changes are kept.
    t->Edit();
    EXPECT_EQ(t->FieldByName("memo").AsString(), other_left.memo);
    t->FieldByName("flag").SetAsBoolean(true);
    ExpectBothKept(*t, other_left);
  }
}

// The other program changes record 2 after this one has read it but before
// it begins the edit: the edit starts from the stored record, so its post
// keeps the other's change.  A record deleted meanwhile cannot be edited.
TEST_P(SeveralWritersEditTest, EditBeginsFromTheRecordAsStoredNow) {
  const Other others[] = {Other::kMemoLonger, Other::kMemoSameLength, Other::kName, Other::kSum, Other::kDelete};
  for (Other other : others) {
    SCOPED_TRACE(static_cast<int>(other));
    SetUp();
    auto t = OpenTable("inomer");
    Go(*t, 2);
    const std::string memo_read = t->FieldByName("memo").AsString();
    InOtherProcess([&] { DoOther(path_, other); });
    const Stored other_left = Read2();
    if (other == Other::kDelete) {
      EXPECT_EQ(KindOf([&] { t->Edit(); }), ekRecordDeleted);
      EXPECT_EQ(t->State(), dsBrowse);
      continue;
    }
    t->Edit();
    EXPECT_EQ(t->FieldByName("name").AsString(), other_left.name);
    EXPECT_EQ(t->FieldByName("memo").AsString(), other_left.memo);
    EXPECT_EQ(t->FieldByName("sum").AsFloat(), other_left.sum);
    t->FieldByName("flag").SetAsBoolean(true);
    ExpectBothKept(*t, other_left);
  }
}

// Right after a post the dataset shows the record as stored (the read that
// follows a rewrite takes the bytes the rewrite stored); any later read of it
// reads the file again, so another program's change made since shows.
TEST_P(SeveralWritersEditTest, AfterAPostTheRecordReadsAsStoredAndLaterAsTheOtherLeftIt) {
  auto t = OpenTable("inomer");
  Go(*t, 2);
  t->Edit();
  t->FieldByName("name").SetAsString("a name longer than its twenty letters");
  t->FieldByName("flag").SetAsBoolean(true);
  t->Post();
  const Stored stored = Read2();
  EXPECT_EQ(t->FieldByName("name").AsString(), stored.name);
  EXPECT_EQ(t->FieldByName("memo").AsString(), stored.memo);
  EXPECT_TRUE(t->FieldByName("flag").AsBoolean());

  InOtherProcess([&] { DoOther(path_, Other::kSum); });
  Go(*t, 2);
  EXPECT_EQ(t->FieldByName("sum").AsFloat(), 7777.77);
  EXPECT_TRUE(t->FieldByName("flag").AsBoolean());
  t->Edit();
  t->FieldByName("name").SetAsString("renamed again");
  t->Post();
  const Stored both = Read2();
  EXPECT_EQ(both.name, "renamed again");
  EXPECT_EQ(both.sum, 7777.77);
  EXPECT_TRUE(both.flag);
}

// An edit posted without anyone else's change, and one that changed a key,
// are stored as ever (the image of the record follows this program's own
// posts: an edit after a post is based on what that post stored).
TEST_F(SeveralWritersTest, OwnEditsFollowOneAnother) {
  auto t = OpenTable("iname");
  Go(*t, 3);
  for (const char* name : {"b renamed", "a renamed again", "c third"}) {
    t->Edit();
    t->FieldByName("name").SetAsString(name);
    t->FieldByName("memo").SetAsString(std::string("memo of ") + name);
    t->Post();
    EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 3);
  }
  auto check = OpenTable("inomer");
  Go(*check, 3);
  EXPECT_EQ(check->FieldByName("name").AsString(), "c third");
  EXPECT_EQ(check->FieldByName("memo").AsString(), "memo of c third");
}

// A new record's number is settled under the file lock where it is stored.
TEST_F(SeveralWritersTest, NewNumberIsTheHighestStoredPlusOneWhenTheOfferedOneIsTaken) {
  struct Case {
    const char* label;
    std::function<void(const std::string&)> other;  // runs in the other process
    int typed;                                       // 0: the offered number stays in the field
    int stored;
  };
  auto append = [](int nomer) {
    return [nomer](const std::string& path) {
      OtherTable other(path);
      AppendRow(other.table, nomer, TRow{"other", ""});
    };
  };
  const Case cases[] = {
      {"nobody else stored one", [](const std::string&) {}, 0, 5},
      {"the other stored the offered number", append(5), 0, 6},
      {"the other stored a higher one", append(9), 0, 10},
      {"the other deleted the highest: the offered number is free", [](const std::string& path) {
         OtherTable other(path);
         other.Go(4);
         other.table.Delete();
       }, 0, 5},
      {"the user typed a number of their own", append(5), 12, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SetUp();
    auto t = OpenTable("inomer");
    const int offered = t->HighestValue("nomer") + 1;
    ASSERT_EQ(offered, 5);
    t->Insert();
    t->FieldByName("nomer").SetAsInteger(offered);
    t->SetNewNumber("nomer", offered);
    if (c.typed) t->FieldByName("nomer").SetAsInteger(c.typed);
    InOtherProcess([&] { c.other(path_); });
    t->Post();
    EXPECT_EQ(t->OfferedNumber(), 5);
    EXPECT_EQ(t->StoredNumber(), c.stored);
    EXPECT_EQ(t->FieldByName("nomer").AsInteger(), c.stored);
    EXPECT_EQ(ReadContents(path_, "inomer").duplicates, 0);
  }
}

// A failed insert gives its number back to the field: the next attempt
// settles it again.
TEST_F(SeveralWritersTest, FailedInsertKeepsTheOfferedNumber) {
  TFaultPlan plan{TFault::kIoErrorOnce, 1};
  TFaultScope faults(plan);
  auto t = OpenTable("iname");
  t->Insert();
  t->FieldByName("nomer").SetAsInteger(4);  // taken: the next number is given
  t->FieldByName("name").SetAsString("new");
  t->SetNewNumber("nomer", 4);
  plan.count = 0;  // the first write of the post fails
  EXPECT_THAT(ErrorOf([&] { t->Post(); }), HasSubstr("Input/output error"));
  EXPECT_EQ(t->State(), dsInsert);
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 4);
  t->Post();
  EXPECT_EQ(t->StoredNumber(), 5);
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 5);
}

// Two programs creating records at the same time, each offering the
// highest number + 1 as it sees it: no number is stored twice.
TEST_F(SeveralWritersTest, TwoProgramsCreatingAtOnceNeverStoreOneNumberTwice) {
  constexpr int kEach = 150;
  auto create = [](const char* who, TDadaTable& t) {
    for (int i = 0; i < kEach; ++i) {
      const int offered = t.HighestValue("nomer") + 1;
      t.Insert();
      t.FieldByName("nomer").SetAsInteger(offered);
      t.FieldByName("name").SetAsString(who);
      t.SetNewNumber("nomer", offered);
      ::usleep(200);  // the user's time in the dialog: the other stores meanwhile
      t.Post();
    }
  };
  // Both begin together: the child waits until the parent closes the pipe.
  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    int code = 0;
    try {
      ::close(start[1]);
      char c;
      while (::read(start[0], &c, 1) < 0 && errno == EINTR) {
      }
      OtherTable other(path_, "");
      other.session.SetLockRetryCount(0);
      other.session.SetLockWaitTime(0);
      create("child", other.table);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child: %s\n", e.what());
      code = 1;
    }
    ::_exit(code);
  }
  ::close(start[0]);
  Session().SetLockRetryCount(0);
  Session().SetLockWaitTime(0);
  auto t = OpenTable("");
  ::close(start[1]);
  create("parent", *t);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  Session().SetLockRetryCount(20);
  Session().SetLockWaitTime(100);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  TContents got = ReadContents(path_, "inomer");
  EXPECT_EQ(got.duplicates, 0);
  ASSERT_EQ(got.order.size(), static_cast<size_t>(4 + 2 * kEach));
  for (size_t i = 0; i < got.order.size(); ++i) EXPECT_EQ(got.order[i], static_cast<int>(i) + 1);
}

// The highest number counts every record of the table, whatever the view
// shows.
TEST_F(SeveralWritersTest, HighestValueCountsRecordsTheViewHides) {
  auto t = OpenTable("inomer");
  t->SetFilter("nomer < 3");
  t->SetFiltered(true);
  EXPECT_EQ(t->RecordCount(), 2);
  EXPECT_EQ(t->HighestValue("nomer"), 4);
  EXPECT_THAT(ErrorOf([&] { t->HighestValue("name"); }), HasSubstr("not an integer field"));
}

namespace {

// Sets the file's modification time an hour back: what a file last written
// long ago looks like.
void AgeFile(const std::string& path) {
  struct timespec times[2];
  ::clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= 3600;
  times[1] = times[0];
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::vector<int> ViewNumbers(TDadaTable& t) {
  std::vector<int> out;
  for (const TRowValues& row : t.ReadRows(0, t.RecordCount(), {t.FieldByName("nomer").FieldNo() - 1}))
    out.push_back(static_cast<int>(std::get<int64_t>(row.Values[0])));
  return out;
}

}  // namespace

// A view notices the other program's appends, rewrites and deletions, and
// keeps its current record; with nothing changed it reloads nothing.
TEST_F(SeveralWritersTest, RefreshIfChangedShowsEveryKindOfChangeAndKeepsTheCurrentRecord) {
  AgeFile(path_);
  auto t = OpenTable("iname");
  Go(*t, 3);
  const uint64_t loads = t->TableIO()->ChangeCount();
  EXPECT_FALSE(t->RefreshIfChanged());
  EXPECT_EQ(t->TableIO()->ChangeCount(), loads) << "nothing was loaded again";
  EXPECT_EQ(ViewNumbers(*t), (std::vector<int>{1, 2, 3, 4}));

  // A rewrite that moves record 1 behind record 3 in "iname", a deletion and
  // an append: the header shows only the append.
  InOtherProcess([&] {
    OtherTable other(path_);
    other.Go(1);
    other.table.Edit();
    other.table.FieldByName("name").SetAsString("name 3a");
    other.table.Post();
    other.Go(2);
    other.table.Delete();
    AppendRow(other.table, 5, TRow{"name 0", ""});
  });
  EXPECT_TRUE(t->RefreshIfChanged());
  EXPECT_EQ(ViewNumbers(*t), (std::vector<int>{5, 3, 1, 4}));
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 3) << "the current record stays current";

  // The current record deleted: the one now at its place is current.
  InOtherProcess([&] {
    OtherTable other(path_);
    other.Go(3);
    other.table.Delete();
  });
  EXPECT_TRUE(t->RefreshIfChanged());
  EXPECT_EQ(ViewNumbers(*t), (std::vector<int>{5, 1, 4}));
  EXPECT_EQ(t->FieldByName("nomer").AsInteger(), 1);

  // A rewrite of a field no index holds, the file's time set back after it:
  // its status time still tells.
  InOtherProcess([&] {
    OtherTable other(path_);
    other.Go(1);
    other.table.Edit();
    other.table.FieldByName("sum").SetAsFloat(7777.77);
    other.table.Post();
  });
  AgeFile(path_);
  EXPECT_TRUE(t->RefreshIfChanged());
  EXPECT_EQ(t->FieldByName("sum").AsFloat(), 7777.77);
}

// No refresh while an edit is pending: what is typed stays.
TEST_F(SeveralWritersTest, RefreshIfChangedWaitsForBrowseState) {
  auto t = OpenTable("inomer");
  Go(*t, 2);
  t->Edit();
  t->FieldByName("name").SetAsString("typed");
  InOtherProcess([&] { DoOther(path_, Other::kSum); });
  EXPECT_FALSE(t->RefreshIfChanged());
  EXPECT_EQ(t->FieldByName("name").AsString(), "typed");
  EXPECT_EQ(t->State(), dsEdit);
}

// Names in a narrow range, so that many records share one and every change
// lands among records the other program moves too.
std::string DrawnName(std::mt19937& rng) {
  char name[8];
  std::snprintf(name, sizeof name, "k%03u", static_cast<unsigned>(rng() % 300));
  return name;
}

// The order of index "iname" as `t` holds it (its own lists, when nothing
// tells it that the file changed) and as a program that opens the file now
// reads it: the same records in the same order, sorted by name.
void ExpectNameOrderAsStored(TDadaTable& t, const std::string& path) {
  std::vector<std::pair<std::string, int>> held, stored;
  t.SetIndexName("iname");
  for (t.First(); !t.Eof(); t.Next())
    held.emplace_back(t.FieldByName("name").AsString(), t.FieldByName("nomer").AsInteger());
  t.SetIndexName("inomer");
  OtherProgramTable fresh(path, "t", "iname");
  for (fresh.table.First(); !fresh.table.Eof(); fresh.table.Next())
    stored.emplace_back(fresh.table.FieldByName("name").AsString(), fresh.table.FieldByName("nomer").AsInteger());
  ASSERT_EQ(held, stored);
  for (size_t i = 1; i < stored.size(); ++i) ASSERT_LE(stored[i - 1].first, stored[i].first) << "at " << i;
}

// This program renames records, which moves them in "iname" (a change finds
// a record's place in its lists without a search, by where it last put it);
// before each of its turns another program renames the same records, and
// every second time also appends records among them and deletes some.  This
// program's first renames of a turn start from lists the other's changes
// have made stale, the rest from lists loaded anew (which its own changes
// keep without loading them again); after each turn the order it holds is
// the file's, sorted by name, and the file's chains are whole.
TEST_F(SeveralWritersTest, RenamesAmongAnotherProgramsMovesKeepTheIndexInOrder) {
  TTableHeader header = ReceiptsLikeHeader();
  header.FieldTab[7] = {"memo", ftString, 60, 0};
  path_ = dir_.File("moves.tdb", OneTableImage(header));
  std::mt19937 rng(5);
  constexpr int kRecords = 2500;  // a few chunks of a list
  std::vector<int> live;
  {
    auto t = OpenTable("inomer");
    TDadaTable::TChangeBatch batch(*t);
    for (int n = 1; n <= kRecords; ++n) {
      t->Insert();
      t->FieldByName("nomer").SetAsInteger(n);
      t->FieldByName("name").SetAsString(DrawnName(rng));
      t->Post();
      live.push_back(n);
    }
    batch.Finish();
  }
  int next_nomer = kRecords + 1;
  auto mine = OpenTable("inomer");
  std::vector<int> renamed;  // by this program in its last turn
  std::set<int> appended;    // by the other program in its last turn
  auto rename = [&](int nomer) {
    renamed.push_back(nomer);
    Go(*mine, nomer);
    mine->Edit();
    mine->FieldByName("name").SetAsString(DrawnName(rng));
    mine->Post();
  };
  for (int turn = 0; turn < 8; ++turn) {
    if (turn > 0) {
      // The other program's turn, drawn here so that this one knows what lives.
      std::vector<std::pair<int, std::string>> renames, appends;
      std::vector<int> deletes;
      for (int k = 0; k < 60; ++k)
        renames.emplace_back(k % 2 ? renamed[rng() % renamed.size()] : live[rng() % live.size()], DrawnName(rng));
      appended.clear();
      if (turn % 2) {
        for (int k = 0; k < 30; ++k) appends.emplace_back(next_nomer++, DrawnName(rng));
        for (int k = 0; k < 10; ++k) {
          const size_t at = rng() % live.size();
          deletes.push_back(live[at]);
          live.erase(live.begin() + static_cast<long>(at));
        }
        for (const auto& [nomer, name] : appends) {
          live.push_back(nomer);
          appended.insert(nomer);
        }
      }
      InOtherProcess([&] {
        OtherProgramTable other(path_, "t");
        TDadaTable& t = other.table;
        for (const auto& [nomer, name] : renames) {
          other.Go(nomer);
          t.Edit();
          t.FieldByName("name").SetAsString(name);
          t.Post();
        }
        for (const auto& [nomer, name] : appends) {
          t.Insert();
          t.FieldByName("nomer").SetAsInteger(nomer);
          t.FieldByName("name").SetAsString(name);
          t.Post();
        }
        for (int nomer : deletes) {
          other.Go(nomer);
          t.Delete();
        }
      });
      if (HasFatalFailure()) return;
    }
    renamed.clear();
    // From the lists as they were (the view does not hold the other's new
    // records yet), then from lists loaded anew.
    for (int k = 0; k < 40;) {
      const int nomer = live[rng() % live.size()];
      if (appended.count(nomer)) continue;
      rename(nomer);
      ++k;
    }
    mine->RefreshIfChanged();
    // Its own changes alone never make it load the table again.
    const uint64_t loads = mine->TableIO()->ExternalChangeCount();
    for (int k = 0; k < 80; ++k) rename(live[rng() % live.size()]);
    EXPECT_EQ(mine->TableIO()->ExternalChangeCount(), loads);
    ExpectNameOrderAsStored(*mine, path_);
    if (HasFatalFailure()) return;
  }
  auto [code, out] = RunTdb("check " + path_);
  EXPECT_EQ(code, 0) << out;
}

}  // namespace tdb
