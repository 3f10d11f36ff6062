// The engine's side of workload W.
#include "engine_side.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "bench_data.h"
#include "bench_measure.h"
#include "dataset_rows.h"
#include "data/receipt_tables.h"
#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/database/session.h"
#include "engine/dataset/dada_table.h"
#include "engine/file/file_io.h"
#include "engine/format/file_structures.h"
#include "engine/storage/table_io.h"

namespace bench {

using tdb::TDadaTable;

void CreateEngineFile(const std::string& path) {
  std::filesystem::remove(path);
  for (const receipts::ReceiptFile& file : receipts::ReceiptFiles())
    if (file.file_name == "formix.tdb") receipts::CreateDatabaseFile(path, file.schema);
}

EngineRegister::EngineRegister(const std::string& path, const std::string& index, const std::string& session)
    : table_(std::make_unique<TDadaTable>()) {
  table_->SetSessionName(session);
  table_->SetDatabaseName(path);
  table_->SetTableName("formix");
  table_->SetIndexName(index);
  table_->Open();
  for (const ReceiptField& field : ReceiptFields()) fields_.push_back(&table_->FieldByName(field.name));
}

EngineRegister::~EngineRegister() = default;

int64_t EngineRegister::KeyCacheBytes() const {
  return table_->TableIO() ? static_cast<int64_t>(table_->TableIO()->KeyCacheBytes()) : 0;
}

void EngineRegister::SetFlushAfterChange(bool on) { table_->Database()->FlushAfterChange = on; }

double EngineRegister::Append(int64_t n) {
  Stopwatch watch;
  AppendReceipts(0, n);
  return watch.Seconds();
}

double EngineRegister::AppendInBatch(int64_t n) {
  Stopwatch watch;
  {
    TDadaTable::TChangeBatch batch(*table_);
    AppendReceipts(0, n);
    batch.Finish();
  }
  return watch.Seconds();
}

void EngineRegister::AppendReceipts(int64_t first, int64_t n) {
  for (int64_t i = first; i < first + n; ++i) {
    std::vector<FieldValue> values = MakeReceipt(i);
    table_->Insert();
    for (size_t f = 0; f < values.size(); ++f) {
      const FieldValue& v = values[f];
      switch (v.kind) {
        case FieldValue::kText: fields_[f]->SetAsString(v.cp1251); break;
        case FieldValue::kInteger: fields_[f]->SetAsInteger(static_cast<int32_t>(v.integer)); break;
        case FieldValue::kMoney: fields_[f]->SetAsCurrency(tdb::TCurrency::FromDouble(v.money)); break;
        case FieldValue::kDate: fields_[f]->SetAsDateTime(DayToDateTime(v.integer)); break;
        case FieldValue::kBool: fields_[f]->SetAsBoolean(v.integer != 0); break;
      }
    }
    table_->Post();
  }
}

double EngineRegister::Resort() { return TimeResort(*table_, "engine"); }

double EngineRegister::Filter(int64_t* count) { return TimeFilterCount(*table_, count); }

double EngineRegister::Locate(const std::vector<int64_t>& nomers, int64_t* found) {
  return TimeLocates(*table_, nomers, found);
}

double EngineRegister::Modify(const std::vector<int64_t>& nomers, int64_t first_amount) {
  return TimeModifies(*table_, *fields_[18], nomers, first_amount);
}

double EngineRegister::Purge(int64_t* remaining, bool* renumbered_ok) {
  TDadaTable& t = *table_;
  tdb::TField& nomer = *fields_[0];
  t.SetIndexName("iplatel");
  Stopwatch watch;
  // As the program's purge: its changes in one change batch.
  std::optional<TDadaTable::TChangeBatch> batch(std::in_place, t);
  t.SetFilter("slugebnoe=true");
  t.SetFiltered(true);
  t.First();
  while (!t.Eof()) t.Delete();
  t.SetFiltered(false);
  t.SetFilter("");
  t.First();
  int32_t k = 0;
  while (!t.Eof()) {
    t.Edit();
    nomer.SetAsInteger(++k);
    t.Post();
    t.Next();
  }
  batch->Finish();
  batch.reset();
  double s = watch.Seconds();
  *remaining = t.RecordCount();
  bool ok = k == t.RecordCount();
  int32_t expect = 0;
  for (t.First(); !t.Eof() && ok; t.Next()) ok = nomer.AsInteger() == ++expect;
  *renumbered_ok = ok;
  t.SetIndexName("inomer");
  return s;
}

// ---- another clerk ----

ClerkBeside::ClerkBeside(const std::string& path, int64_t first_receipt, int pause_ms) {
  int go[2], stop[2], result[2];
  if (::pipe(go) != 0 || ::pipe(stop) != 0 || ::pipe(result) != 0) throw std::runtime_error("pipe");
  std::fflush(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(go[1]);
    ::close(stop[1]);
    ::close(result[0]);
    std::vector<double> waits;
    int failures = 0;
    try {
      // A session of its own: its own descriptor and lock, as another program has.
      tdb::TDadaSession session;
      session.SetSessionName("other clerk");
      auto table = std::make_unique<EngineRegister>(path, "inomer", "other clerk");
      if (::write(result[1], "R", 1) != 1) ::_exit(1);  // open: ready
      char c;
      while (::read(go[0], &c, 1) < 0 && errno == EINTR) {
      }
      for (int64_t i = first_receipt;; ++i) {
        pollfd p{stop[0], POLLIN, 0};
        if (::poll(&p, 1, pause_ms) != 0) break;  // stopped
        const auto start = std::chrono::steady_clock::now();
        try {
          table->AppendReceipt(i);
        } catch (const tdb::EDatabaseError&) {
          ++failures;
          try {
            if (table->Table().State() != tdb::dsBrowse) table->Table().Cancel();
          } catch (const tdb::EDatabaseError&) {
          }
          continue;
        }
        waits.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "other clerk: %s\n", e.what());
      ++failures;
    }
    std::sort(waits.begin(), waits.end());
    char line[128];
    const int len = std::snprintf(line, sizeof line, "%zu %d %.3f %.3f\n", waits.size(), failures,
                                  waits.empty() ? 0.0 : waits[waits.size() / 2], waits.empty() ? 0.0 : waits.back());
    if (::write(result[1], line, static_cast<size_t>(len)) != len) ::_exit(1);
    ::_exit(0);
  }
  ::close(go[0]);
  ::close(stop[0]);
  ::close(result[1]);
  go_ = go[1];
  stop_ = stop[1];
  result_ = result[0];
}

ClerkBeside::~ClerkBeside() {
  if (pid_ > 0) Stop();
}

void ClerkBeside::Go() {
  if (go_ < 0) return;
  char ready;
  while (::read(result_, &ready, 1) < 0 && errno == EINTR) {
  }
  ::close(go_);
  go_ = -1;
}

ClerkTimes ClerkBeside::Stop() {
  Go();
  if (stop_ >= 0) ::close(stop_);
  stop_ = -1;
  std::string text;
  char buf[256];
  ssize_t got;
  while ((got = ::read(result_, buf, sizeof buf)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    text.append(buf, static_cast<size_t>(got));
  }
  ::close(result_);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  ClerkTimes t;
  std::sscanf(text.c_str(), "%d %d %lf %lf", &t.saves, &t.failures, &t.median_ms, &t.max_ms);
  return t;
}

// ---- children ----

int EngineOpenChild(const std::string& path) {
  Stopwatch watch;
  EngineRegister reg(path, "inomer");
  size_t bytes = 0;
  TDadaTable& t = reg.Table();
  for (int r = 0; r < 50 && !t.Eof(); ++r, t.Next())
    for (int f = 0; f < t.FieldCount(); ++f) bytes += t.Field(f).AsString().size();
  double s = watch.Seconds();
  std::printf("%.9f %lld %zu\n", s, static_cast<long long>(PeakRssBytes()), bytes);
  return 0;
}

int EngineAppendBatchChild(const std::string& path, int64_t n) {
  CreateEngineFile(path);
  double s = 0;
  {
    EngineRegister reg(path, "inomer");
    s = reg.AppendInBatch(n);
  }
  std::printf("%.9f\n", s);
  return 0;
}

int EngineMemoryChild(const std::string& path, const std::string& empty_path) {
  // The fixed overhead: the engine with an empty table of the same schema
  // open and walked, at its peak (the peak below is one too: compared with
  // the resident size after the empty table closed, the memory an open
  // takes for a moment and gives back would count as the table's).
  {
    EngineRegister empty(empty_path, "iplatel");
    for (empty.Table().First(); !empty.Table().Eof(); empty.Table().Next()) {
    }
  }
  int64_t fixed = std::max(CurrentRssBytes(), PeakRssBytes());
  Stopwatch watch;
  EngineRegister reg(path, "iplatel");
  TDadaTable& t = reg.Table();
  int64_t records = 0;
  for (t.First(); !t.Eof(); t.Next()) ++records;
  double s = watch.Seconds();
  std::printf("%.9f %lld %lld %lld\n", s, static_cast<long long>(PeakRssBytes()), static_cast<long long>(fixed),
              static_cast<long long>(records));
  return 0;
}

int SequentialReadChild(const std::string& path) {
  // Where the blocks are, from the table header.
  tdb::TTableHeader header;
  {
    tdb::TRadiVOFileIO file;
    file.Open(path, tdb::mtDisk, true, false);
    header = file.ReadTableHeader(0);
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 1;
  const int64_t blocks = (header.RecordTotal + tdb::kTabItemsPerBlock - 1) / tdb::kTabItemsPerBlock;
  std::vector<uint8_t> block(tdb::kIndexTabBlockSize);
  int64_t bytes = 0;
  Stopwatch watch;
  auto walk = [&](int64_t first, size_t block_size) {
    int64_t pos = first;
    for (int64_t b = 0; b < blocks && pos > 0; ++b) {
      if (::pread(fd, block.data(), block_size, pos) != static_cast<ssize_t>(block_size)) return false;
      bytes += static_cast<int64_t>(block_size);
      pos = tdb::GetInt32LE(block.data());
    }
    return true;
  };
  bool ok = walk(header.RecTabOffset, tdb::kRecordTabBlockSize);
  for (int32_t i = 0; i < header.IndexCount && ok; ++i)
    ok = walk(header.IndexHeaders[static_cast<size_t>(i)].IndexTabOffset, tdb::kIndexTabBlockSize);
  double s = watch.Seconds();
  ::close(fd);
  if (!ok) return 1;
  std::printf("%.9f %lld\n", s, static_cast<long long>(bytes));
  return 0;
}

}  // namespace bench
