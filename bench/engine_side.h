// Workload W on the engine, through TDadaTable as the program uses it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tdb {
class TDadaTable;
class TField;
}  // namespace tdb

namespace bench {

// Creates an empty "formix.tdb"-shaped file at `path` (an existing file is removed first).
void CreateEngineFile(const std::string& path);

// The receipts table of one file, open on one index, with its fields looked up once.
class EngineRegister {
 public:
  EngineRegister(const std::string& path, const std::string& index, const std::string& session = "");
  ~EngineRegister();

  // 1. The receipts 0..n-1 appended one at a time, each its own Insert and Post.
  double Append(int64_t n);
  // 1b. The same appends in one change batch (no flush: SQLite's side runs
  //     with synchronous=OFF).
  double AppendInBatch(int64_t n);
  // 3. Switches to "iplatel" and reads the first 50 records; back to "inomer" untimed.
  double Resort();
  // 4. Counts the records that pass "slugebnoe=true"; the filter is removed untimed.
  double Filter(int64_t* count);
  // 5. Locate on nomer for every value; `found` counts the hits.
  double Locate(const std::vector<int64_t>& nomers, int64_t* found);
  // 6. The record of each nomer gets a new Summa (Locate, Edit, Post): the
  //    k-th gets NewAmount(first_amount + k).
  double Modify(const std::vector<int64_t>& nomers, int64_t first_amount = 0);
  // 7. The register's purge in "iplatel" order.  `remaining` receives the
  //    record count after it; `renumbered_ok` whether nomer runs 1..M in that order.
  double Purge(int64_t* remaining, bool* renumbered_ok);

  // Memory of the keys the table storage keeps for its searches.
  int64_t KeyCacheBytes() const;

  // The database's flush-after-change switch.
  void SetFlushAfterChange(bool on);

  tdb::TDadaTable& Table() { return *table_; }

  // Appends receipt `i` (MakeReceipt), one Insert and Post.
  void AppendReceipt(int64_t i) { AppendReceipts(i, 1); }

 private:
  void AppendReceipts(int64_t first, int64_t n);

  std::unique_ptr<tdb::TDadaTable> table_;
  std::vector<tdb::TField*> fields_;
};

// Child processes: each prints its figures on one line.
//   open:    seconds to open on "inomer" and read the first 50 records, peak RSS
//   memory:  seconds of the walk, peak RSS, fixed overhead, record count
//   seqread: seconds to read the record table and index tables, bytes read
//   append-batch: seconds to append N receipts in one change batch to a new
//            register at the path (for profiling that path alone)
int EngineOpenChild(const std::string& path);
int EngineMemoryChild(const std::string& path, const std::string& empty_path);
int SequentialReadChild(const std::string& path);
int EngineAppendBatchChild(const std::string& path, int64_t n);

// Another clerk beside a long run on the register at `path`: a forked process
// that opens it (default lock settings) and, from Go() (which waits until it
// has opened the register) to Stop(), saves a new receipt every `pause_ms`,
// timing (wall) how long each save took, the wait for the file lock
// included.
struct ClerkTimes {
  int saves = 0;
  int failures = 0;  // saves refused (the lock not obtained in time, or else)
  double median_ms = 0, max_ms = 0;
};
class ClerkBeside {
 public:
  ClerkBeside(const std::string& path, int64_t first_receipt, int pause_ms);
  ~ClerkBeside();
  ClerkBeside(const ClerkBeside&) = delete;
  ClerkBeside& operator=(const ClerkBeside&) = delete;
  void Go();
  // Stops the clerk and waits for it.
  ClerkTimes Stop();

 private:
  int pid_ = -1;
  int go_ = -1, stop_ = -1, result_ = -1;
};

}  // namespace bench
