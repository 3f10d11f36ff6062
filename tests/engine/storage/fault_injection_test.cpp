// Faults under the file object: for every write and flush of an append, a
// rewrite and a deletion, that write or flush fails as an I/O error or a full
// disk makes it fail.  The operation raises a database error, the program
// goes on (the same dataset appends afterwards), and the file opens with
// every earlier record intact and passes `tdb check`.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "engine/base/database_error.h"
#include "engine/database/database.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/table_fixture.h"
#include "engine/fault_stream.h"
#include "engine/file/radivo_stream.h"
#include "engine/other_process.h"
#include "engine/table_contents.h"

namespace tdb {
namespace {

using testing::AppendRow;
using testing::ReadContents;
using testing::RunTdb;
using testing::TContents;
using testing::TFault;
using testing::TFaultPlan;
using testing::TFaultScope;
using testing::TRow;
using testing::TRows;

struct TOperation {
  const char* name;
  int base_records;                           // records in the file before it
  int target;                                 // nomer of the record it changes, or 0
  std::function<void(TDadaTable&)> run;       // on a dataset in the order of "iname"
  std::function<void(TRows&)> expect;         // what it does to the rows when it succeeds
  bool in_place_blob = false;                 // overwrites a blob area in place
};

TRow BaseRow(int nomer) {
  return TRow{std::string(1, static_cast<char>('b' + 2 * (nomer % 12))) + std::to_string(nomer),
              std::string(static_cast<size_t>(20 + nomer % 50), static_cast<char>('A' + nomer % 26))};
}

bool Seek(TDadaTable& t, int nomer) {
  for (t.First(); !t.Eof(); t.Next())
    if (t.FieldByName("nomer").AsInteger() == nomer) return true;
  return false;
}

void Rewrite(TDadaTable& t, int nomer, const TRow& row) {
  ASSERT_TRUE(Seek(t, nomer));
  t.Edit();
  t.FieldByName("name").SetAsString(row.name);
  t.FieldByName("memo").SetAsString(row.memo);
  t.Post();
}

const TRow kNew{"c-new", std::string(200, 'n')};
const TRow kHead{"a-head", "short"};
const TRow kMoved{"z-moved", std::string(500, 'm')};
const TRow kInPlace{"a-in-place", "fits"};
const TRow kFollowUp{"q-follow-up", "after the fault"};
constexpr int kFollowUpNomer = 5000;

std::vector<TOperation> Operations() {
  return {
      {"append in the middle of an index", 3, 0, [](TDadaTable& t) { AppendRow(t, 2100, kNew); },
       [](TRows& r) { r[2100] = kNew; }},
      {"append at the head of an index", 3, 0, [](TDadaTable& t) { AppendRow(t, 2101, kHead); },
       [](TRows& r) { r[2101] = kHead; }},
      {"append that starts new table blocks", 1024, 0, [](TDadaTable& t) { AppendRow(t, 2102, kNew); },
       [](TRows& r) { r[2102] = kNew; }},
      {"rewrite with a moving blob", 3, 2, [](TDadaTable& t) { Rewrite(t, 2, kMoved); },
       [](TRows& r) { r[2] = kMoved; }},
      {"rewrite of a blob in place", 3, 2, [](TDadaTable& t) { Rewrite(t, 2, kInPlace); },
       [](TRows& r) { r[2] = kInPlace; }, true},
      {"deletion", 3, 2,
       [](TDadaTable& t) {
         ASSERT_TRUE(Seek(t, 2));
         t.Delete();
       },
       [](TRows& r) { r.erase(2); }},
  };
}

class FaultInjectionTest : public ::testing::Test {
 protected:
  std::vector<uint8_t> BaseImage(int records) {
    std::string path = dir_.File("base.tdb", testing::OneTableImage(ReceiptsLikeHeader()));
    {
      TDadaTable t;
      t.SetDatabaseName(path);
      t.SetTableName("t");
      t.Open();
      for (int n = 1; n <= records; ++n) AppendRow(t, n, BaseRow(n));
    }
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }

  // Runs `op` on a fresh copy of `image` under `plan`; then, with the fault
  // gone, appends through the same dataset.  Returns whether the operation
  // raised.
  bool RunOnce(const std::vector<uint8_t>& image, const TOperation& op, TFaultPlan& plan) {
    bool raised = false;
    TFaultScope scope(plan);
    TDadaTable t;
    t.SetDatabaseName(path_);
    t.SetTableName("t");
    t.SetIndexName("iname");
    t.Open();
    t.Database()->FlushAfterChange = true;
    try {
      op.run(t);
    } catch (const EDatabaseError& e) {
      raised = true;
      if (plan.failures == 0) ADD_FAILURE() << e.what();
      if (t.State() != dsBrowse) t.Cancel();
    }
    op_count_ = plan.count;
    plan.fail_at = 0;  // the disk has room again
    AppendRow(t, kFollowUpNomer, kFollowUp);
    (void)image;
    return raised;
  }

