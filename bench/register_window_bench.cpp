// register_window_bench: the register window over workload W's receipts,
// offscreen, as a user meets it: opening to the first painted screen, a title
// click that re-sorts and repaints, Page Down and End, the filter bar applied
// and taken off with the status bar's totals, the purge of the marked
// receipts with the renumbering, and the heap the grid's model holds.
//
//   register_window_bench [--n N] [--runs R] [--dir DIR] [--rebuild] [--no-purge] [--server CONNINFO]
//
// The register of N receipts is built once in DIR (untimed) and copied for
// each run; every run is a fresh process (so the open is a first open), and
// each figure is the median over the runs.  With --server (a cluster whose
// role may create databases; bench/window --server starts one) every run is
// made a second time with the same receipts in a database of that cluster
// (the file copied in once, then a fresh copy of that database per run), and
// the table shows both homes side by side.  Not a test; bench/window runs it.
#include <malloc.h>
#include <time.h>

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/program_windows.h"
#include "bench_data.h"
#include "bench_measure.h"
#include "data/database_creator.h"
#include "data/receipt_tables.h"
#include "engine_side.h"
#include "server/server_connection.h"
#include "server/server_home.h"
#include "server/server_schema.h"
#include "server/server_transfer.h"
#include "widgets/data_grid.h"

namespace {

namespace fs = std::filesystem;
using bench::Stopwatch;

// Answers every question Yes and closes every dialog at once.
class YesPrompts : public ui::UiPrompts {
 public:
  void ShowMessage(const QString&) override {}
  bool AskYesNo(const QString&) override { return true; }
  void ShowError(const QString& text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
  int ShowModal(QDialog&) override { return 0; }
};

// Counts the paints of a widget.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// Seconds of processor time this process has used: on a machine shared with
// other work it tells the work itself from the wait for a processor.
double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Wall-clock and processor seconds of one operation.
struct Timing {
  double wall = 0, cpu = 0;
};

class Timer {
 public:
  Timing Elapsed() const { return {watch_.Seconds(), CpuSeconds() - cpu_}; }

 private:
  Stopwatch watch_;
  double cpu_ = CpuSeconds();
};

// Runs `action`, then the event loop until `counter` has seen a paint.
template <typename Action>
Timing UntilPainted(PaintCounter& counter, Action action) {
  const int before = counter.paints;
  Timer timer;
  action();
  Stopwatch limit;
  while (counter.paints == before && limit.Seconds() < 10) QCoreApplication::processEvents();
  return timer.Elapsed();
}

size_t HeapInUse() { return mallinfo2().uordblks; }

// The first line of /proc/loadavg: how busy the machine was.
std::string LoadAverage() {
  std::FILE* f = std::fopen("/proc/loadavg", "r");
  char line[128] = "?\n";
  if (f) {
    if (!std::fgets(line, sizeof line, f)) std::snprintf(line, sizeof line, "?\n");
    std::fclose(f);
  }
  return line;
}

// One run in this process over the register in the current directory (or,
// with `server`, in that database):
// prints open_s resort_s pgdn_s end_s purge_s model_bytes rows_left ok; with
// `memory_only` just model_bytes.  Without `purge_too` the purge is left out
// (its figures 0, its check passed).
int ChildRun(int argc, char** argv, int64_t n, bool memory_only, bool purge_too, const std::string& server) {
  QApplication application(argc, argv);
  if (!server.empty()) receipts::SetHome(std::make_shared<server::ServerHome>(server, server::ServerHome::PasswordAsk{}));
  YesPrompts prompts;
  Timer open_timer;
  Stopwatch open_watch;
  std::unique_ptr<app::ProgramWindows> forms = app::CreateProgramWindows(ui::AppContext{QString(), &prompts});
  reg::RegisterWindow& main = *forms->registerWindow;
  auto& grid = *static_cast<widgets::DataGrid*>(main.grid);
  PaintCounter painted(grid.viewport());
  main.resize(1000, 700);
  main.show();
  main.RunStartup();
  while (painted.paints == 0 && open_watch.Seconds() < 30) QCoreApplication::processEvents();
  const Timing open = open_timer.Elapsed();
  if (main.Receipts().RecordCount() != n) {
    std::fprintf(stderr, "the register holds %d receipts, not %lld\n", main.Receipts().RecordCount(),
                 static_cast<long long>(n));
    return 1;
  }

  if (memory_only) {
    UntilPainted(painted, [&] { QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier); });
    UntilPainted(painted, [&] { QTest::keyClick(&grid, Qt::Key_Home, Qt::ControlModifier); });
    const size_t bound = HeapInUse();
    grid.dataModel()->setDataSource(nullptr);
    std::printf("%lld\n", static_cast<long long>(bound) - static_cast<long long>(HeapInUse()));
    return 0;
  }

