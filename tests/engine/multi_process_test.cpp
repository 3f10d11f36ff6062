// Several processes on one file: four workers append, rewrite and delete
// their own records of one table through datasets at the same time, waiting
// for the file lock without limit.  Afterwards every record each stored is
// there once, the deleted ones are gone and `tdb check` is clean.  And a
// process that holds the file open while another changes it writes nothing
// from its stale lists and sees the changes after reopening.  The long run
// (4 x 2,500 operations) is scripts/stress.
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "engine/database/session.h"
#include "engine/dataset/table_fixture.h"
#include "engine/table_contents.h"
#include "engine/table_worker.h"

namespace tdb {
namespace {

using namespace testing;

void RunWorkers(int workers, int operations) {
  TempDir dir;
  const std::string path = dir.File("shared.tdb", OneTableImage(ReceiptsLikeHeader()));
  std::vector<TWorkerProcess> running;
  for (int w = 1; w <= workers; ++w)
    running.push_back(StartWorker(TWorkerPlan{path, w, 1, operations, static_cast<unsigned>(w * 7919)}));
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

// scripts/stress runs this one.
TEST(MultiProcessTest, DISABLED_FourProcessesTwentyFiveHundredOperationsEach) { RunWorkers(4, 2500); }

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
