// The print preview offscreen: several receipts rendered into one document
// while the window keeps answering, the kept office reused and ended with
// the service, saving with the question before a file is replaced, printing,
// and a missing LibreOffice reported in the window.
#include "printing/print_preview.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QPdfDocument>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "printing/pdf_service.h"
#include "support/receipt_fixture.h"

namespace printing {
namespace {

// Whether a process of ours still runs with `text` in its command line.
bool ProcessWith(const QString& text) {
  QDirIterator it("/proc", QDir::Dirs | QDir::NoDotAndDotDot);
  while (it.hasNext()) {
    QFile cmdline(it.next() + "/cmdline");
    if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(text.toUtf8())) return true;
  }
  return false;
}

class PrintPreviewTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  PdfRenderer Renderer(const QString& soffice = "soffice") {
    PdfRenderer r;
    r.soffice = soffice;
    r.profileDir = dir_.filePath("profile");
    r.timeoutMs = 180000;
    return r;
  }

  QStringList Filled(const std::vector<std::pair<receipts::MapReceipt, ReceiptLayout>>& forms) {
    QStringList workbooks;
    for (const auto& [receipt, layout] : forms)
      workbooks << FillWorkbook(receipt, layout, FORMIX_PROGRAM_DIR, {}, dir_.path());
    return workbooks;
  }

  // Waits for the window's render; answers its failure (empty on success).
  static QString WaitRendered(PrintPreview& preview) {
    QSignalSpy rendered(&preview, &PrintPreview::Rendered);
    if (preview.rendering() && !rendered.wait(200000)) return "<no answer>";
    return rendered.isEmpty() ? QString() : rendered.front().front().toString();
  }

  QTemporaryDir dir_;
};

TEST_F(PrintPreviewTest, SeveralReceiptsBecomeOneDocumentWhileTheWindowKeepsAnswering) {
  if (QStandardPaths::findExecutable("soffice").isEmpty()) GTEST_SKIP() << "LibreOffice is not installed";
  const QString warmProfile = dir_.filePath("profile-warm");
  {
    PdfService service(Renderer());
    PrintPreview preview(service);
    preview.show();
    const QStringList workbooks = Filled({{receipts::FullPd4Receipt(), ReceiptLayout::kPd4},
                                          {receipts::FullTaxReceipt(), ReceiptLayout::kNewTax},
                                          {receipts::FullTaxReceipt(), ReceiptLayout::kPd4sbTax}});
    preview.ShowForms(workbooks, "Квитанции.pdf", {"Не помещается: «Назначение платежа»"});
    EXPECT_TRUE(preview.rendering());
    EXPECT_TRUE(preview.progress->isVisible());
    EXPECT_FALSE(preview.printButton->isEnabled());
    EXPECT_FALSE(preview.saveButton->isEnabled());
    EXPECT_TRUE(preview.status->text().contains("Назначение платежа"));
    // The event loop runs while LibreOffice works: a timer keeps firing.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(50);
    ASSERT_EQ(WaitRendered(preview), QString());
    EXPECT_GT(ticks, 2);
    EXPECT_EQ(preview.pageCount(), 3);
    // FORMIX_KEEP_RENDERS=DIR keeps a picture of the window, to be looked at.
    if (const QString keep = qEnvironmentVariable("FORMIX_KEEP_RENDERS"); !keep.isEmpty()) {
      QTest::qWait(2000);  // the view draws its pages in the background
      preview.grab().save(keep + "/preview.png");
    }
    EXPECT_FALSE(preview.progress->isVisible());
    EXPECT_TRUE(preview.printButton->isEnabled());

    // "Печать" hands the document to the printer side.
    int printedPages = 0;
    preview.print = [&](QPdfDocument& document) { printedPages = document.pageCount(); };
    preview.printButton->click();
    EXPECT_EQ(printedPages, 3);

    // A second preview goes through the office kept from the first.
    EXPECT_TRUE(service.warm());
    EXPECT_TRUE(ProcessWith(warmProfile));
    preview.ShowForms(Filled({{receipts::FullPd4Receipt(), ReceiptLayout::kPd4}}), "Квитанция 1.pdf");
    ASSERT_EQ(WaitRendered(preview), QString());
    EXPECT_EQ(preview.pageCount(), 1);
    // The filled copies of the first preview are gone with it.
    for (const QString& workbook : workbooks) EXPECT_FALSE(QFile::exists(workbook));
  }
  // The service ends the office it kept, and everything the office started.
  EXPECT_FALSE(ProcessWith(warmProfile));
}

TEST_F(PrintPreviewTest, SavingAddsTheExtensionThenAsksBeforeReplacing) {
  if (QStandardPaths::findExecutable("soffice").isEmpty()) GTEST_SKIP() << "LibreOffice is not installed";
  PdfService service(Renderer());
  PrintPreview preview(service);
  preview.ShowForms(Filled({{receipts::FullPd4Receipt(), ReceiptLayout::kPd4}}), "Квитанция 5.pdf");
  ASSERT_EQ(WaitRendered(preview), QString());

  const QString existing = dir_.filePath("Квитанция 5.pdf");
  QFile old(existing);
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("old");
  old.close();
  QString suggested;
  QStringList asked, told;
  preview.askSavePath = [&](const QString& s) {
    suggested = s;
    return dir_.filePath("Квитанция 5");  // typed without the extension
  };
  preview.inform = [&](const QString& text) { told << text; };
  struct Case {
    bool replace;
    QByteArray startsWith;
  } cases[] = {{false, "old"}, {true, "%PDF"}};
  for (const Case& c : cases) {
    asked.clear();
    told.clear();
    preview.confirmReplace = [&](const QString& path) {
      asked << path;
      return c.replace;
    };
    preview.saveButton->click();
    EXPECT_EQ(asked, QStringList{existing});
    QFile saved(existing);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().startsWith(c.startsWith)) << c.replace;
    EXPECT_EQ(told.size(), c.replace ? 1 : 0);
  }
  EXPECT_TRUE(suggested.endsWith("/Квитанция 5.pdf"));
  EXPECT_TRUE(told.value(0).contains("Квитанция 5.pdf"));
  EXPECT_FALSE(QFile::exists(existing + ".part"));

  // A new name is written without a question; a cancel writes nothing.
  asked.clear();
  preview.askSavePath = [&](const QString&) { return dir_.filePath("новая.PDF"); };
  preview.saveButton->click();
  EXPECT_TRUE(asked.isEmpty());
  EXPECT_TRUE(QFile::exists(dir_.filePath("новая.PDF")));
  EXPECT_FALSE(QFile::exists(dir_.filePath("новая.PDF.pdf")));
}

TEST_F(PrintPreviewTest, MissingLibreOfficeIsSaidInTheWindow) {
  PdfService service(Renderer(dir_.filePath("no-soffice")));
  PrintPreview preview(service);
  preview.ShowForms(Filled({{receipts::FullPd4Receipt(), ReceiptLayout::kPd4}}), "Квитанция 1.pdf");
  const QString failure = WaitRendered(preview);
  EXPECT_TRUE(failure.contains("LibreOffice")) << failure.toStdString();
  EXPECT_EQ(preview.status->text(), failure);
  EXPECT_FALSE(preview.printButton->isEnabled());
  EXPECT_FALSE(preview.saveButton->isEnabled());
  EXPECT_EQ(preview.pageCount(), 0);
}

}  // namespace
}  // namespace printing
