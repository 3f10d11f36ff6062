// register_bench: workload W on the engine and on SQLite in one run, and the
// table of their times.  See README.md for what each row measures.
//
//   register_bench [--json] [--quick] [--n N[,N...]] [--only OPS] [--clock wall|cpu] [--big N] [--runs R]
//                  [--dir DIR] [--rebuild] [--server CONNINFO]
//
// Each figure is the median of R runs (5 unless asked otherwise), shown with
// the smallest and largest of the runs; a ratio is taken within each run
// (engine and SQLite timed minutes apart on a shared machine would compare
// two different machines) and the targets are judged on the median ratio.
// The operations at N run on files built by the timed append of the same
// run; the files at the big size are built once (untimed) and kept in DIR
// for later runs.  With --server (bench/run --server starts a throwaway
// cluster) the rows at N run on a PostgreSQL server too, beside the others.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_data.h"
#include "bench_measure.h"
#include "engine/base/database_error.h"
#include "engine/storage/table_io.h"
#include "engine_side.h"
#include "server_side.h"
#include "sqlite_side.h"

namespace bench {
namespace {

struct Options {
  bool json = false;
  std::vector<int64_t> sizes{100'000};  // the fresh registers' sizes, in order
  std::set<std::string> only;            // the rows at those sizes to run (empty: all)
  bool cpu_clock = false;
  int64_t big = 1'000'000;
  int runs = 5;
  std::string dir = "build-bench/data";
  bool rebuild = false;
  std::string server;  // a cluster's connection string; empty: no server rows
};

// One row of the table: the samples of every run, reduced to medians.
struct Row {
  std::string op;
  int64_t n = 0;
  int64_t items = 0;  // operations in the row (appends, Locate calls, ...)
  std::vector<double> engine, sqlite_auto, sqlite_tx, peak;
  std::vector<double> server;  // --server
  // Extra figures of the memory and sequential-read rows.
  std::map<std::string, std::vector<double>> extra;
};

class Table {
 public:
  Row& Get(const std::string& op, int64_t n) {
    for (Row& r : rows_)
      if (r.op == op && r.n == n) return r;
    Row row;
    row.op = op;
    row.n = n;
    rows_.push_back(std::move(row));
    return rows_.back();
  }
  const std::vector<Row>& Rows() const { return rows_; }

