// Several processes on one file: workers append, rewrite and delete their own
// records of one table through datasets at the same time, waiting for the
// file lock without limit.  Afterwards every record each stored is there
// once, in key order in every index, the deleted ones are gone and `tdb
// check` is clean.  Four workers keep to their own stretch of every index;
// eight (more than the cores) share one key range of every index, so that
// each one's changes land among the records the others keep moving.  And a
// process that holds the file open while another changes it writes nothing
// from its stale lists and sees the changes after reopening.  The long runs
// (4 and 8 processes x 2,500 operations) are scripts/stress.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "engine/database/session.h"
#include "engine/dataset/table_fixture.h"
#include "engine/shared_range_worker.h"
#include "engine/table_contents.h"
#include "engine/table_worker.h"

namespace tdb {
namespace {

using namespace testing;

// With `batched`, every second worker groups its operations in a change
// batch, and holds the lock for stretches of changes.
void RunWorkers(int workers, int operations, bool batched = false) {
  TempDir dir;
  const std::string path = dir.File("shared.tdb", OneTableImage(ReceiptsLikeHeader()));
  std::vector<TWorkerProcess> running;
  for (int w = 1; w <= workers; ++w)
    running.push_back(
        StartWorker(TWorkerPlan{path, w, 1, operations, static_cast<unsigned>(w * 7919), batched && w % 2 == 0}));
  TRows expected;
  std::vector<int> deleted;
  int completed = 0;
  for (int w = 0; w < workers; ++w) {
    int status = 0;
    TWorkerLog log;
    ApplyLog(FinishWorker(running[static_cast<size_t>(w)], status), log);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "worker " << w + 1 << ": " << log.error;
    EXPECT_EQ(log.completed, operations);
    completed += log.completed;
    expected.insert(log.rows.begin(), log.rows.end());
    deleted.insert(deleted.end(), log.deleted.begin(), log.deleted.end());
  }
  TContents got = ReadContents(path);
  EXPECT_EQ(got.duplicates, 0);
  EXPECT_EQ(got.rows, expected);
  for (int nomer : deleted) EXPECT_FALSE(got.rows.count(nomer)) << nomer;
  EXPECT_EQ(ReadContents(path, "inomer").rows, expected);
  EXPECT_EQ(ReadContents(path, "iname").order.size(), expected.size());
  auto [code, out] = RunTdb("check " + path);
  EXPECT_EQ(code, 0) << out;
  std::cout << "[ processes] " << workers << " processes, " << completed << " operations returned, "
            << expected.size() << " records stored, " << deleted.size() << " deleted, check "
            << (code == 0 ? "clean" : "FAILED") << "\n";
}

TEST(MultiProcessTest, FourProcessesLoseNothing) { RunWorkers(4, 150); }

// More operations than one stretch of a batch's lock, so that the batches
// hand the lock over and find the others' changes when they take it again.
TEST(MultiProcessTest, BatchesAmongSingleChangesLoseNothing) {
  RunWorkers(4, TDadaTableIO::kChangesPerLock * 2 + 40, true);
}

// scripts/stress runs this one.
TEST(MultiProcessTest, DISABLED_FourProcessesTwentyFiveHundredOperationsEach) { RunWorkers(4, 2500); }

// The worker waits until the pipe `start` is closed, so that all start together.
TWorkerProcess StartSharedWorker(const TSharedPlan& plan, const int start[2]) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    ::close(start[1]);
    char c;
    while (::read(start[0], &c, 1) < 0 && errno == EINTR) {
    }
    RunSharedWorker(plan, fds[1]);
  }
  ::close(fds[1]);
  return {pid, fds[0]};
}

// Whether `order` (numbers in an index's order) follows that index: "inomer"
// ascending, "iname" by name.
void ExpectInKeyOrder(const TContents& c, const std::string& index) {
  for (size_t i = 1; i < c.order.size(); ++i) {
    int a = c.order[i - 1], b = c.order[i];
    if (index == "inomer") {
      ASSERT_LT(a, b) << "at position " << i << " of " << index;
    } else {
      ASSERT_LE(c.rows.at(a).name, c.rows.at(b).name) << "at position " << i << " of " << index;
    }
  }
}

