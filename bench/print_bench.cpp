// print_bench: how long printing takes.
//   fill   from the print command to the filled copy handed to the desktop
//          (payment code, template loaded, cells written, copy saved in its
//          own folder), per form; plus the cost of starting the detached
//          handler process, measured with /bin/true
//   pdf    "Сохранить в PDF…" from the command to the PDF in place, with
//          LibreOffice's first start on a new profile and then warm
//   preview  the print preview's render: a filled form to the PDF it shows,
//          the first through a newly started office, the later ones through
//          the office the preview keeps; and three forms in one document
// Not a test: bench/print builds it and runs it.  Prints one line per row.
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "printing/pdf_export.h"
#include "printing/pdf_service.h"
#include "printing/receipt_forms.h"
#include "printing/xlsx_spreadsheet.h"
#include "support/receipt_fixture.h"

namespace {

struct Stats {
  double median, max;
};

// CPU time of this thread: what the work costs, whatever else the machine
// is doing at the moment.
double CpuMs() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

Stats Of(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms.back()};
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString programDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(FORMIX_PROGRAM_DIR);
  QTemporaryDir temp;

  using printing::ReceiptLayout;
  const struct {
    const char* name;
    ReceiptLayout layout;
    receipts::MapReceipt receipt;
  } forms[] = {{"f4pd", ReceiptLayout::kPd4, receipts::FullPd4Receipt()},
               {"f4pdnal", ReceiptLayout::kPd4sbTax, receipts::FullTaxReceipt()},
               {"pdnal", ReceiptLayout::kNewTax, receipts::FullTaxReceipt()}};

  constexpr int kRuns = 30;
  for (const auto& f : forms) {
    std::vector<double> ms, cpu;
    for (int i = 0; i < kRuns; ++i) {
      QElapsedTimer t;
      double handed = 0, cpuHanded = 0;
      const double cpuStart = CpuMs();
      t.start();
      printing::PrintLayout(f.receipt, f.layout, programDir, printing::XlsxStarter([&](const QString&) {
                              handed = t.nsecsElapsed() / 1e6;
                              cpuHanded = CpuMs() - cpuStart;
                            }, temp.path()));
      ms.push_back(handed);
      cpu.push_back(cpuHanded);
    }
    const Stats s = Of(ms), c = Of(cpu);
    std::printf("fill %-8s wall median %6.2f ms  max %6.2f ms   cpu median %6.2f ms  (%d runs)\n", f.name, s.median,
                s.max, c.median, kRuns);
  }
  {
    std::vector<double> ms;
    for (int i = 0; i < 10; ++i) {
      QElapsedTimer t;
      t.start();
      QProcess::startDetached(QStringLiteral("/bin/true"), {});
      ms.push_back(t.nsecsElapsed() / 1e6);
    }
    const Stats s = Of(ms);
    std::printf("hand-off (detached start)  median %6.2f ms  max %6.2f ms\n", s.median, s.max);
  }

  printing::PdfRenderer renderer;
  renderer.profileDir = temp.filePath("profile");
  for (int i = 0; i < 4; ++i) {
    const QString pdf = temp.filePath(QStringLiteral("r%1.pdf").arg(i));
    QElapsedTimer t;
    t.start();
    printing::SaveReceiptPdf(receipts::FullTaxReceipt(), programDir, [](const QStringList&) { return 0; },
                             [&] { return pdf; }, renderer);
    std::printf("pdf  f4pdnal %s %8.0f ms\n", i == 0 ? "new profile " : "warm profile", t.nsecsElapsed() / 1e6);
  }
  {
    printing::PdfRenderer previewRenderer;
    previewRenderer.profileDir = temp.filePath("preview-profile");
    printing::PdfService service(previewRenderer);
    auto render = [&](const QStringList& workbooks) {
      QEventLoop loop;
      QString failure;
      QObject::connect(&service, &printing::PdfService::Finished, &loop, [&](int, const QString& message) {
        failure = message;
        loop.quit();
      });
      QElapsedTimer t;
      t.start();
      service.Render(workbooks, temp.filePath("preview.pdf"));
      loop.exec();
      if (!failure.isEmpty()) std::printf("preview failed: %s\n", failure.toUtf8().constData());
      return t.nsecsElapsed() / 1e6;
    };
    auto fill = [&](const receipts::MapReceipt& r, ReceiptLayout layout) {
      return printing::FillWorkbook(r, layout, programDir, {}, temp.path());
    };
    for (int i = 0; i < 4; ++i) {
      const double ms = render({fill(receipts::FullPd4Receipt(), ReceiptLayout::kPd4)});
      std::printf("preview f4pd %-30s %8.0f ms\n",
                  i == 0 ? "first (office starts)" : service.warm() ? "later (kept office)" : "later (no kept office)", ms);
    }
    const double three = render({fill(receipts::FullPd4Receipt(), ReceiptLayout::kPd4),
                                 fill(receipts::FullTaxReceipt(), ReceiptLayout::kPd4sbTax),
                                 fill(receipts::FullTaxReceipt(), ReceiptLayout::kNewTax)});
    std::printf("preview three forms, one document (kept office) %8.0f ms\n", three);
  }
  return 0;
}
