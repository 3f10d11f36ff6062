// Power loss with the database's flush-after-change switch on: a run of
// appends, rewrites (moving records in both indexes, blobs in place and at
// the end of the file) and deletions is recorded write by write and flush by
// flush; then for every prefix of the writes, the disk is taken to hold
// every write before the last flush and a random subset, in a random order,
// of the writes since.  Each such file must come back through `tdb repair`
// (when `tdb check` finds anything) with every change that had returned, the
// change under way at most undone, every index in key order.  The same run
// made in a change batch, flushed once per stretch of changes, must come
// back with every stretch that had ended, and of the stretch under way each
// record as before it, as after one of its changes, or (appended or deleted
// in it) absent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/dataset/table_fixture.h"
#include "engine/file/file_io.h"
#include "engine/file/radivo_stream.h"
#include "engine/table_contents.h"
#include "tdb/repair_command.h"
#include "tdb/table_commands.h"

namespace tdb {
namespace {

using namespace testing;

// A write or a flush as the medium saw it.
struct TEvent {
  bool flush = false;
  int64_t pos = 0;
  std::vector<uint8_t> bytes;
};

class TRecordingStream : public TRadiVOStream {
 public:
  TRecordingStream(TRadiVOStream& medium, std::vector<TEvent>& events) : medium_(medium), events_(events) {}
  int64_t Size() const override { return medium_.Size(); }
  size_t ReadAt(int64_t pos, uint8_t* dst, size_t n) const override { return medium_.ReadAt(pos, dst, n); }
  bool Writable() const override { return medium_.Writable(); }
  void WriteAt(int64_t pos, const uint8_t* src, size_t n) override {
    events_.push_back(TEvent{false, pos, std::vector<uint8_t>(src, src + n)});
    medium_.WriteAt(pos, src, n);
  }
  void Flush() override {
    events_.push_back(TEvent{true, 0, {}});
    medium_.Flush();
  }