 private:
  std::vector<Row> rows_;
};

std::optional<double> MedianOf(const std::vector<double>& v) {
  if (v.empty()) return std::nullopt;
  return Median(v);
}

std::string Json(std::optional<double> v, bool integer = false) {
  if (!v) return "null";
  char buf[64];
  if (integer) std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(std::llround(*v)));
  else std::snprintf(buf, sizeof buf, "%.9g", *v);
  return buf;
}

// The ratio a / b of every run that has both figures.
std::vector<double> RunRatios(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> ratios;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (b[i] > 0) ratios.push_back(a[i] / b[i]);
  return ratios;
}

std::optional<double> MinOf(const std::vector<double>& v) {
  if (v.empty()) return std::nullopt;
  return *std::min_element(v.begin(), v.end());
}

std::optional<double> MaxOf(const std::vector<double>& v) {
  if (v.empty()) return std::nullopt;
  return *std::max_element(v.begin(), v.end());
}

void Require(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what);
}

// ---- the operations at N (a fresh register every run) ----

// The open row: a fresh process opens each file and reads the first screen.
void MeasureOpen(Table& table, int64_t n, const std::string& engine_path, const std::string& auto_path,
                 const std::string& tx_path) {
  Row& open = table.Get("open", n);
  open.items = 50;
  std::vector<double> e = RunChild({"--child", "engine-open", engine_path});
  open.engine.push_back(e.at(0));
  open.peak.push_back(e.at(1));
  open.sqlite_auto.push_back(RunChild({"--child", "sqlite-open", auto_path, "auto"}).at(0));
  open.sqlite_tx.push_back(RunChild({"--child", "sqlite-open", tx_path, "tx"}).at(0));
}

// The memory row: a fresh process opens each file and walks it once.
void MeasureMemory(const Options& o, Table& table, int64_t n, const std::string& engine_path,
                   const std::string& auto_path, const std::string& tx_path) {
  Row& memory = table.Get("memory", n);
  memory.items = n;
  std::vector<double> m = RunChild({"--child", "engine-memory", engine_path, o.dir + "/empty.tdb"});
  memory.engine.push_back(m.at(0));
  memory.peak.push_back(m.at(1));
  memory.extra["fixed_bytes"].push_back(m.at(2));
  memory.extra["records"].push_back(m.at(3));
  std::vector<double> ma = RunChild({"--child", "sqlite-memory", auto_path, "auto"});
  memory.sqlite_auto.push_back(ma.at(0));
  memory.extra["sqlite_peak_rss_bytes"].push_back(ma.at(1));
  memory.sqlite_tx.push_back(RunChild({"--child", "sqlite-memory", tx_path, "tx"}).at(0));
}

// Whether the row `op` runs at the fresh registers' sizes.
bool Wanted(const Options& o, const std::string& op) { return o.only.empty() || o.only.count(op) > 0; }

// The sequential read of the lists an open must read, in a child process.
void MeasureSequentialRead(Table& table, int64_t n, const std::string& engine_path) {
  Row& seq = table.Get("sequential_read", n);
  std::vector<double> q = RunChild({"--child", "seqread", engine_path});
  seq.engine.push_back(q.at(0));
  seq.extra["bytes"].push_back(q.at(1));
}

void RunAtN(const Options& o, int64_t n, Table& table) {
  const std::string engine_path = o.dir + "/engine.tdb";
  const std::string auto_path = o.dir + "/auto.db";
  const std::string tx_path = o.dir + "/tx.db";
  std::filesystem::remove(auto_path);
  std::filesystem::remove(tx_path);
  CreateEngineFile(engine_path);

  EngineRegister engine(engine_path, "inomer");
  SqliteRegister sa(auto_path, SqliteMode::kAutocommit);
  SqliteRegister st(tx_path, SqliteMode::kOneTransaction);
  sa.CreateSchema();
  st.CreateSchema();

  Row& append = table.Get("append", n);
  append.items = n;
  append.engine.push_back(engine.Append(n));
  append.sqlite_auto.push_back(sa.Append(n));
  append.sqlite_tx.push_back(st.Append(n));

  // The same appends grouped in one change batch, on a register of their
  // own, beside SQLite's one transaction of this run.
  if (Wanted(o, "batch")) {
    const std::string batch_path = o.dir + "/batch.tdb";
    CreateEngineFile(batch_path);
    const double sqlite_tx = append.sqlite_tx.back();  // `append` moves with the rows added
    Row& batch = table.Get("append batch", n);
    batch.items = n;
    {
      EngineRegister batched(batch_path, "inomer");
      batch.engine.push_back(batched.AppendInBatch(n));
    }
    std::filesystem::remove(batch_path);
    batch.sqlite_tx.push_back(sqlite_tx);
  }

  if (Wanted(o, "open")) {
    MeasureSequentialRead(table, n, engine_path);
    MeasureOpen(table, n, engine_path, auto_path, tx_path);
  }

  if (Wanted(o, "resort")) {
    Row& resort = table.Get("resort", n);
    resort.items = 50;
    resort.engine.push_back(engine.Resort());
    resort.sqlite_auto.push_back(sa.Resort());
    resort.sqlite_tx.push_back(st.Resort());
  }

  if (Wanted(o, "filter")) {
    Row& filter = table.Get("filter", n);
    filter.items = n;
    int64_t ce = 0, ca = 0, ct = 0;
    filter.engine.push_back(engine.Filter(&ce));
    filter.sqlite_auto.push_back(sa.Filter(&ca));
    filter.sqlite_tx.push_back(st.Filter(&ct));
    Require(ce == ca && ca == ct, "filter counts differ: " + std::to_string(ce) + " " + std::to_string(ca));
  }

  if (Wanted(o, "locate")) {
    const std::vector<int64_t> targets = RandomNomers(n, 10'000, 1);
    Row& locate = table.Get("locate", n);
    locate.items = static_cast<int64_t>(targets.size());
    int64_t fe = 0, fa = 0, ft = 0;
    locate.engine.push_back(engine.Locate(targets, &fe));
    locate.sqlite_auto.push_back(sa.Locate(targets, &fa));
    locate.sqlite_tx.push_back(st.Locate(targets, &ft));
    Require(fe == fa && fa == ft && fe == locate.items, "locate found " + std::to_string(fe) + " " + std::to_string(fa));
  }

  if (Wanted(o, "modify")) {
    const std::vector<int64_t> changed = RandomNomers(n, 10'000, 2);
    Row& modify = table.Get("modify", n);
    modify.items = static_cast<int64_t>(changed.size());
    modify.engine.push_back(engine.Modify(changed));
    modify.extra["key_cache_bytes"].push_back(static_cast<double>(engine.KeyCacheBytes()));
    modify.sqlite_auto.push_back(sa.Modify(changed));
    modify.sqlite_tx.push_back(st.Modify(changed));
  }

  // The memory walk runs before the purge so that it sees all N records.
  if (Wanted(o, "memory")) MeasureMemory(o, table, n, engine_path, auto_path, tx_path);

  // The purge as the program runs it on a data folder, with every change
  // flushed to the disk: on a copy of the register, before the purge below
  // changes it (the engine only; compare with the purge row).
  if (Wanted(o, "purgeflushed")) {
    const std::string flushed_path = o.dir + "/purge-flushed.tdb";
    std::filesystem::copy_file(engine_path, flushed_path, std::filesystem::copy_options::overwrite_existing);
    Row& purge = table.Get("purge flushed", n);
    int64_t remaining = 0;
    bool renumbered = false;
    {
      EngineRegister flushed(flushed_path, "inomer");
      flushed.SetFlushAfterChange(true);
      purge.engine.push_back(flushed.Purge(&remaining, &renumbered));
    }
    std::filesystem::remove(flushed_path);
    purge.items = remaining;
    Require(renumbered, "the engine's flushed purge did not renumber 1..M in iplatel order");
  }

  // The purge while another clerk saves a new receipt every 100 ms on the
  // same register (another process, the default lock settings): on a copy,
  // and only when asked for by name.  The row's time is the purge's; how long
  // the clerk's saves took (the wait for the lock included) is printed.
  if (o.only.count("purgeclerk")) {
    const std::string copy_path = o.dir + "/purge-clerk.tdb";
    std::filesystem::copy_file(engine_path, copy_path, std::filesystem::copy_options::overwrite_existing);
    Row& purge = table.Get("purge, a clerk saving", n);
    int64_t remaining = 0;
    bool renumbered = false;
    ClerkTimes clerk;
    {
      ClerkBeside other(copy_path, 10 * n, 100);
      EngineRegister register_copy(copy_path, "inomer");
      other.Go();
      purge.engine.push_back(register_copy.Purge(&remaining, &renumbered));
      clerk = other.Stop();
    }
    std::filesystem::remove(copy_path);
    purge.items = remaining;
    std::fprintf(stderr, "  a clerk beside the purge at %lld: %d saves, %d refused, save took median %.1f ms, max %.1f ms (wall)\n",
                 static_cast<long long>(n), clerk.saves, clerk.failures, clerk.median_ms, clerk.max_ms);
  }

  if (Wanted(o, "purge")) {
    Row& purge = table.Get("purge", n);
    int64_t re = 0, ra = 0, rt = 0;
    bool renumbered = false;
    purge.engine.push_back(engine.Purge(&re, &renumbered));
    purge.sqlite_auto.push_back(sa.Purge(&ra));
    purge.sqlite_tx.push_back(st.Purge(&rt));
    purge.items = re;
    Require(re == ra && ra == rt, "purge left " + std::to_string(re) + " " + std::to_string(ra));
    Require(renumbered, "the engine's purge did not renumber 1..M in iplatel order");
  }

  // The cost of the flush-after-change switch: appends and modifies on a
  // register of their own with every change flushed to the disk (the engine
  // only; compare the per-item time with the rows above).
  if (!Wanted(o, "flushed") || n != o.sizes.front()) return;
  const int64_t flushed_n = std::min<int64_t>(n, 1'000);
  const std::string flushed_path = o.dir + "/flushed.tdb";
  CreateEngineFile(flushed_path);
  EngineRegister flushed(flushed_path, "inomer");
  flushed.SetFlushAfterChange(true);
  Row& flushed_append = table.Get("append flushed", flushed_n);
  flushed_append.items = flushed_n;
  flushed_append.engine.push_back(flushed.Append(flushed_n));
  const std::vector<int64_t> flushed_changed = RandomNomers(flushed_n, flushed_n, 3);
  Row& flushed_modify = table.Get("modify flushed", flushed_n);
  flushed_modify.items = static_cast<int64_t>(flushed_changed.size());
  flushed_modify.engine.push_back(flushed.Modify(flushed_changed));
}

// ---- the same operations on a PostgreSQL server (--server) ----

// The rows at N on a fresh database of the cluster, after the file's and
// SQLite's of the same run: the same receipts, numbers and amounts.
void RunServerAtN(const Options& o, int64_t n, Table& table) {
  ServerRegister server(o.server, "formix_bench");
  table.Get("append", n).server.push_back(server.Append(n));
  if (Wanted(o, "batch")) {
    ServerRegister tx(o.server, "formix_bench_tx");
    table.Get("append batch", n).server.push_back(tx.AppendInTransaction(n));
    tx.Drop();
  }
  if (Wanted(o, "open"))
    table.Get("open", n).server.push_back(RunChild({"--child", "server-open", server.ConnInfo()}).at(0));
  if (Wanted(o, "resort")) table.Get("resort", n).server.push_back(server.Resort());
  if (Wanted(o, "filter")) {
    int64_t count = 0, marked = 0;
    table.Get("filter", n).server.push_back(server.Filter(&count));
    for (int64_t i = 0; i < n; ++i) marked += IsMarked(i) ? 1 : 0;
    Require(count == marked, "the server's filter counted " + std::to_string(count));
  }
  if (Wanted(o, "locate")) {
    const std::vector<int64_t> targets = RandomNomers(n, 10'000, 1);
    int64_t found = 0;
    table.Get("locate", n).server.push_back(server.Locate(targets, &found));
    Require(found == static_cast<int64_t>(targets.size()), "the server's locate found " + std::to_string(found));
  }
  if (Wanted(o, "modify")) table.Get("modify", n).server.push_back(server.Modify(RandomNomers(n, 10'000, 2)));
  if (Wanted(o, "total")) {
    // The status bar's sum of every amount, read as whole rows and as the one column.
    double by_rows = 0, by_column = 0;
    Row& rows = table.Get("total rows", n);
    rows.items = n;
    rows.server.push_back(server.Total(true, &by_rows));
    Row& column = table.Get("total column", n);
    column.items = n;
    column.server.push_back(server.Total(false, &by_column));
    double by_server = 0;
    Row& summed = table.Get("total SUM", n);
    summed.items = n;
    summed.server.push_back(server.ServerSum(&by_server));
    Require(by_rows == by_column && std::fabs(by_server - by_column) < 1, "the server's totals differ");
  }
  if (Wanted(o, "purge")) {
    Row& purge = table.Get("purge", n);
    int64_t remaining = 0;
    bool renumbered = false;
    purge.server.push_back(server.Purge(&remaining, &renumbered));
    Require(remaining == purge.items, "the server's purge left " + std::to_string(remaining));
    Require(renumbered, "the server's purge did not renumber 1..M in iplatel order");
  }
  server.Drop();
}

// The server's rows beside the file's and SQLite's, with the ratios of each run.
void PrintServer(const Table& table, const Options& o) {
  std::printf("\non a PostgreSQL server (local, Unix socket), beside the data file and SQLite (medians; x: server "
              "over the other, median of the runs' ratios):\n");
  std::printf("%-15s %8s %9s %9s %11s %11s %9s %9s %9s %10s\n", "operation", "n", "server s", "file s", "sqlite au s",
              "sqlite tx s", "x file", "x auto", "x tx", "server us");
  auto ratio = [](const std::vector<double>& a, const std::vector<double>& b) -> std::optional<double> {
    std::vector<double> r;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
      if (b[i] > 0) r.push_back(a[i] / b[i]);
    return MedianOf(r);
  };
  auto seconds = [](std::optional<double> v) -> std::string {
    if (!v) return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", *v);
    return buf;
  };
  auto times = [](std::optional<double> v) -> std::string {
    if (!v) return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", *v);
    return buf;
  };
  for (const Row& r : table.Rows()) {
    if (r.server.empty()) continue;
    const std::optional<double> server = MedianOf(r.server);
    char per[32] = "-";
    if (server && r.items > 0) std::snprintf(per, sizeof per, "%.2f", *server * 1e6 / static_cast<double>(r.items));
    std::printf("%-15s %8lld %9s %9s %11s %11s %9s %9s %9s %10s\n", r.op.c_str(), static_cast<long long>(r.n),
                seconds(server).c_str(), seconds(MedianOf(r.engine)).c_str(), seconds(MedianOf(r.sqlite_auto)).c_str(),
                seconds(MedianOf(r.sqlite_tx)).c_str(), times(ratio(r.server, r.engine)).c_str(),
                times(ratio(r.server, r.sqlite_auto)).c_str(), times(ratio(r.server, r.sqlite_tx)).c_str(), per);
  }
  std::printf("(%s; \"append batch\" is the appends in one transaction on the server and in SQLite, in one change "
              "batch in the file; the server's purge is one transaction, renumbering included)\n",
              o.cpu_clock ? "processor time of this process only: the server's own work is not in it"
                          : "wall clock");
}

// ---- the operations at the big size (files built once) ----

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

void BuildBig(const Options& o, const std::string& stem) {
  const std::string done = stem + ".complete";
  if (!o.rebuild && Exists(done)) return;
  std::filesystem::remove(done);
  std::fprintf(stderr, "building the register of %lld receipts (once; kept in %s) ...\n",
               static_cast<long long>(o.big), o.dir.c_str());
  CreateEngineFile(stem + ".tdb");
  {
    EngineRegister engine(stem + ".tdb", "inomer");
    double s = engine.Append(o.big);
    std::fprintf(stderr, "  engine: %.1f s\n", s);
  }
  for (const char* mode : {"auto", "tx"}) {
    std::string path = stem + "-" + mode + ".db";
    std::filesystem::remove(path);
    // Built in one transaction either way: the files are the same.
    SqliteRegister s(path, SqliteMode::kOneTransaction);
    s.CreateSchema();
    s.Append(o.big);
  }
  std::ofstream(done) << "complete\n";
}

// Reads a file through once, untimed, so that it is in the page cache.
void WarmPageCache(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(1 << 20);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
  }
}

void RunAtBig(const Options& o, Table& table) {
  const int64_t n = o.big;
  const std::string stem = o.dir + "/big-" + std::to_string(n);
  BuildBig(o, stem);
  const std::string engine_path = stem + ".tdb", auto_path = stem + "-auto.db", tx_path = stem + "-tx.db";
  // The rows at the big size compare the two engines on a warm page cache:
  // this machine's cache is sometimes emptied between runs, and a row that
  // happened to read its file from the disk would measure the disk.
  for (const std::string& path : {engine_path, auto_path, tx_path}) WarmPageCache(path);

  // The sequential read runs first: it is the open's yardstick only with
  // both reading from a warm page cache, and a file the machine has pushed
  // out of it while other work ran would make the open's read a disk read.
  MeasureSequentialRead(table, n, engine_path);
  MeasureOpen(table, n, engine_path, auto_path, tx_path);

  Row& filter = table.Get("filter", n);
  filter.items = n;
  int64_t ce = 0, ca = 0, ct = 0;
  {
    EngineRegister engine(engine_path, "inomer");
    filter.engine.push_back(engine.Filter(&ce));
  }
  {
    SqliteRegister sa(auto_path, SqliteMode::kAutocommit);
    filter.sqlite_auto.push_back(sa.Filter(&ca));
  }
  {
    SqliteRegister st(tx_path, SqliteMode::kOneTransaction);
    filter.sqlite_tx.push_back(st.Filter(&ct));
  }
  Require(ce == ca && ca == ct, "filter counts differ at the big size");

  // Modify at the big size: the receipts' amounts change in place, so the
  // files stay fit for the later runs.  Each run gives other amounts than
  // the run before (counted in a file beside the register): amounts equal to
  // the stored ones would move nothing in "isumma".
  const std::vector<int64_t> changed = RandomNomers(n, 10'000, 4);
  int64_t modify_runs = 0;
  {
    std::ifstream in(stem + ".modifies");
    in >> modify_runs;
  }
  std::ofstream(stem + ".modifies") << modify_runs + 1 << "\n";
  const int64_t first_amount = (modify_runs % 1000) * static_cast<int64_t>(changed.size());
  Row& modify = table.Get("modify", n);
  modify.items = static_cast<int64_t>(changed.size());
  {
    EngineRegister engine(engine_path, "inomer");
    modify.engine.push_back(engine.Modify(changed, first_amount));
    modify.extra["key_cache_bytes"].push_back(static_cast<double>(engine.KeyCacheBytes()));
  }
  {
    SqliteRegister sa(auto_path, SqliteMode::kAutocommit);
    modify.sqlite_auto.push_back(sa.Modify(changed, first_amount));
  }
  {
    SqliteRegister st(tx_path, SqliteMode::kOneTransaction);
    modify.sqlite_tx.push_back(st.Modify(changed, first_amount));
  }

  MeasureMemory(o, table, n, engine_path, auto_path, tx_path);
}

// ---- output ----

// The lists the engine holds for a table a dataset opened and walks in one
// order: the record table, list 0, that index's list and the dataset's view
// list (the other indexes' lists are built when first needed).
constexpr int kListsHeld = 4;

double MemoryLimit(const Row& r) {
  double fixed = *MedianOf(r.extra.at("fixed_bytes"));
  return 8.0 * static_cast<double>(r.n) * kListsHeld * 1.10 + fixed;
}

// The figures of a row: medians, and the spread of the runs.
struct Figures {
  std::optional<double> engine, sqlite_auto, sqlite_tx;
  std::optional<double> engine_min, engine_max;
  std::vector<double> ratios_auto, ratios_tx;
  std::optional<double> ratio_auto, ratio_tx;  // medians of the runs' ratios
};

Figures FiguresOf(const Row& r) {
  Figures f;
  f.engine = MedianOf(r.engine);
  f.sqlite_auto = MedianOf(r.sqlite_auto);
  f.sqlite_tx = MedianOf(r.sqlite_tx);
  f.engine_min = MinOf(r.engine);
  f.engine_max = MaxOf(r.engine);
  f.ratios_auto = RunRatios(r.engine, r.sqlite_auto);
  f.ratios_tx = RunRatios(r.engine, r.sqlite_tx);
  f.ratio_auto = MedianOf(f.ratios_auto);
  f.ratio_tx = MedianOf(f.ratios_tx);
  return f;
}

const Row* FindRow(const Table& table, const std::string& op, int64_t n) {
  for (const Row& r : table.Rows())
    if (r.op == op && r.n == n) return &r;
  return nullptr;
}

// Per run: the fresh process's open over the sequential read of the same run.
std::vector<double> OpenRatios(const Table& table, int64_t n) {
  const Row* open = FindRow(table, "open", n);
  const Row* seq = FindRow(table, "sequential_read", n);
  if (!open || !seq) return {};
  return RunRatios(open->engine, seq->engine);
}

void PrintJson(const Table& table) {
  for (const Row& r : table.Rows()) {
    Figures f = FiguresOf(r);
    std::printf("{\"op\":\"%s\",\"n\":%lld,\"runs\":%zu,\"engine_s\":%s,\"engine_min_s\":%s,\"engine_max_s\":%s,"
                "\"sqlite_auto_s\":%s,\"sqlite_tx_s\":%s,"
                "\"ratio_auto\":%s,\"ratio_auto_min\":%s,\"ratio_auto_max\":%s,"
                "\"ratio_tx\":%s,\"ratio_tx_min\":%s,\"ratio_tx_max\":%s,\"peak_rss_bytes\":%s",
                r.op.c_str(), static_cast<long long>(r.n), r.engine.size(), Json(f.engine).c_str(),
                Json(f.engine_min).c_str(), Json(f.engine_max).c_str(), Json(f.sqlite_auto).c_str(),
                Json(f.sqlite_tx).c_str(), Json(f.ratio_auto).c_str(), Json(MinOf(f.ratios_auto)).c_str(),
                Json(MaxOf(f.ratios_auto)).c_str(), Json(f.ratio_tx).c_str(), Json(MinOf(f.ratios_tx)).c_str(),
                Json(MaxOf(f.ratios_tx)).c_str(), Json(MedianOf(r.peak), true).c_str());
    for (const auto& [key, values] : r.extra) std::printf(",\"%s\":%s", key.c_str(), Json(MedianOf(values), true).c_str());
    if (!r.server.empty())
      std::printf(",\"server_s\":%s,\"ratio_server_engine\":%s", Json(MedianOf(r.server)).c_str(),
                  Json(MedianOf(RunRatios(r.server, r.engine))).c_str());
    if (r.op == "memory") std::printf(",\"limit_bytes\":%s", Json(MemoryLimit(r), true).c_str());
    if (r.op == "sequential_read") {
      std::vector<double> ratios = OpenRatios(table, r.n);
      std::printf(",\"open_ratio\":%s,\"open_ratio_min\":%s,\"open_ratio_max\":%s", Json(MedianOf(ratios)).c_str(),
                  Json(MinOf(ratios)).c_str(), Json(MaxOf(ratios)).c_str());
    }
    std::printf("}\n");
  }
}

std::string Seconds(std::optional<double> v) {
  if (!v) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4f", *v);
  return buf;
}

std::string Times(std::optional<double> v) {
  if (!v) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", *v);
  return buf;
}

// "median (min-max)" of the runs' ratios, or the one ratio of a single run.
std::string TimesSpread(const std::vector<double>& ratios) {
  if (ratios.empty()) return "-";
  if (ratios.size() == 1) return Times(ratios[0]);
  return Times(MedianOf(ratios)) + " (" + Times(MinOf(ratios)) + "-" + Times(MaxOf(ratios)) + ")";
}

// How far apart the runs were: (max - min) / median, in percent.
std::string Spread(const Figures& f) {
  if (!f.engine || !f.engine_min || !f.engine_max || *f.engine <= 0) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.0f%%", (*f.engine_max - *f.engine_min) / *f.engine * 100);
  return buf;
}

std::string Mib(std::optional<double> v) {
  if (!v) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f MiB", *v / 1048576.0);
  return buf;
}

// Each row's cost per item at every size, and its ratio to SQLite in
// autocommit and in one transaction, so that a reader sees the curve.
void PrintGrowth(const Table& table, const Options& o) {
  std::printf("\ngrowth: engine us per item, then x autocommit / x one transaction (medians of the runs)\n");
  std::printf("%-15s", "operation");
  for (int64_t n : o.sizes) std::printf(" %26lld", static_cast<long long>(n));
  std::printf("\n");
  std::vector<std::string> ops;
  for (const Row& r : table.Rows())
    if (r.op != "sequential_read" && std::find(ops.begin(), ops.end(), r.op) == ops.end()) ops.push_back(r.op);
  for (const std::string& op : ops) {
    std::printf("%-15s", op.c_str());
    for (int64_t n : o.sizes) {
      const Row* r = FindRow(table, op, n);
      std::string cell = "-";
      if (r && r->items > 0 && !r->engine.empty()) {
        Figures f = FiguresOf(*r);
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.2f", *f.engine * 1e6 / static_cast<double>(r->items));
        cell = std::string(buf) + " " + Times(f.ratio_auto) + "/" + Times(f.ratio_tx);
      }
      std::printf(" %26s", cell.c_str());
    }
    std::printf("\n");
  }
}

void PrintText(const Table& table, const Options& o) {
  std::printf("%-15s %8s %9s %7s %11s %11s %-20s %-20s %10s %10s\n", "operation", "n", "engine s", "spread",
              "sqlite au s", "sqlite tx s", "x auto (min-max)", "x tx (min-max)", "engine us", "peak RSS");
  for (const Row& r : table.Rows()) {
    if (r.op == "sequential_read") continue;
    Figures f = FiguresOf(r);
    std::optional<double> per;
    if (f.engine && r.items > 0) per = *f.engine * 1e6 / static_cast<double>(r.items);
    char per_text[32] = "-";
    if (per) std::snprintf(per_text, sizeof per_text, "%.2f", *per);
    std::printf("%-15s %8lld %9s %7s %11s %11s %-20s %-20s %10s %10s\n", r.op.c_str(), static_cast<long long>(r.n),
                Seconds(f.engine).c_str(), Spread(f).c_str(), Seconds(f.sqlite_auto).c_str(),
                Seconds(f.sqlite_tx).c_str(), TimesSpread(f.ratios_auto).c_str(), TimesSpread(f.ratios_tx).c_str(),
                per_text, Mib(MedianOf(r.peak)).c_str());
  }
  std::printf("(%s; medians of %d run%s; \"spread\" is (slowest - fastest engine run) / median; a ratio is taken within "
              "each run, its median shown with the smallest and largest; \"engine us\" is per item: per append, "
              "Locate, modify, record filtered, record walked, record left by the purge, or row of the first "
              "screen)\n",
              o.cpu_clock ? "processor time of the process" : "wall clock", o.runs, o.runs == 1 ? "" : "s");

  for (const Row& r : table.Rows()) {
    if (r.op == "sequential_read") {
      Figures f = FiguresOf(r);
      double bytes = *MedianOf(r.extra.at("bytes"));
      std::printf("\nsequential read of the record table and index tables at %lld: %.4f s (%.4f-%.4f; %.1f MiB); "
                  "open target 3x = %.4f s\n",
                  static_cast<long long>(r.n), *f.engine, *f.engine_min, *f.engine_max, bytes / 1048576.0,
                  3 * *f.engine);
    }
  }
  for (const Row& r : table.Rows()) {
    if (r.op != "memory") continue;
    double peak = *MedianOf(r.peak), fixed = *MedianOf(r.extra.at("fixed_bytes"));
    double lists = 8.0 * static_cast<double>(r.n) * kListsHeld;
    std::printf("\nmemory at %lld: peak %s = fixed overhead %s + %s above it; lists: 8 B x %lld records x %d "
                "(record table, list 0, the index's list, view list) = %s; limit (+10%%) %s; SQLite peak %s\n",
                static_cast<long long>(r.n), Mib(peak).c_str(), Mib(fixed).c_str(), Mib(peak - fixed).c_str(),
                static_cast<long long>(r.n), kListsHeld, Mib(lists).c_str(), Mib(MemoryLimit(r)).c_str(),
                Mib(MedianOf(r.extra.at("sqlite_peak_rss_bytes"))).c_str());
  }

  for (const Row& r : table.Rows())
    if (r.op == "modify" && r.extra.count("key_cache_bytes"))
      std::printf("\nkeys kept for the searches after modify at %lld: %s over %d indexes (at most %s per index)\n",
                  static_cast<long long>(r.n), Mib(MedianOf(r.extra.at("key_cache_bytes"))).c_str(), 5,
                  Mib(static_cast<double>(tdb::TDadaTableIO::kKeyCacheBudget)).c_str());

  if (o.sizes.size() > 1) PrintGrowth(table, o);
  if (!o.server.empty()) PrintServer(table, o);

  // The targets, judged on the median of the runs' ratios.
  std::printf("\ntargets (median of the runs, smallest and largest run beside it):\n");
  auto line = [&](const std::string& what, const std::vector<double>& ratios, double limit) {
    if (ratios.empty()) return;
    double median = *MedianOf(ratios);
    std::printf("  %-40s %8.2f <= %-5.2f %-8s (runs %.2f-%.2f)\n", what.c_str(), median, limit,
                median <= limit ? "met" : "NOT met", *MinOf(ratios), *MaxOf(ratios));
  };
  auto ratios = [&](const char* op, int64_t n, bool tx) -> std::vector<double> {
    const Row* r = FindRow(table, op, n);
    if (!r) return {};
    return RunRatios(r->engine, tx ? r->sqlite_tx : r->sqlite_auto);
  };
  const std::string big = std::to_string(o.big);
  for (int64_t n : o.sizes) {
    const std::string at = " at " + std::to_string(n);
    line("append x autocommit" + at, ratios("append", n, false), 0.9);
    line("append x one transaction" + at, ratios("append", n, true), 2.0);
    line("append in batches x one transaction" + at, ratios("append batch", n, true), 1.5);
    line("modify x autocommit" + at, ratios("modify", n, false), n >= 1'000'000 ? 1.0 : 0.8);
    line("modify x one transaction" + at, ratios("modify", n, true), 1.5);
    line("purge x autocommit" + at, ratios("purge", n, false), 0.8);
    line("locate x autocommit" + at, ratios("locate", n, false), 0.6);
    line("filter x autocommit" + at, ratios("filter", n, false), 1.5);
    line("resort x autocommit" + at, ratios("resort", n, false), 2.5);
  }
  if (o.big > 0) {
    line("modify x autocommit at " + big, ratios("modify", o.big, false), 1.0);
    line("modify x one transaction at " + big, ratios("modify", o.big, true), 1.5);
    line("filter x autocommit at " + big, ratios("filter", o.big, false), 1.5);
  }
  for (const Row& r : table.Rows())
    if (r.op == "sequential_read") line("open / sequential read at " + std::to_string(r.n), OpenRatios(table, r.n), 3.0);
  for (const Row& r : table.Rows())
    if (r.op == "memory") {
      std::vector<double> m;
      for (double peak : r.peak) m.push_back(peak / MemoryLimit(r));
      line("memory / limit at " + std::to_string(r.n), m, 1.0);
    }
}

int Usage() {
  std::fprintf(stderr,
               "usage: register_bench [--json] [--quick] [--n N[,N...]] [--only OP[,OP...]] [--clock wall|cpu] "
               "[--big N (0: none)] [--runs R] [--dir DIR] [--rebuild] [--server CONNINFO]\n"
               "  OP: open resort filter locate modify memory purge purgeflushed purgeclerk batch flushed total (append always\n"
               "      runs; purgeclerk only when named;\n"
               "      total: the server's only)\n");
  return 2;
}

std::vector<int64_t> NumberList(const std::string& text) {
  std::vector<int64_t> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) out.push_back(std::stoll(item));
  return out;
}

std::set<std::string> WordSet(const std::string& text) {
  std::set<std::string> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) out.insert(item);
  return out;
}

int RunChildMode(int argc, char** argv) {
  std::string kind = argc > 2 ? argv[2] : "";
  std::string path = argc > 3 ? argv[3] : "";
  std::string arg = argc > 4 ? argv[4] : "";
  SqliteMode mode = arg == "tx" ? SqliteMode::kOneTransaction : SqliteMode::kAutocommit;
  if (kind == "engine-open") return EngineOpenChild(path);
  if (kind == "engine-memory") return EngineMemoryChild(path, arg);
  if (kind == "seqread") return SequentialReadChild(path);
  if (kind == "append-batch") return EngineAppendBatchChild(path, std::stoll(arg));
  if (kind == "sqlite-open") return SqliteOpenChild(path, mode);
  if (kind == "sqlite-memory") return SqliteMemoryChild(path, mode);
  if (kind == "server-open") return ServerOpenChild(path);
  return 2;
}

int Main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--child") == 0) return RunChildMode(argc, argv);
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
      return argv[++i];
    };
    if (a == "--json") o.json = true;
    else if (a == "--quick") o.sizes = {5'000}, o.big = 0, o.runs = 1;
    else if (a == "--n") o.sizes = NumberList(value());
    else if (a == "--only") o.only = WordSet(value());
    else if (a == "--clock") {
      std::string c = value();
      if (c != "wall" && c != "cpu") return Usage();
      o.cpu_clock = c == "cpu";
    }
    else if (a == "--big") o.big = std::stoll(value());
    else if (a == "--runs") o.runs = std::stoi(value());
    else if (a == "--dir") o.dir = value();
    else if (a == "--rebuild") o.rebuild = true;
    else if (a == "--server") o.server = value();
    else return Usage();
  }
  if (o.sizes.empty() || o.runs < 1 || o.big < 0) return Usage();
  for (int64_t n : o.sizes)
    if (n < 1) return Usage();
  // Before any stopwatch, and inherited by the child processes.
  setenv("BENCH_CLOCK", o.cpu_clock ? "cpu" : "wall", 1);
  std::filesystem::create_directories(o.dir);
  CreateEngineFile(o.dir + "/empty.tdb");

  Table table;
  for (int run = 0; run < o.runs; ++run) {
    for (int64_t n : o.sizes) {
      std::fprintf(stderr, "run %d of %d at %lld ...\n", run + 1, o.runs, static_cast<long long>(n));
      RunAtN(o, n, table);
      if (!o.server.empty()) RunServerAtN(o, n, table);
    }
    if (o.big > 0) {
      std::fprintf(stderr, "run %d of %d at %lld ...\n", run + 1, o.runs, static_cast<long long>(o.big));
      RunAtBig(o, table);
    }
  }
  if (o.json) PrintJson(table);
  else PrintText(table, o);
  return 0;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  try {
    return bench::Main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "register_bench: %s\n", e.what());
    return 1;
  }
}
