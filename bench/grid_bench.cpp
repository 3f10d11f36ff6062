// grid_bench: the data grid over a register of workload W's receipts,
// offscreen: the first painted screen, a title click's re-sort, Page Down and
// End, and the memory the model and the grid add to the dataset's lists.
//
//   grid_bench [--n N] [--runs R] [--dir DIR]
//
// Each figure is the median of R runs; every figure includes painting the
// whole grid (forced with QWidget::grab, which paints whether or not the
// offscreen window has been exposed yet).  The first screen runs in a fresh process
// (the open reads the table from the file); the others in this one.
#include <QApplication>
#include <QKeyEvent>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_data.h"
#include "bench_measure.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/data_source.h"
#include "engine_side.h"
#include "widgets/data_grid.h"

namespace {

using bench::Median;
using bench::Stopwatch;

std::vector<widgets::GridColumn> RegisterColumns() {
  return {{"Номер", "nomer", -1, true},      {"Дата", "DatePlat", 71, true},
          {"Документ", "document", 119},     {"Плательщик", "Platel", 164, true},
          {"Сумма", "Summa", 84, true},      {"Получатель", "Poluchat", 255, true},
          {"Назначение платежа", "NaznPlat", 482}};
}

// The register window's grid on a table, shown offscreen.
struct Screen {
  explicit Screen(const std::string& path) {
    table.SetDatabaseName(path);
    table.SetTableName("formix");
    table.SetIndexName("inomer");
    table.Open();
    source.SetDataSet(&table);
    grid.setColumns(RegisterColumns());
    grid.setExtraFields({"slugebnoe"});
    grid.setDataSource(&source);
    grid.setSortMarker(0);
    grid.resize(696, 400);
    grid.show();
    Paint();
  }
  void Paint() { grid.grab(); }
  ~Screen() {
    grid.setDataSource(nullptr);
    source.SetDataSet(nullptr);
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(&grid, &press);
    Paint();
  }

  tdb::TDadaTable table;
  tdb::TDataSource source;
  widgets::DataGrid grid;
};

int OpenChild(const std::string& path) {
  Stopwatch watch;
  Screen screen(path);
  std::printf("%.9f\n", watch.Seconds());
  return screen.grid.model()->rowCount() > 0 ? 0 : 1;
}

int MemoryChild(const std::string& path) {
  tdb::TDadaTable table;
  table.SetDatabaseName(path);
  table.SetTableName("formix");
  table.SetIndexName("inomer");
  table.Open();
  // The widget machinery's own fixed cost, paid before the figure starts.
  {
    widgets::DataGrid warm;
    warm.show();
    warm.grab();
  }
  tdb::TDataSource source;
  source.SetDataSet(&table);
  // The model alone, having read the first and the last screen.
  const int64_t bare = bench::CurrentRssBytes();
  widgets::DataSetTableModel model;
  model.setColumns(RegisterColumns());
  model.setDataSource(&source);
  model.index(0, 0).data();
  model.index(model.rowCount() - 1, 0).data();
  const int64_t with_model = bench::CurrentRssBytes();
  model.setDataSource(nullptr);
  const int64_t before = bench::CurrentRssBytes();
  {
    widgets::DataGrid grid;
    grid.setColumns(RegisterColumns());
    grid.setDataSource(&source);
    grid.resize(696, 400);
    grid.show();
    grid.grab();
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(&grid, &end);
    grid.grab();
    const int64_t after = bench::CurrentRssBytes();
    std::printf("%lld %d %lld\n", static_cast<long long>(after - before), table.RecordCount(),
                static_cast<long long>(with_model - bare));
    grid.setDataSource(nullptr);
  }
  source.SetDataSet(nullptr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "--child") return args[1] == "open" ? OpenChild(args[2]) : MemoryChild(args[2]);

  int64_t n = 100'000;
  int runs = 5;
  std::string dir = "build-bench/data";
  for (size_t i = 0; i + 1 < args.size(); i += 2) {
    if (args[i] == "--n") n = std::stoll(args[i + 1]);
    if (args[i] == "--runs") runs = std::stoi(args[i + 1]);
    if (args[i] == "--dir") dir = args[i + 1];
  }
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/grid-" + std::to_string(n) + ".tdb";
  if (!std::filesystem::exists(path)) {
    std::fprintf(stderr, "building %lld receipts in %s...\n", static_cast<long long>(n), path.c_str());
    bench::CreateEngineFile(path);
    bench::EngineRegister reg(path, "inomer");
    reg.Append(n);
  }

  std::vector<double> open, resort_first, resort, page_down, end, memory, model_memory;
  for (int run = 0; run < runs; ++run) {
    open.push_back(bench::RunChild({"--child", "open", path})[0]);
    std::vector<double> mem = bench::RunChild({"--child", "memory", path});
    memory.push_back(mem[0] / mem[1]);
    model_memory.push_back(mem[2] / mem[1]);

    Screen screen(path);
    const char* indexes[] = {"iplatel", "isumma", "ipoluchat", "idate", "inomer"};
    const int columns[] = {3, 4, 5, 1, 0};
    for (int k = 0; k < 5; ++k) {
      Stopwatch watch;
      screen.table.SetIndexName(indexes[k]);
      screen.grid.setSortMarker(columns[k]);
      screen.Paint();
      // The first click on an order builds its list from the file; later ones copy it.
      (run == 0 ? resort_first : resort).push_back(watch.Seconds());
    }
    if (run > 0) {
      for (int k = 0; k < 5; ++k) {
        Stopwatch watch;
        screen.table.SetIndexName(indexes[k]);
        screen.grid.setSortMarker(columns[k]);
        screen.Paint();
        resort.push_back(watch.Seconds());
      }
    }
    for (int k = 0; k < 20; ++k) {
      Stopwatch watch;
      screen.Key(Qt::Key_PageDown);
      page_down.push_back(watch.Seconds());
    }
    const int after_pages = screen.table.RecNo();
    for (int k = 0; k < 5; ++k) {
      // The grid's last record is Ctrl+End (End alone goes to the last column).
      screen.Key(Qt::Key_Home, Qt::ControlModifier);
      Stopwatch watch;
      screen.Key(Qt::Key_End, Qt::ControlModifier);
      end.push_back(watch.Seconds());
    }
    if (after_pages <= 1 || screen.table.RecNo() != screen.table.RecordCount())
      std::fprintf(stderr, "the keys did not move the grid: %d after Page Down, %d after End\n", after_pages,
                   screen.table.RecNo());
  }
  std::printf("grid over %lld receipts, median of %d runs (offscreen, painting included)\n", static_cast<long long>(n),
              runs);
  std::printf("  first painted screen (fresh process)  %8.1f ms\n", Median(open) * 1e3);
  std::printf("  title click, order not yet loaded     %8.1f ms\n", Median(resort_first) * 1e3);
  std::printf("  title click, order loaded before      %8.1f ms\n", Median(resort) * 1e3);
  std::printf("  Page Down                             %8.2f ms\n", Median(page_down) * 1e3);
  std::printf("  End                                   %8.2f ms\n", Median(end) * 1e3);
  std::printf("  the model's memory per row            %8.1f bytes\n", Median(model_memory));
  std::printf("  the model's and grid's per row        %8.1f bytes\n", Median(memory));
  return 0;
}
