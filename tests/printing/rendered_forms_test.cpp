// The three templates filled from full receipts and rendered by LibreOffice:
// every value is found by its caption in the PDF's text, and a reader that
// is not ours decodes the printed payment code back to the exact payload.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <map>

#include "data/payment_qr.h"
#include "printing/pdf_export.h"
#include "printing/receipt_forms.h"
#include "printing/xlsx_spreadsheet.h"
#include "support/receipt_fixture.h"

namespace printing {
namespace {

using receipts::MapReceipt;

// One LibreOffice profile for the whole run: its first start is the slow one.
const QTemporaryDir& Profile() {
  static QTemporaryDir dir;
  return dir;
}

PdfRenderer TestRenderer() {
  PdfRenderer r;
  r.profileDir = Profile().path() + "/profile";
  r.timeoutMs = 120000;  // a loaded machine; the hang test below uses its own
  return r;
}

QByteArray RunTool(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000)) {
    p.kill();
    p.waitForFinished();
    ADD_FAILURE() << program.toStdString() << " did not finish";
  }
  return p.readAllStandardOutput();
}

class RenderedFormsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable("soffice").isEmpty())
      GTEST_SKIP() << "LibreOffice (soffice) is not installed; scripts/install-deps installs it";
    ASSERT_TRUE(out_.isValid());
  }

  // Fills `layout` from `receipt` and renders it; answers the PDF's path.
  QString Render(const MapReceipt& receipt, ReceiptLayout layout) {
    const QString pdf = out_.filePath(TemplateFileName(layout) + ".pdf");
    PrintLayout(receipt, layout, FORMIX_PROGRAM_DIR,
                XlsxStarter([&](const QString& copy) { RenderPdf(TestRenderer(), copy, pdf); }, out_.path()));
    return pdf;
  }

  // The PDF's text, line by line, as pdftotext lays it out.
  QStringList Lines(const QString& pdf) {
    return QString::fromUtf8(RunTool("pdftotext", {"-layout", pdf, "-"})).split('\n');
  }

  // Expects `value` on the line of `caption` or on one of the two lines
  // around it; spaces are ignored, so that boxes read as one value.
  void ExpectNear(const QStringList& lines, const QString& caption, const QString& value) {
    auto squeeze = [](QString s) { return s.remove(' ').replace(',', '.'); };
    for (int i = 0; i < lines.size(); ++i) {
      if (!lines[i].contains(caption)) continue;
      for (int j = std::max(0, i - 2); j <= std::min<int>(lines.size() - 1, i + 2); ++j)
        if (squeeze(lines[j]).contains(squeeze(value))) return;
    }
    ADD_FAILURE() << "«" << value.toStdString() << "» not found by «" << caption.toStdString() << "» in\n"
                  << lines.join('\n').toStdString();
  }

  // The payment code read off the first page by zbarimg, as raw bytes.
  QByteArray DecodedCode(const QString& pdf) {
    const QString png = out_.filePath("page");
    RunTool("pdftoppm", {"-r", "200", "-png", "-f", "1", "-l", "1", "-singlefile", pdf, png});
    QByteArray bytes = RunTool("zbarimg", {"--raw", "-q", "-Sbinary", png + ".png"});
    if (bytes.endsWith('\n')) bytes.chop(1);
    return bytes;
  }

  static std::string Payload(const MapReceipt& r, bool tax) {
    auto p = receipts::BuildQrPayload(receipts::QrRequisitesOf(r, tax), receipts::kPrintedQrCharset);
    EXPECT_TRUE(p.ok()) << p.fault;
    return p.bytes;
  }

  QTemporaryDir out_;
};