  // The filter bar: a year, a part of a payer's name, marked receipts
  // hidden; applied, the totals written and the grid repainted.  Then the
  // totals of the whole register alone, and the filter taken off again.
  main.filterBar->dateFromEdit->setText(QStringLiteral("01.01.2024"));
  main.filterBar->dateToEdit->setText(QStringLiteral("31.12.2024"));
  main.filterBar->payerEdit->setText(QStringLiteral("петров"));
  main.filterBar->markedBox->setChecked(false);
  const Timing filter = UntilPainted(painted, [&] { main.ApplyFilter(); });
  const int filtered = main.Receipts().RecordCount();
  Timing clear;
  {
    clear = UntilPainted(painted, [&] { QTest::mouseClick(main.filterBar->clearButton, Qt::LeftButton); });
  }
  Timer totals_timer;
  main.UpdateTotals();
  const Timing totals = totals_timer.Elapsed();
  if (main.Receipts().RecordCount() != n || filtered <= 0 || filtered >= n ||
      !main.totalsLabel->text().startsWith(QStringLiteral("Квитанций: "))) {
    std::fprintf(stderr, "the filter did not narrow the register (%d of %lld shown)\n", filtered,
                 static_cast<long long>(n));
    return 1;
  }

  // A click on the "Плательщик" title.
  QHeaderView* header = grid.horizontalHeader();
  const QPoint title(header->sectionViewportPosition(3) + header->sectionSize(3) / 2, header->height() / 2);
  const Timing resort =
      UntilPainted(painted, [&] { QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, title); });
  if (main.Receipts().IndexName() != "iplatel") {
    std::fprintf(stderr, "the title click did not sort\n");
    return 1;
  }

  std::vector<double> pages, pages_cpu;
  const int page_count = std::getenv("BENCH_PAGES") ? std::atoi(std::getenv("BENCH_PAGES")) : 20;
  for (int i = 0; i < page_count; ++i) {
    const Timing page = UntilPainted(painted, [&] { QTest::keyClick(&grid, Qt::Key_PageDown); });
    pages.push_back(page.wall);
    pages_cpu.push_back(page.cpu);
  }
  // Ctrl+End: the last receipt (End alone goes to the last column).
  const Timing end = UntilPainted(painted, [&] { QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier); });
  if (main.Receipts().RecNo() != n) {
    std::fprintf(stderr, "End did not reach the last receipt\n");
    return 1;
  }

  // The model's heap: what unbinding the grid gives back, its screen of rows
  // read and its cache full.
  UntilPainted(painted, [&] { QTest::keyClick(&grid, Qt::Key_Home, Qt::ControlModifier); });
  const size_t bound = HeapInUse();
  grid.dataModel()->setDataSource(nullptr);
  const size_t unbound = HeapInUse();
  grid.dataModel()->setDataSource(&main.ReceiptsSource());
  UntilPainted(painted, [&] { grid.viewport()->update(); });

  tdb::TDataSet& t = main.Receipts();
  Timing purge;
  bool ok = true;
  if (purge_too) {
    Timer purge_timer;
    main.actPurge->trigger();
    purge = purge_timer.Elapsed();
    int64_t marked = 0;
    for (int64_t i = 0; i < n; ++i) marked += bench::IsMarked(i) ? 1 : 0;
    ok = t.RecordCount() == n - marked;
    int expect = 1;
    main.ReceiptsSource().SetEnabled(false);  // the check walks; the grid need not follow
    for (t.First(); ok && !t.Eof(); t.Next()) ok = t.FieldByName("nomer").AsInteger() == expect++;
  }

  std::printf("%.9f %.9f %.9f %.9f %.9f %lld %d %d %.9f %.9f %.9f %.9f %.9f %.9f %.9f %.9f %.9f %.9f %.9f %d\n",
              open.wall, resort.wall, bench::Median(pages), end.wall, purge.wall,
              static_cast<long long>(bound) - static_cast<long long>(unbound), t.RecordCount(), ok ? 1 : 0, open.cpu,
              resort.cpu, bench::Median(pages_cpu), end.cpu, purge.cpu, filter.wall, filter.cpu, clear.wall, clear.cpu,
              totals.wall, totals.cpu, filtered);
  forms.reset();
  receipts::SetHome(nullptr);
  return 0;
}

struct Options {
  int64_t n = 100'000;
  int runs = 5;
  std::string dir = "build-bench-app/data";
  bool rebuild = false;
  bool purge = true;
  std::string server;  // a cluster's connection string; empty: the file only
};

// The connection string of database `name` on the cluster of `cluster`.
std::string DatabaseOn(const std::string& cluster, const std::string& name) {
  const size_t at = cluster.rfind("dbname=");
  return (at == std::string::npos ? cluster + " " : cluster.substr(0, at)) + "dbname=" + name;
}