  testing::TempDir dir_;
  std::string path_;
  int op_count_ = 0;  // writes and flushes of the last operation run
};

TEST_F(FaultInjectionTest, EveryWriteAndFlushOfEveryOperationFails) {
  int runs = 0, raised_runs = 0;
  for (const TOperation& op : Operations()) {
    SCOPED_TRACE(op.name);
    const std::vector<uint8_t> image = BaseImage(op.base_records);
    TRows base;
    for (int n = 1; n <= op.base_records; ++n) base[n] = BaseRow(n);
    TRows changed = base;
    op.expect(changed);

    // How many writes and flushes the operation makes.
    TFaultPlan count;
    path_ = dir_.File("t.tdb", image);
    EXPECT_FALSE(RunOnce(image, op, count));
    const int total = op_count_;
    ASSERT_GT(total, 1);

    for (TFault kind : {TFault::kIoErrorOnce, TFault::kDiskFull, TFault::kIoErrorStays}) {
      for (int n = 1; n <= total; ++n) {
        SCOPED_TRACE("kind " + std::to_string(static_cast<int>(kind)) + ", failing write or flush " +
                     std::to_string(n) + " of " + std::to_string(total));
        path_ = dir_.File("t.tdb", image);
        TFaultPlan plan{kind, n};
        bool raised = RunOnce(image, op, plan);
        ++runs;
        EXPECT_EQ(raised, plan.failures > 0);
        // A full disk refuses only what grows the file; an I/O error anything.
        if (kind != TFault::kDiskFull) {
          EXPECT_TRUE(raised);
        }
        if (raised) ++raised_runs;

        TContents after = ReadContents(path_);
        EXPECT_EQ(after.duplicates, 0);
        TRows expected = raised ? base : changed;
        expected[kFollowUpNomer] = kFollowUp;
        if (kind == TFault::kIoErrorStays && raised && op.target) {
          // Nothing could be put back: the record under change has its
          // fields as they were or as they were to become; every other record
          // is exact.  Only a blob rewritten in place, whose area got the new
          // bytes while its descriptor kept the old size, may read as neither.
          ASSERT_TRUE(after.rows.count(op.target) || !changed.count(op.target));
          if (after.rows.count(op.target)) {
            const TRow& got = after.rows[op.target];
            const TRow& old = base[op.target];
            bool as_was = got == old, as_meant = changed.count(op.target) && got == changed[op.target];
            bool torn_in_place = op.in_place_blob && got.name == old.name;
            EXPECT_TRUE(as_was || as_meant || torn_in_place) << got.name;
            expected[op.target] = got;
          } else {
            expected.erase(op.target);
          }
        }
        if (kind == TFault::kIoErrorStays && raised && !op.target) {
          // An append that could not be put back may have stored its record.
          for (const auto& [nomer, row] : after.rows)
            if (!base.count(nomer) && nomer != kFollowUpNomer) {
              EXPECT_EQ(row, changed[nomer]);
              expected[nomer] = row;
            }
        }
        EXPECT_EQ(after.rows, expected);
        if (kind != TFault::kIoErrorStays) {
          // Put back whole: the index orders agree and the file is sound.
          EXPECT_EQ(ReadContents(path_, "iname").rows, expected);
          auto [code, out] = RunTdb("check " + path_);
          EXPECT_EQ(code, 0) << out;
        }
      }
    }
  }
  std::cout << "[ faults   ] " << runs << " runs, " << raised_runs << " raised a database error\n";
}


// Counts the flushes of every stream opened while it lives; the flush
// numbered `fail_at` (from 1; 0: none) fails as an I/O error does.
class TFlushCounter {
 public:
  int flushes = 0;
  int fail_at = 0;
  TFlushCounter() {
    SetStreamDecorator([this](TRadiVOStream& medium) { return std::make_unique<TStream>(medium, *this); });
  }
  ~TFlushCounter() { SetStreamDecorator({}); }
  TFlushCounter(const TFlushCounter&) = delete;
  TFlushCounter& operator=(const TFlushCounter&) = delete;

 private:
  class TStream : public TRadiVOStream {
   public:
    TStream(TRadiVOStream& medium, TFlushCounter& counter) : medium_(medium), counter_(counter) {}
    int64_t Size() const override { return medium_.Size(); }
    size_t ReadAt(int64_t pos, uint8_t* dst, size_t n) const override { return medium_.ReadAt(pos, dst, n); }
    bool Writable() const override { return medium_.Writable(); }
    void WriteAt(int64_t pos, const uint8_t* src, size_t n) override { medium_.WriteAt(pos, src, n); }
    void Flush() override {
      if (++counter_.flushes == counter_.fail_at) DatabaseError("Cannot flush file: Input/output error");
      medium_.Flush();
    }