// Workers whose records interleave in every index, so that each one's
// changes land among the others' records: more processes than cores, so
// they are preempted in mid-change.
void RunSharedRange(int workers, int operations, unsigned seed) {
  TempDir dir;
  const std::string path = dir.File("shared.tdb", OneTableImage(ReceiptsLikeHeader()));
  std::vector<TWorkerProcess> running;
  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  for (int w = 1; w <= workers; ++w)
    running.push_back(StartSharedWorker(
        TSharedPlan{path, w, workers, operations, seed * 31 + static_cast<unsigned>(w), w % 2 ? "inomer" : "iname"},
        start));
  ::close(start[0]);
  ::close(start[1]);  // go
  TRows expected;
  int completed = 0, deleted = 0, renumbered = 0;
  for (int w = 1; w <= workers; ++w) {
    int status = 0;
    TSharedLog log;
    ApplySharedLog(FinishWorker(running[static_cast<size_t>(w) - 1], status), w, log);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "worker " << w << ": " << log.error;
    EXPECT_EQ(log.completed, operations) << "worker " << w;
    completed += log.completed;
    deleted += log.deleted;
    renumbered += log.renumbered;
    expected.insert(log.rows.begin(), log.rows.end());
  }
  TContents got = ReadContents(path);
  EXPECT_EQ(got.duplicates, 0);
  EXPECT_EQ(got.rows, expected);
  for (const std::string index : {"inomer", "iname"}) {
    TContents in_order = ReadContents(path, index);
    EXPECT_EQ(in_order.duplicates, 0) << index;
    EXPECT_EQ(in_order.rows, expected) << index;
    if (in_order.rows == expected) ExpectInKeyOrder(in_order, index);
  }
  auto [code, out] = RunTdb("check " + path);
  EXPECT_EQ(code, 0) << out;
  std::cout << "[ shared   ] " << workers << " processes, " << completed << " operations returned ("
            << renumbered << " renumberings, " << deleted << " deletions), " << expected.size()
            << " records stored, check " << (code == 0 ? "clean" : "FAILED") << "\n";
}

TEST(MultiProcessTest, EightProcessesInOneKeyRangeLoseNothing) { RunSharedRange(8, 400, 1); }

// scripts/stress runs this one; every repetition draws other operations.
TEST(MultiProcessTest, DISABLED_EightProcessesInOneKeyRangeTwentyFiveHundredOperationsEach) {
  static unsigned repetition = 0;
  RunSharedRange(8, 2500, static_cast<unsigned>(::getpid()) * 1000 + ++repetition);
}

// Opens table "t" of the file at `path` in number order.
void OpenByNumber(TDadaTable& t, const std::string& path) {
  t.SetDatabaseName(path);
  t.SetTableName("t");
  t.SetIndexName("inomer");
  t.Open();
}

// A second name for the file at `path`, for TryOneChange's process.
std::string SecondName(const std::string& path) {
  const std::string other_name = path + "-link.tdb";
  std::filesystem::create_symlink(path, other_name);
  return other_name;
}