// The register file copied into a new database `name` of the cluster (the
// program's copy of a data folder; the other three tables empty).
void CopyToServer(const std::string& cluster, const std::string& name, const std::string& file) {
  {
    server::ServerConnection admin(cluster);
    admin.Exec("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    admin.Exec("CREATE DATABASE " + name);
  }
  const fs::path folder = fs::path(file).parent_path() / ("server-copy-" + name);
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (const receipts::ReceiptFile& f : receipts::ReceiptFiles()) {
    if (f.file_name == "formix.tdb")
      fs::copy_file(file, folder / f.file_name);
    else
      receipts::CreateDatabaseFile((folder / f.file_name).string(), f.schema);
  }
  server::ServerConnection owner(DatabaseOn(cluster, name));
  server::CreateSchema(owner);
  server::CopyFolderToServer(folder.string(), owner);
  owner.Exec("VACUUM ANALYZE");
  fs::remove_all(folder);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
    if (a == "--child") {
      // --child N [memory|no-purge] [--server CONNINFO]: one run in the
      // current directory, or in that database.
      const int64_t n = std::atoll(argv[i + 1]);
      bool memory_only = false, no_purge = false;
      std::string server;
      for (int k = i + 2; k < argc; ++k) {
        if (std::strcmp(argv[k], "memory") == 0) memory_only = true;
        if (std::strcmp(argv[k], "no-purge") == 0) no_purge = true;
        if (std::strcmp(argv[k], "--server") == 0 && k + 1 < argc) server = argv[++k];
      }
      int child_argc = 1;
      return ChildRun(child_argc, argv, n, memory_only, !no_purge, server);
    }
    if (a == "--n") o.n = std::atoll(next().c_str());
    else if (a == "--runs") o.runs = std::atoi(next().c_str());
    else if (a == "--dir") o.dir = next();
    else if (a == "--rebuild") o.rebuild = true;
    else if (a == "--no-purge") o.purge = false;
    else if (a == "--server") o.server = next();
    else {
      std::fprintf(stderr,
                   "usage: register_window_bench [--n N] [--runs R] [--dir DIR] [--rebuild] [--no-purge] "
                   "[--server CONNINFO]\n");
      return 2;
    }
  }
  fs::create_directories(o.dir);
  // The register of n receipts, built once.
  auto build = [&](int64_t n) {
    const std::string path = fs::absolute(o.dir + "/w" + std::to_string(n) + ".tdb").string();
    if (o.rebuild || !fs::exists(path)) {
      std::fprintf(stderr, "building the register of %lld receipts...\n", static_cast<long long>(n));
      bench::CreateEngineFile(path + ".part");
      {
        bench::EngineRegister reg(path + ".part", "inomer");
        reg.Append(n);
      }
      fs::rename(path + ".part", path);
    }
    return path;
  };
  const std::string base = build(o.n);
  // A tenth of the size, for how the model's heap grows with the rows.
  const int64_t small_n = o.n / 10;
  const std::string small = build(small_n);

  const fs::path run_dir = fs::absolute(o.dir + "/window-run");
  // Runs a child in a fresh copy of `file`.
  auto child = [&](const std::string& file, std::vector<std::string> args) {
    fs::remove_all(run_dir);
    fs::create_directories(run_dir);
    fs::copy_file(file, run_dir / "formix.tdb");
    const fs::path previous = fs::current_path();
    fs::current_path(run_dir);
    std::vector<double> f = bench::RunChild(args);
    fs::current_path(previous);
    return f;
  };
  if (!o.server.empty()) {
    std::fprintf(stderr, "copying the register of %lld receipts to the server...\n", static_cast<long long>(o.n));
    CopyToServer(o.server, "window_bench_base", base);
  }
  // A fresh database for a run on the server: a copy of the one made above.
  auto server_run = [&](std::vector<std::string> args) {
    {
      server::ServerConnection admin(o.server);
      admin.Exec("DROP DATABASE IF EXISTS window_bench_run WITH (FORCE)");
      admin.Exec("CREATE DATABASE window_bench_run TEMPLATE window_bench_base");
    }
    args.push_back("--server");
    args.push_back(DatabaseOn(o.server, "window_bench_run"));
    // In an empty folder, as the file's runs have theirs.
    fs::remove_all(run_dir);
    fs::create_directories(run_dir);
    const fs::path previous = fs::current_path();
    fs::current_path(run_dir);
    std::vector<double> f = bench::RunChild(args);
    fs::current_path(previous);
    return f;
  };

  // Each run's figures, as the child printed them, per home.
  constexpr size_t kFigures = 20;
  std::vector<std::vector<double>> file_runs, server_runs;
  std::vector<double> small_model;
  bool all_ok = true;
  for (int r = 0; r < o.runs; ++r) {
    std::vector<std::string> args = {"--child", std::to_string(o.n)};
    if (!o.purge) args.push_back("no-purge");
    file_runs.push_back(child(base, args));
    small_model.push_back(child(small, {"--child", std::to_string(small_n), "memory"}).at(0));
    if (!o.server.empty()) server_runs.push_back(server_run(args));
  }
  fs::remove_all(run_dir);
  if (!o.server.empty()) {
    server::ServerConnection admin(o.server);
    admin.Exec("DROP DATABASE IF EXISTS window_bench_run WITH (FORCE)");
    admin.Exec("DROP DATABASE IF EXISTS window_bench_base WITH (FORCE)");
  }
  for (const auto* runs : {&file_runs, &server_runs})
    for (const std::vector<double>& f : *runs) {
      if (f.size() < kFigures) {
        std::fprintf(stderr, "a run gave %zu figures\n", f.size());
        return 1;
      }
      all_ok = all_ok && f[7] == 1;
    }

  // The median over the runs of figure k.
  auto median = [](const std::vector<std::vector<double>>& runs, size_t k) {
    std::vector<double> v;
    for (const std::vector<double>& f : runs) v.push_back(f[k]);
    return v.empty() ? 0.0 : bench::Median(v);
  };
  const bool both = !server_runs.empty();
  std::printf("Register window, %lld receipts (workload W), offscreen, median of %d runs\n\n",
              static_cast<long long>(o.n), o.runs);
  if (both)
    std::printf("| what | data file: wall clock | processor time | server: wall clock | program's processor time | "
                "target | met |\n|---|---|---|---|---|---|---|\n");
  else
    std::printf("| what | median (wall clock) | processor time | target | met |\n|---|---|---|---|---|\n");
  // Figure `wall` and `cpu` of each home, in milliseconds unless `unit` is "s".
  auto row = [&](const std::string& what, size_t wall, size_t cpu, const char* unit, double target) {
    const double scale = std::strcmp(unit, "s") == 0 ? 1 : 1000;
    const double fw = median(file_runs, wall) * scale, fc = median(file_runs, cpu) * scale;
    bool met = fw <= target;
    std::printf("| %s | %.1f %s | %.1f %s |", what.c_str(), fw, unit, fc, unit);
    if (both) {
      const double sw = median(server_runs, wall) * scale, sc = median(server_runs, cpu) * scale;
      met = met && sw <= target;
      std::printf(" %.1f %s | %.1f %s |", sw, unit, sc, unit);
    }
    std::printf(" <= %.0f %s | %s |\n", target, unit, met ? "yes" : "NO");
  };
  row("open to the first painted screen", 0, 8, "ms", 300);
  row("title click \"Плательщик\": re-sort and repaint", 1, 9, "ms", 100);
  row("Page Down and repaint", 2, 10, "ms", 16);
  row("Ctrl+End (the last receipt) and repaint", 3, 11, "ms", 16);
  {
    char what[200];
    std::snprintf(what, sizeof what, "filter bar (a year, a payer, marked hidden: %.0f shown): applied, totals, repaint",
                  median(file_runs, 19));
    if (both && median(server_runs, 19) != median(file_runs, 19))
      std::snprintf(what, sizeof what, "filter bar (a year, a payer, marked hidden: %.0f shown, %.0f on the server!)",
                    median(file_runs, 19), median(server_runs, 19));
    row(what, 13, 14, "ms", 100);
  }
  row("filter bar \"Сбросить\": every receipt again, totals, repaint", 15, 16, "ms", 100);
  row("status bar totals of every receipt (count and sum)", 17, 18, "ms", 100);
  if (o.purge) row("purge of the marked receipts, renumbering included", 4, 12, "s", 10);
  // The growth per row between the two sizes: the model's own memory beyond
  // the dataset's lists, which it does not copy.
  const double model = median(file_runs, 5);
  const double small_median = bench::Median(small_model);
  const double per_row = (model - small_median) / static_cast<double>(o.n - small_n);
  std::printf("| grid model heap (data file), growth per row (%.0f KB at %lld rows, %.0f KB at %lld) | %.3f bytes | |%s "
              "a few bytes | %s |\n",
              model / 1024, static_cast<long long>(o.n), small_median / 1024, static_cast<long long>(small_n), per_row,
              both ? " | |" : "", per_row <= 4 ? "yes" : "NO");
  if (both)
    std::printf("\nOn the server the processor time is the program's only; the server's own work shows in the wall "
                "clock.\n");
  std::printf("\nLoad average while it ran: %s", LoadAverage().c_str());
  if (o.purge)
    std::printf("Purge result checked (receipts left, numbered 1..M in order): %s\n", all_ok ? "yes" : "NO");
  return all_ok ? 0 : 1;
}