TEST_F(RenderedFormsTest, Pd4) {
  const MapReceipt r = receipts::FullPd4Receipt();
  const QString pdf = Render(r, ReceiptLayout::kPd4);
  const QStringList lines = Lines(pdf);
  const std::map<QString, QStringList> byCaption = {
      {"(наименование получателя платежа)", {"ООО «Ромашка-Условная»"}},
      {"(ИНН получателя платежа)", {"5834123457"}},
      {"(номер счета получателя платежа)", {"40702810200001234567"}},
      {"(наименование банка получателя платежа)", {"АО «УСЛОВНЫЙ БАНК» г. Условный"}},
      {"БИК", {"045678901", "30101810500000000901"}},
      {"(наименование платежа)", {"Оплата по договору № 15 от 01.03.2025, без НДС"}},
      {"(номер лицевого счета (код) плательщика)", {"000123"}},
      {"Ф.И.О., адрес плательщика:", {"Петров Пётр Петрович, г. Условный, ул. Примерная, д. 1, кв. 2"}},
      {"Сумма платежа:", {"1234 руб. 50 коп."}},
      {"Сумма платы за услуги:", {"37 руб. 00 коп."}},
      {"Итого:", {"1271 руб. 50 коп.", "\"05\" марта 2025 г."}},
      {"ИНН плательщика:", {"583412345660"}},
  };
  for (const auto& [caption, values] : byCaption)
    for (const QString& value : values) ExpectNear(lines, caption, value);
  // The receipt part repeats the notice part.
  EXPECT_EQ(lines.filter("40702810200001234567").size(), 2);
  EXPECT_EQ(lines.filter("Квитанция").size(), 1);
  // The payer's worksheet is hidden: one page.
  EXPECT_TRUE(QString::fromUtf8(RunTool("pdfinfo", {pdf})).contains(QRegularExpression("Pages: +1\\n")));
  EXPECT_EQ(DecodedCode(pdf).toStdString(), Payload(r, false));
}

TEST_F(RenderedFormsTest, Pd4sbTax) {
  const MapReceipt r = receipts::FullTaxReceipt();
  const QString pdf = Render(r, ReceiptLayout::kPd4sbTax);
  const QStringList lines = Lines(pdf);
  const std::map<QString, QStringList> byCaption = {
      {"(наименование получателя платежа)",
       {"УФК по Условной области (Межрайонная ИФНС России № 9 по Условной области)", "583401001"}},
      {"(налоговый орган)", {"5834000014", "Межрайонная ИФНС России № 9", "56999000"}},
      {"(наименование банка получателя платежа)", {"03100643000000015600", "ОТДЕЛЕНИЕ УСЛОВНОЕ//УФК по Условной"}},
      {"Кор./сч.", {"015678001", "40102810445370000099"}},
      {"(наименование платежа)", {"Транспортный налог за 2024 год"}},
      {"(код бюджетной классификации)", {"18210604012021000110"}},
      {"Ф.И.О. плательщика:", {"Петров Пётр Петрович"}},
      {"Адрес плательщика:", {"г. Условный, ул. Примерная, д. 1, кв. 2"}},
      {"ИНН плательщика", {"583412345660", "000123"}},
      {"Налоговый период:", {"ГД.00.2024", "3870.00"}},
      // The total is the template's own formula over the written amounts.
      {"Пени:", {"123.45", "500.00", "4493.45"}},
      {"Дата:", {"\"17\" ноября 2025"}},
  };
  for (const auto& [caption, values] : byCaption)
    for (const QString& value : values) ExpectNear(lines, caption, value);
  EXPECT_EQ(lines.filter("4493").size(), 2);
  EXPECT_EQ(DecodedCode(pdf).toStdString(), Payload(r, true));
}

TEST_F(RenderedFormsTest, NewTax) {
  const MapReceipt r = receipts::FullTaxReceipt();
  const QString pdf = Render(r, ReceiptLayout::kNewTax);
  const QStringList lines = Lines(pdf);
  const std::map<QString, QStringList> byCaption = {
      {"Индекс документа", {"18209965224567890124", "13"}},
      {"(Ф.И.О. плательщика)", {"Петров Пётр Петрович", "г. Условный, ул. Примерная"}},
      {"Сумма", {"ИНН 583412345660", "3870.00"}},
      {"БИК", {"015678001"}},
      {"(наименование банка получателя)", {"ОТДЕЛЕНИЕ УСЛОВНОЕ//УФК", "Сч. № 40102810445370000099"}},
      {"(получатель платежа)", {"УФК по Условной области", "Сч. № 03100643000000015600"}},
      {"ИНН получателя", {"5834000014", "КПП 583401001", "КБК 18210604012021000110"}},
      {"ОКАТО", {"ОКАТО 56999000", "(106) ТП", "(107) ГД.00.2024", "(110) НС"}},
      {"Подпись", {"\"17\" ноября 2025"}},
  };
  for (const auto& [caption, values] : byCaption)
    for (const QString& value : values) ExpectNear(lines, caption, value);
  EXPECT_EQ(lines.filter("КБК 18210604012021000110").size(), 2);
  EXPECT_EQ(DecodedCode(pdf).toStdString(), Payload(r, true));
}

}  // namespace
}  // namespace printing