 private:
  TRadiVOStream& medium_;
  std::vector<TEvent>& events_;
};

// A unit of the run that had returned (a change, or a batch's stretch of
// changes): the events up to its end and the table after it.
struct TReturned {
  size_t events = 0;
  TRows rows;
};
// A change, and the records it touches (which may read either way after a
// cut inside its unit).
struct TOperation {
  char op = 0;
  std::vector<int> touches;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Apply(std::vector<uint8_t>& image, const TEvent& e) {
  if (image.size() < static_cast<size_t>(e.pos) + e.bytes.size()) image.resize(static_cast<size_t>(e.pos) + e.bytes.size(), 0);
  std::copy(e.bytes.begin(), e.bytes.end(), image.begin() + e.pos);
}

int RunCommand(int (*command)(const std::vector<std::string>&, std::ostream&), const std::string& path, std::string& out) {
  std::ostringstream text;
  int code = 1;
  try {
    code = command({path}, text);
  } catch (const std::exception& e) {
    text << e.what();
  }
  out = text.str();
  return code;
}

// Records the workload's writes and flushes; returns the file before it.
// With `changes_per_lock` the run is one change batch of stretches that long,
// and a unit is a stretch; otherwise each change is a unit.
std::vector<uint8_t> RecordWorkload(const std::string& path, std::vector<TEvent>& events,
                                    std::vector<TReturned>& returned, std::vector<TOperation>& operations,
                                    int changes_per_lock = 0) {
  std::vector<uint8_t> initial = ReadFile(path);
  SetStreamDecorator([&events](TRadiVOStream& medium) { return std::make_unique<TRecordingStream>(medium, events); });
  {
    TDadaTable t;
    t.SetDatabaseName(path);
    t.SetTableName("t");
    t.SetIndexName("iname");
    t.Open();
    t.Database()->FlushAfterChange = true;
    events.clear();
    std::optional<TDadaTable::TChangeBatch> batch;
    if (changes_per_lock > 0) batch.emplace(t, changes_per_lock);
    const int unit = changes_per_lock > 0 ? changes_per_lock : 1;
    std::mt19937 random(4242);
    TRows rows;
    int next = 1;
    auto memo = [&](int nomer) {
      // Short and long values, so that rewrites keep, move and grow blob areas.
      size_t len = random() % 3 == 0 ? 100 + random() % 300 : random() % 40;
      return std::string(len, static_cast<char>('a' + nomer % 26));
    };
    auto go_to = [&](int nomer) {
      for (t.First(); !t.Eof(); t.Next())
        if (t.FieldByName("nomer").AsInteger() == nomer) return;
      FAIL() << "record " << nomer << " not found";
    };
    for (int i = 0; i < 30; ++i) {
      int dice = static_cast<int>(random() % 10);
      TOperation op;
      if (rows.size() < 5 || dice < 3) {
        int nomer = next++;
        TRow row{"n" + std::to_string(random() % 6), memo(nomer)};
        op = {'A', {nomer}};
        AppendRow(t, nomer, row);
        rows[nomer] = row;
      } else {
        auto it = rows.begin();
        std::advance(it, static_cast<long>(random() % rows.size()));
        int nomer = it->first;
        go_to(nomer);
        if (dice < 9) {
          // A new name, and every other time a new number too.
          int new_nomer = dice % 2 ? next++ : nomer;
          TRow row{"n" + std::to_string(random() % 6), memo(nomer)};
          op = {'R', {nomer}};
          if (new_nomer != nomer) op.touches.push_back(new_nomer);
          t.Edit();
          t.FieldByName("nomer").SetAsInteger(new_nomer);
          t.FieldByName("name").SetAsString(row.name);
          t.FieldByName("memo").SetAsString(row.memo);
          t.Post();
          rows.erase(nomer);
          rows[new_nomer] = row;
        } else {
          op = {'D', {nomer}};
          t.Delete();
          rows.erase(nomer);
        }
      }
      operations.push_back(op);
      if (static_cast<int>(operations.size()) % unit == 0) returned.push_back(TReturned{events.size(), rows});
    }
    if (batch) {
      batch->Finish();
      if (operations.size() % static_cast<size_t>(unit) != 0) returned.push_back(TReturned{events.size(), rows});
    }
  }
  SetStreamDecorator({});
  return initial;
}

// Records the run (see RecordWorkload) and cuts it at every event; returns
// the flushes the run made.
int CutEverywhere(int changes_per_lock) {
  TempDir dir;
  const std::string path = dir.File("run.tdb", OneTableImage(ReceiptsLikeHeader()));
  {
    TDadaTable t;  // a few records before the run
    t.SetDatabaseName(path);
    t.SetTableName("t");
    t.Open();
    for (int n = 101; n <= 104; ++n) AppendRow(t, n, TRow{"n" + std::to_string(n % 6), "before"});
  }
  std::vector<TEvent> events;
  std::vector<TReturned> returned;
  std::vector<TOperation> operations;
  const std::vector<uint8_t> initial = RecordWorkload(path, events, returned, operations, changes_per_lock);
  const size_t unit = changes_per_lock > 0 ? static_cast<size_t>(changes_per_lock) : 1;
  EXPECT_EQ(operations.size(), 30u);
  EXPECT_EQ(returned.size(), (30 + unit - 1) / unit);
  if (::testing::Test::HasFailure()) return 0;
  TRows before;
  for (int n = 101; n <= 104; ++n) before[n] = TRow{"n" + std::to_string(n % 6), "before"};
  for (TReturned& r : returned) r.rows.insert(before.begin(), before.end());

  std::mt19937 random(17);
  const std::string cut = dir.path() + "/cut.tdb";
  int scenarios = 0, repaired = 0, sound = 0;
  std::vector<uint8_t> durable = initial;  // every write before the last flush
  size_t last_flush = 0;                   // events before it are durable
  for (size_t k = 0; k <= events.size(); ++k) {
    if (k > 0 && events[k - 1].flush) {
      for (size_t e = last_flush; e < k; ++e)
        if (!events[e].flush) Apply(durable, events[e]);
      last_flush = k;
    }
    // The units that had returned by the cut, and the changes of the one under way.
    size_t done = 0;
    while (done < returned.size() && returned[done].events <= k) ++done;
    const TRows& want = done ? returned[done - 1].rows : before;
    std::vector<const TOperation*> under_way;
    for (size_t o = done * unit; o < std::min(operations.size(), (done + 1) * unit); ++o)
      under_way.push_back(&operations[o]);

    std::vector<size_t> pending;
    for (size_t e = last_flush; e < k; ++e)
      if (!events[e].flush) pending.push_back(e);
    for (int variant = 0; variant < (pending.empty() ? 1 : 3); ++variant) {
      SCOPED_TRACE("cut at event " + std::to_string(k) + ", variant " + std::to_string(variant));
      std::vector<size_t> chosen;
      for (size_t e : pending)
        if (variant == 0 || random() % 2) chosen.push_back(e);  // variant 0: all of them
      std::shuffle(chosen.begin(), chosen.end(), random);
      std::vector<uint8_t> image = durable;
      for (size_t e : chosen) Apply(image, events[e]);
      WriteFile(cut, image);
      ++scenarios;

      std::string out;
      if (RunCommand(tdbtool::CheckCommand, cut, out) == 0) {
        ++sound;
      } else {
        std::string check_out = out;
        EXPECT_EQ(RunCommand(tdbtool::RepairCommand, cut, out), 0) << out << "\ncheck said:\n" << check_out;
        EXPECT_EQ(RunCommand(tdbtool::CheckCommand, cut, out), 0) << "after repair:\n" << out;
        ::unlink((cut + ".bak").c_str());
        ++repaired;
        if (::testing::Test::HasFailure()) return 0;
      }
      TContents got;
      EXPECT_NO_THROW(got = ReadContents(cut));
      EXPECT_EQ(got.duplicates, 0);
      TRows expected = want;
      // A record the unit under way only rewrote (under one number or the
      // next) is there under exactly one of its numbers; one it appended or
      // deleted is there or not.
      std::vector<std::set<int>> names;  // the numbers of each such record
      std::map<int, size_t> record_of;   // number -> its record in `names`
      std::set<size_t> may_be_absent;
      for (const TOperation* op : under_way) {
        for (int n : op->touches) {
          expected.erase(n);
          if (got.rows.count(n)) expected[n] = got.rows[n];  // as before, as after, or part way
        }
        const int first = op->touches.front();
        auto known = record_of.find(first);
        size_t record = known != record_of.end() ? known->second : names.size();
        if (known == record_of.end()) {
          names.emplace_back();
          if (!want.count(first)) may_be_absent.insert(record);
        }
        for (int n : op->touches) {
          names[record].insert(n);
          record_of[n] = record;
        }
        if (op->op != 'R') may_be_absent.insert(record);
      }
      for (size_t r = 0; r < names.size(); ++r) {
        if (may_be_absent.count(r)) continue;
        int present = 0;
        for (int n : names[r]) present += static_cast<int>(got.rows.count(n));
        EXPECT_EQ(present, 1) << "record first numbered " << *names[r].begin();
      }
      EXPECT_EQ(got.rows, expected);
      for (const std::string index : {"inomer", "iname"}) {
        TContents in_order = ReadContents(cut, index);
        EXPECT_EQ(in_order.rows, got.rows) << index;
      }
      if (::testing::Test::HasFailure()) return 0;
    }
  }
  int flushes = 0;
  for (const TEvent& e : events) flushes += e.flush ? 1 : 0;
  std::cout << "[ power    ] " << (changes_per_lock ? "batch of stretches of " + std::to_string(changes_per_lock) + ": " : "")
            << events.size() << " writes and flushes (" << flushes << " flushes), " << scenarios << " cuts: " << sound
            << " sound as they stood, " << repaired << " repaired\n";
  return flushes;
}

TEST(PowerLossTest, EveryCutWithTheFlushSwitchOnComesBackWithEveryReturnedChange) { CutEverywhere(0); }

TEST(PowerLossTest, EveryCutOfABatchComesBackWithEveryStretchThatEnded) {
  const int single = CutEverywhere(0);
  const int batched = CutEverywhere(4);
  // The stretches are flushed at their ends, not every change at its own.
  EXPECT_LT(batched, single);
}

}  // namespace
}  // namespace tdb