// A process that tries one change without waiting: 0 when it was stored, 7
// when the file was locked, 1 on any other failure.  `path` must name the
// file otherwise than the parent's open database does, or the child would
// use that database's descriptor (and its lock) copied by the fork.
int TryOneChange(const std::string& path, const std::function<void(TDadaTable&)>& change) {
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    try {
      Session().SetLockRetryCount(1);
      Session().SetLockWaitTime(0);
      TDadaTable t;
      OpenByNumber(t, path);
      change(t);
      ::_exit(0);
    } catch (const EDatabaseError& e) {
      ::_exit(std::string(e.what()) == "Wait for unlock time out" ? 7 : 1);
    } catch (...) {
      ::_exit(1);
    }
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int TryOneAppend(const std::string& path, int nomer) {
  return TryOneChange(path, [nomer](TDadaTable& t) { AppendRow(t, nomer, TRow{"other", "x"}); });
}

TEST(MultiProcessTest, BatchHoldsTheLockBetweenItsChangesUntilItEnds) {
  TempDir dir;
  const std::string path = dir.File("shared.tdb", OneTableImage(ReceiptsLikeHeader()));
  const std::string other_name = SecondName(path);
  TDadaTable t;
  OpenByNumber(t, path);
  {
    TDadaTable::TChangeBatch batch(t);
    AppendRow(t, 1, TRow{"a", "1"});
    // Between two changes of the batch another process cannot write.
    EXPECT_EQ(TryOneAppend(other_name, 100), 7);
    AppendRow(t, 2, TRow{"b", "2"});
    t.First();
    t.Edit();
    t.FieldByName("name").SetAsString("a2");
    t.Post();
  }
  // After it, it can; and the batch's changes are all there.
  EXPECT_EQ(TryOneAppend(other_name, 101), 0);
  TRows expected{{1, TRow{"a2", "1"}}, {2, TRow{"b", "2"}}, {101, TRow{"other", "x"}}};
  EXPECT_EQ(ReadContents(path).rows, expected);
  EXPECT_EQ(ReadContents(path, "iname").rows, expected);
  // A closed table has no batch.
  t.Close();
  EXPECT_THROW(TDadaTable::TChangeBatch{t}, EDatabaseError);
}

// A purge's look at a record and the deletion it decides are one step for
// other processes: between the look and the deletion no other process can
// change the record (here: take its mark off), at the batch's first change
// and after a stretch has ended alike.  A record another process did change
// must survive the purge.
TEST(MultiProcessTest, ABatchLooksAtARecordAndChangesItUnderOneHoldOfTheLock) {
  TempDir dir;
  const std::string path = dir.File("shared.tdb", OneTableImage(ReceiptsLikeHeader()));
  const std::string other_name = SecondName(path);
  TDadaTable t;
  OpenByNumber(t, path);
  for (int n = 1; n <= 6; ++n) AppendRow(t, n, TRow{n % 3 ? "marked" : "kept", "m"});
  std::set<int> unmarked;  // by the other process, which says so only when its change was stored
  {
    TDadaTable::TChangeBatch batch(t, 2);  // stretches of two changes
    t.First();
    while (!t.Eof()) {
      const int nomer = t.FieldByName("nomer").AsInteger();
      t.Edit();  // the record as stored now
      const bool marked = t.FieldByName("name").AsString() == "marked";
      t.Cancel();
      const int tried = TryOneChange(other_name, [nomer](TDadaTable& other) {
        if (!other.Locate("nomer", {TVariant(int64_t{nomer})}, 0)) throw EDatabaseError("no record");
        other.Edit();
        other.FieldByName("name").SetAsString("kept");
        other.Post();
      });
      EXPECT_EQ(tried, 7) << "record " << nomer;
      if (tried == 0) unmarked.insert(nomer);
      if (marked) t.Delete();
      else t.Next();
    }
    batch.Finish();
  }
  const TContents got = ReadContents(path);
  for (int nomer : unmarked) EXPECT_EQ(got.rows.count(nomer), 1u) << "record " << nomer << " was unmarked";
  EXPECT_EQ(got.rows, (TRows{{3, TRow{"kept", "m"}}, {6, TRow{"kept", "m"}}}));
  EXPECT_EQ(TryOneAppend(other_name, 100), 0);
}

TEST(MultiProcessTest, StaleHolderWritesNothingFromOldListsAndSeesChangesAfterReopening) {
  TempDir dir;
  const std::string path = dir.File("shared.tdb", OneTableImage(ReceiptsLikeHeader()));
  TDadaTable holder;
  holder.SetDatabaseName(path);
  holder.SetTableName("t");
  holder.SetIndexName("iname");
  holder.Open();
  for (int n = 1; n <= 5; ++n) AppendRow(holder, n, TRow{"h" + std::to_string(n), "held"});

  // Another process appends, rewrites and deletes while the holder keeps its lists.
  int status = 0;
  TWorkerProcess other = StartWorker(TWorkerPlan{path, 2, 1, 60, 99});
  TWorkerLog log;
  ApplyLog(FinishWorker(other, status), log);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log.error;

  // The holder changes the file from its stale view: an append whose place
  // in its index lies beyond its view's end, a rewrite
  // that moves its record in the index, a deletion.
  AppendRow(holder, 6, TRow{"zy-appended", "new"});
  holder.First();
  while (!holder.Eof() && holder.FieldByName("nomer").AsInteger() != 3) holder.Next();
  ASSERT_FALSE(holder.Eof());
  holder.Edit();
  holder.FieldByName("name").SetAsString("zz-last");
  holder.Post();
  holder.First();
  while (!holder.Eof() && holder.FieldByName("nomer").AsInteger() != 4) holder.Next();
  ASSERT_FALSE(holder.Eof());
  holder.Delete();

  TRows expected = log.rows;
  expected[1] = TRow{"h1", "held"};
  expected[2] = TRow{"h2", "held"};
  expected[3] = TRow{"zz-last", "held"};
  expected[5] = TRow{"h5", "held"};
  expected[6] = TRow{"zy-appended", "new"};
  auto [code, out] = RunTdb("check " + path);
  EXPECT_EQ(code, 0) << out;
  EXPECT_EQ(ReadContents(path).rows, expected);
  EXPECT_EQ(ReadContents(path, "iname").rows, expected);

  // Reopened, the holder sees everything, in order.
  holder.Close();
  holder.Open();
  TRows seen;
  std::string previous;
  for (holder.First(); !holder.Eof(); holder.Next()) {
    std::string name = holder.FieldByName("name").AsString();
    seen[holder.FieldByName("nomer").AsInteger()] = TRow{name, holder.FieldByName("memo").AsString()};
    EXPECT_LE(previous, name);
    previous = name;
  }
  EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace tdb
