// register_window_bench: the register window over workload W's receipts,
// offscreen, as a user meets it: opening to the first painted screen, a title
// click that re-sorts and repaints, Page Down and End, the filter bar applied
// and taken off with the status bar's totals, the purge of the marked
// receipts with the renumbering, and the heap the grid's model holds.
//
//   register_window_bench [--n N] [--runs R] [--dir DIR] [--rebuild] [--no-purge]
//
// The register of N receipts is built once in DIR (untimed) and copied for
// each run; every run is a fresh process (so the open is a first open), and
// each figure is the median over the runs.  Not a test; bench/window runs it.
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
#include "engine_side.h"
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

// One run in this process over the register in the current directory:
// prints open_s resort_s pgdn_s end_s purge_s model_bytes rows_left ok; with
// `memory_only` just model_bytes.  Without `purge_too` the purge is left out
// (its figures 0, its check passed).
int ChildRun(int argc, char** argv, int64_t n, bool memory_only, bool purge_too) {
  QApplication application(argc, argv);
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
  return 0;
}

struct Options {
  int64_t n = 100'000;
  int runs = 5;
  std::string dir = "build-bench-app/data";
  bool rebuild = false;
  bool purge = true;
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
    if (a == "--child") {
      // --child N [memory|no-purge]: one run in the current directory.
      const int64_t n = std::atoll(argv[i + 1]);
      const bool memory_only = i + 2 < argc && std::strcmp(argv[i + 2], "memory") == 0;
      const bool no_purge = i + 2 < argc && std::strcmp(argv[i + 2], "no-purge") == 0;
      int child_argc = 1;
      return ChildRun(child_argc, argv, n, memory_only, !no_purge);
    }
    if (a == "--n") o.n = std::atoll(next().c_str());
    else if (a == "--runs") o.runs = std::atoi(next().c_str());
    else if (a == "--dir") o.dir = next();
    else if (a == "--rebuild") o.rebuild = true;
    else if (a == "--no-purge") o.purge = false;
    else {
      std::fprintf(stderr, "usage: register_window_bench [--n N] [--runs R] [--dir DIR] [--rebuild] [--no-purge]\n");
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
  std::vector<double> open, resort, pgdn, end, purge, model, small_model;
  std::vector<double> open_cpu, resort_cpu, pgdn_cpu, end_cpu, purge_cpu;
  std::vector<double> filter, filter_cpu, clear, clear_cpu, totals, totals_cpu, shown;
  bool all_ok = true;
  for (int r = 0; r < o.runs; ++r) {
    std::vector<std::string> args = {"--child", std::to_string(o.n)};
    if (!o.purge) args.push_back("no-purge");
    std::vector<double> f = child(base, args);
    small_model.push_back(child(small, {"--child", std::to_string(small_n), "memory"}).at(0));
    if (f.size() < 20) {
      std::fprintf(stderr, "a run gave %zu figures\n", f.size());
      return 1;
    }
    open.push_back(f[0]);
    resort.push_back(f[1]);
    pgdn.push_back(f[2]);
    end.push_back(f[3]);
    purge.push_back(f[4]);
    model.push_back(f[5]);
    all_ok = all_ok && f[7] == 1;
    open_cpu.push_back(f[8]);
    resort_cpu.push_back(f[9]);
    pgdn_cpu.push_back(f[10]);
    end_cpu.push_back(f[11]);
    purge_cpu.push_back(f[12]);
    filter.push_back(f[13]);
    filter_cpu.push_back(f[14]);
    clear.push_back(f[15]);
    clear_cpu.push_back(f[16]);
    totals.push_back(f[17]);
    totals_cpu.push_back(f[18]);
    shown.push_back(f[19]);
  }
  fs::remove_all(run_dir);

  auto ms = [](const std::vector<double>& v) { return bench::Median(v) * 1000; };
  std::printf("Register window, %lld receipts (workload W), offscreen, median of %d runs\n\n",
              static_cast<long long>(o.n), o.runs);
  std::printf("| what | median (wall clock) | processor time | target | met |\n|---|---|---|---|---|\n");
  auto row = [](const char* what, double value, double cpu, const char* unit, double target) {
    std::printf("| %s | %.1f %s | %.1f %s | <= %.0f %s | %s |\n", what, value, unit, cpu, unit, target, unit,
                value <= target ? "yes" : "NO");
  };
  row("open to the first painted screen", ms(open), ms(open_cpu), "ms", 300);
  row("title click \"Плательщик\": re-sort and repaint", ms(resort), ms(resort_cpu), "ms", 100);
  row("Page Down and repaint", ms(pgdn), ms(pgdn_cpu), "ms", 16);
  row("Ctrl+End (the last receipt) and repaint", ms(end), ms(end_cpu), "ms", 16);
  {
    char what[160];
    std::snprintf(what, sizeof what, "filter bar (a year, a payer, marked hidden: %.0f shown): applied, totals, repaint",
                  bench::Median(shown));
    row(what, ms(filter), ms(filter_cpu), "ms", 100);
  }
  row("filter bar \"Сбросить\": every receipt again, totals, repaint", ms(clear), ms(clear_cpu), "ms", 100);
  row("status bar totals of every receipt (count and sum)", ms(totals), ms(totals_cpu), "ms", 100);
  if (o.purge)
    row("purge of the marked receipts, renumbering included", bench::Median(purge), bench::Median(purge_cpu), "s", 10);
  // The growth per row between the two sizes: the model's own memory beyond
  // the dataset's lists, which it does not copy.
  const double per_row = (bench::Median(model) - bench::Median(small_model)) / static_cast<double>(o.n - small_n);
  std::printf("| grid model heap, growth per row (%.0f KB at %lld rows, %.0f KB at %lld) | %.3f bytes | | a few bytes | %s |\n",
              bench::Median(model) / 1024, static_cast<long long>(o.n), bench::Median(small_model) / 1024,
              static_cast<long long>(small_n), per_row, per_row <= 4 ? "yes" : "NO");
  std::printf("\nLoad average while it ran: %s", LoadAverage().c_str());
  if (o.purge)
    std::printf("Purge result checked (receipts left, numbered 1..M in order): %s\n", all_ok ? "yes" : "NO");
  return all_ok ? 0 : 1;
}
