// Another clerk's turn at the file lock while a long run holds it in
// stretches: a change batch (a purge, `tdb insert`) or a read run (a filter's
// pass).  The run gives the lock up between stretches only for a moment; a
// clerk who waits for it with the usual few attempts (here 5 x 20 ms, far
// less than the run lasts) must still get it, every time, and what both
// stored must be in the file, with the indexes in order.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "engine/base/database_error.h"
#include "engine/database/session.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/table_fixture.h"
#include "engine/storage/storage_fixture.h"
#include "engine/table_contents.h"

namespace tdb {
namespace {

using namespace testing;

constexpr int kRecords = 600;
constexpr int kClerkRetries = 5;
constexpr int kClerkWaitMs = 20;
constexpr int kClerkChanges = 12;
constexpr int kExitTimedOut = 7;

std::string NameOf(int nomer) {
  char text[16];
  std::snprintf(text, sizeof text, "n%04d", nomer);
  return text;
}
// The records the clerk renames: spread over the table, none of those the
// batch deletes.
int ClerkTarget(int k) {
  const int nomer = 3 + k * (kRecords / kClerkChanges);
  return nomer % 7 == 0 ? nomer + 1 : nomer;
}
bool DeletedByBatch(int nomer) { return nomer % 7 == 0; }

// The other clerk: a forked process that, once `go` is closed, opens the table
// through a session of its own and makes kClerkChanges pairs of changes a
// clerk's pace apart, each waiting for the lock at most kClerkRetries x
// kClerkWaitMs: it renames a record the run also works on (moving it in the
// name index) and adds a record whose name sorts among the others.  A rename
// refused because the run had just rewritten the record is made again, as
// the clerk would.  With `batched`, its changes form a change batch of their
// own (stretches of 4 changes), so that two batches take turns.  Ends with 0
// when everything was stored, kExitTimedOut when the lock was not obtained,
// 1 on any other failure.
pid_t StartClerk(const std::string& path, const int go[2], bool batched = false) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid != 0) {
    ::close(go[0]);
    return pid;
  }
  int code = 0;
  try {
    ::close(go[1]);
    char c;
    while (::read(go[0], &c, 1) < 0 && errno == EINTR) {
    }
    TDadaSession session;
    session.SetSessionName("other clerk");
    session.SetLockRetryCount(kClerkRetries);
    session.SetLockWaitTime(kClerkWaitMs);
    TDadaTable t;
    t.SetSessionName("other clerk");
    t.SetDatabaseName(path);
    t.SetTableName("t");
    t.SetIndexName("inomer");
    t.Open();
    std::optional<TDadaTable::TChangeBatch> batch;
    if (batched) batch.emplace(t, 4);
    for (int k = 0; k < kClerkChanges; ++k) {
      const int nomer = ClerkTarget(k);
      for (int attempt = 1;; ++attempt) {
        try {
          t.Refresh();
          if (!t.Locate("nomer", {TVariant(int64_t{nomer})}, 0)) throw EDatabaseError("no record " + NameOf(nomer));
          t.Edit();
          t.FieldByName("name").SetAsString(NameOf(nomer) + "c");
          t.Post();
          break;
        } catch (const EDatabaseError& e) {
          if (t.State() != dsBrowse) t.Cancel();
          if (e.Kind() != ekRecordChanged || attempt == 20) throw;
        }
      }
      AppendRow(t, 1000 + k, TRow{NameOf(nomer + 1) + "a", "clerk"});
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    if (batch) batch->Finish();
  } catch (const EDatabaseError& e) {
    std::fprintf(stderr, "other clerk: %s\n", e.what());
    code = e.Kind() == ekLockTimeout ? kExitTimedOut : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "other clerk: %s\n", e.what());
    code = 1;
  }
  std::fflush(nullptr);
  ::_exit(code);
}