   private:
    TRadiVOStream& medium_;
    TFlushCounter& counter_;
  };
};

// A purge's batch with the flush switch on (deletions, then rewrites that
// move every record in an index): each stretch of changes is flushed once,
// not each change, and a failure of the last flush is reported by Finish,
// which gives up the lock all the same.
TEST(BatchFlushTest, AStretchIsFlushedOnceAndAFailedLastFlushIsReported) {
  testing::TempDir dir;
  const std::string path = dir.File("batch.tdb", testing::OneTableImage(ReceiptsLikeHeader()));
  TFlushCounter counter;
  TDadaTable t;
  t.SetDatabaseName(path);
  t.SetTableName("t");
  t.SetIndexName("iname");
  t.Open();
  for (int n = 1; n <= 620; ++n) AppendRow(t, n, BaseRow(n));
  t.Database()->FlushAfterChange = true;
  counter.flushes = 0;
  {
    // 600 changes: stretches of 256, 256 and 88.
    TDadaTable::TChangeBatch batch(t);
    t.First();
    for (int k = 0; k < 300; ++k) t.Delete();
    int renumbered = 0;
    for (t.First(); !t.Eof() && renumbered < 300; t.Next(), ++renumbered) {
      t.Edit();
      t.FieldByName("nomer").SetAsInteger(10'000 + t.FieldByName("nomer").AsInteger());
      t.Post();
    }
    batch.Finish();
  }
  EXPECT_EQ(counter.flushes, 3);
  EXPECT_EQ(ReadContents(path).rows.size(), 320u);

  // The last flush fails: Finish says so; the deletions are in the file, and
  // another program can lock it.
  counter.fail_at = counter.flushes + 1;
  {
    TDadaTable::TChangeBatch batch(t);
    t.First();
    for (int k = 0; k < 10; ++k) t.Delete();
    try {
      batch.Finish();
      ADD_FAILURE() << "the failed flush was not reported";
    } catch (const EDatabaseError& e) {
      EXPECT_THAT(e.what(), ::testing::HasSubstr("flush"));
    }
  }
  testing::OtherProgramTable other(path, "t", "inomer");
  other.session.SetLockRetryCount(1);
  other.session.SetLockWaitTime(0);
  EXPECT_EQ(other.table.RecordCount(), 310);
  EXPECT_NO_THROW(AppendRow(other.table, 9'000, kFollowUp));
}

// A batch's appends reach the file together when their stretch is written
// out (here at Finish).  Should any write or flush of that fail, Finish says
// so, the file reads as before the stretch and passes `tdb check`, and the
// same dataset goes on appending.  The stretch appends at the head and in
// the middle of an index and starts new table blocks.
TEST(BatchFlushTest, AFailedWriteOutOfABatchsAppendsLeavesTheFileAsBefore) {
  testing::TempDir dir;
  const std::string base = dir.File("base.tdb", testing::OneTableImage(ReceiptsLikeHeader()));
  TRows before;
  {
    TDadaTable t;
    t.SetDatabaseName(base);
    t.SetTableName("t");
    t.Open();
    for (int n = 1; n <= 1020; ++n) {
      AppendRow(t, n, BaseRow(n));
      before[n] = BaseRow(n);
    }
  }
  std::ifstream in(base, std::ios::binary);
  const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), {});
  for (TFault kind : {TFault::kIoErrorOnce, TFault::kDiskFull}) {
    int failed_runs = 0;
    for (int fail_at = 1; fail_at < 100; ++fail_at) {
      SCOPED_TRACE("fault " + std::to_string(static_cast<int>(kind)) + " at " + std::to_string(fail_at));
      const std::string path = dir.File("run.tdb", image);
      TFaultPlan plan{kind, fail_at};
      TFaultScope scope(plan);
      TDadaTable t;
      t.SetDatabaseName(path);
      t.SetTableName("t");
      t.SetIndexName("iname");
      t.Open();
      t.Database()->FlushAfterChange = true;
      bool raised = false;
      try {
        TDadaTable::TChangeBatch batch(t);
        for (int n = 2001; n <= 2010; ++n) AppendRow(t, n, n % 2 ? kHead : kNew);
        batch.Finish();
      } catch (const EDatabaseError&) {
        raised = true;
      }
      plan.fail_at = 0;
      if (!raised) {
        EXPECT_EQ(plan.failures, 0);
        break;
      }
      ++failed_runs;
      EXPECT_EQ(ReadContents(path).rows, before);
      auto [code, out] = RunTdb("check " + path);
      EXPECT_EQ(code, 0) << out;
      AppendRow(t, kFollowUpNomer, kFollowUp);
      TRows after = before;
      after[kFollowUpNomer] = kFollowUp;
      EXPECT_EQ(ReadContents(path).rows, after);
      EXPECT_EQ(ReadContents(path, "iname").rows, after);
      if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(failed_runs, 0);
  }
}

}  // namespace
}  // namespace tdb