// Whether the process has ended; its exit code in `code` (1 when it did not
// end normally).
bool Ended(pid_t pid, int& code) {
  int status = 0;
  pid_t got;
  while ((got = ::waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
  }
  if (got != pid) return false;
  code = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  return true;
}

// The records that differ, a few of them ("" when none).
std::string Differences(const TRows& got, const TRows& expected) {
  auto text = [](const TRows& rows, int nomer) {
    auto it = rows.find(nomer);
    return it == rows.end() ? std::string("none") : it->second.name + " / " + it->second.memo;
  };
  std::set<int> numbers;
  for (const auto& [nomer, row] : got) numbers.insert(nomer);
  for (const auto& [nomer, row] : expected) numbers.insert(nomer);
  std::string out;
  int shown = 0;
  for (int nomer : numbers) {
    if (text(got, nomer) == text(expected, nomer) || ++shown > 8) continue;
    out += "record " + std::to_string(nomer) + ": " + text(got, nomer) + ", expected " + text(expected, nomer) + "\n";
  }
  return out;
}

// A file with records 1..kRecords named in number order; a second name for
// it, so that the clerk's open is not taken for the run's.
struct TSharedFile {
  TSharedFile() {
    path = dir.File("shared.tdb", OneTableImage(ReceiptsLikeHeader()));
    TDadaTable t;
    t.SetDatabaseName(path);
    t.SetTableName("t");
    t.SetIndexName("inomer");
    t.Open();
    TDadaTable::TChangeBatch batch(t);
    for (int n = 1; n <= kRecords; ++n) AppendRow(t, n, TRow{NameOf(n), "start"});
    batch.Finish();
  }
  // What the file must hold after the clerk's changes, the run's aside.
  TRows ExpectedWithClerk(const std::function<TRow(int nomer)>& run_row) const {
    TRows rows;
    for (int n = 1; n <= kRecords; ++n)
      if (TRow row = run_row(n); !row.name.empty()) rows[n] = row;
    for (int k = 0; k < kClerkChanges; ++k) {
      rows[ClerkTarget(k)].name = NameOf(ClerkTarget(k)) + "c";
      rows[1000 + k] = TRow{NameOf(ClerkTarget(k) + 1) + "a", "clerk"};
    }
    return rows;
  }
  void ExpectHolds(const TRows& expected) const {
    for (const std::string index : {"inomer", "iname"}) {
      const TContents c = ReadContents(path, index);
      EXPECT_EQ(c.duplicates, 0) << index;
      EXPECT_EQ(Differences(c.rows, expected), "") << index;
      for (size_t i = 1; i < c.order.size() && c.rows == expected; ++i) {
        const int a = c.order[i - 1], b = c.order[i];
        if (index == "inomer") EXPECT_LT(a, b) << "at " << i;
        else EXPECT_LE(c.rows.at(a).name, c.rows.at(b).name) << "at " << i;
      }
    }
    auto [code, out] = RunTdb("check " + path);
    EXPECT_EQ(code, 0) << out;
  }
  TempDir dir;
  std::string path;
};

// A purge-like batch in stretches of 32 changes: it deletes every seventh
// record and rewrites the memo of all the others, pass after pass, until the
// clerk is done (at least a whole pass; the pace of the clerk makes the
// batch last many times the clerk's patience).
// With the clerk's changes in a batch too, the two batches take turns.
void RunBatchBesideAClerk(bool clerk_batched) {
  TSharedFile file;
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  const pid_t clerk = StartClerk(file.path, go, clerk_batched);
  int clerk_code = -1;
  int passes = 0;
  {
    TDadaTable t;
    t.SetDatabaseName(file.path);
    t.SetTableName("t");
    t.SetIndexName("inomer");
    t.Open();
    TDadaTable::TChangeBatch batch(t, 32);
    ::close(go[1]);  // the batch holds the lock: the clerk starts waiting for it
    bool ended = false;
    while (!ended && passes < 2000) {
      ++passes;
      const std::string memo = "pass " + std::to_string(passes);
      for (int nomer = 1; nomer <= kRecords; ++nomer) {
        if (passes > 1 && DeletedByBatch(nomer)) continue;
        ASSERT_TRUE(t.Locate("nomer", {TVariant(int64_t{nomer})}, 0)) << nomer;
        if (DeletedByBatch(nomer)) {
          t.Delete();
          continue;
        }
        t.Edit();
        t.FieldByName("memo").SetAsString(memo);
        t.Post();
      }
      ended = Ended(clerk, clerk_code);
    }
    batch.Finish();
    if (!ended) {
      ::kill(clerk, SIGKILL);
      Ended(clerk, clerk_code);
      FAIL() << "the clerk did not end";
    }
  }
  ASSERT_EQ(clerk_code, 0) << (clerk_code == kExitTimedOut ? "the clerk's wait for the lock timed out" : "");
  std::printf("[ batch    ] %d passes of %d records while the clerk made %d changes\n", passes, kRecords,
              kClerkChanges * 2);
  const std::string last_memo = "pass " + std::to_string(passes);
  file.ExpectHolds(file.ExpectedWithClerk([&](int nomer) {
    return DeletedByBatch(nomer) ? TRow{} : TRow{NameOf(nomer), last_memo};
  }));
}

TEST(LockTurnTest, AClerkGetsTheLockBetweenTheStretchesOfAChangeBatch) { RunBatchBesideAClerk(false); }

TEST(LockTurnTest, TwoChangeBatchesTakeTurns) { RunBatchBesideAClerk(true); }

// A read run (a filter's pass over a view) of the same kind: it reads the
// table record after record, over and over, until the clerk is done.
TEST(LockTurnTest, AClerkGetsTheLockBetweenTheStretchesOfAReadRun) {
  TSharedFile file;
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  const pid_t clerk = StartClerk(file.path, go);
  int clerk_code = -1;
  int reads = 0;
  {
    TRadiVOFileIO io;
    io.Open(file.path, mtDisk, false, false);
    TDadaTableIO table(io, "t");
    table.OpenTable();
    TRecordBuffer record(table);
    const TRecordList& list = table.IndexLists(0);
    bool ended = false;
    {
      TDadaTableIO::TReadRun run(table);
      // The run holds the lock from its first read on.
      table.ReadRecord(record.Buffers(), list, 0);
      ::close(go[1]);
      while (!ended && reads < 100'000'000) {
        for (int32_t pos = 0; pos < static_cast<int32_t>(list.size()); ++pos, ++reads) table.ReadRecord(record.Buffers(), list, pos);
        ended = Ended(clerk, clerk_code);
      }
    }
    table.CloseTable();
    io.Close();
    if (!ended) {
      ::kill(clerk, SIGKILL);
      Ended(clerk, clerk_code);
      FAIL() << "the clerk did not end";
    }
  }
  ASSERT_EQ(clerk_code, 0) << (clerk_code == kExitTimedOut ? "the clerk's wait for the lock timed out" : "");
  std::printf("[ read run ] %d reads while the clerk made %d changes\n", reads, kClerkChanges * 2);
  file.ExpectHolds(file.ExpectedWithClerk([](int nomer) { return TRow{NameOf(nomer), "start"}; }));
}

}  // namespace
}  // namespace tdb
