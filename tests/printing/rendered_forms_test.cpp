// The three templates filled from full receipts and rendered by LibreOffice:
// every value is found by its caption in the PDF's text, and a reader that
// is not ours decodes the printed payment code back to the exact payload.
// Then each form with the longest values its fields hold: everything the
// print wrote is on the page whole (nothing clipped by its cell), no text is
// smaller than 7 pt, and what did not fit is cut with "…" and named; and the
// "Печатать сумму в квитанции" setting on and off.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <map>
#include <set>

#include "data/payment_qr.h"
#include "printing/pdf_export.h"
#include "printing/receipt_forms.h"
#include "printing/xlsx_spreadsheet.h"
#include "recording_spreadsheet.h"
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
  QString Render(const MapReceipt& receipt, ReceiptLayout layout, const PrintOptions& options = {}) {
    const QString pdf = out_.filePath(TemplateFileName(layout) + ".pdf");
    PrintLayout(receipt, layout, FORMIX_PROGRAM_DIR,
                XlsxStarter([&](const QString& copy) { RenderPdf(TestRenderer(), copy, pdf); }, out_.path()),
                options);
    // FORMIX_KEEP_RENDERS=DIR keeps every rendered form there, to be looked at.
    const QString keep = qEnvironmentVariable("FORMIX_KEEP_RENDERS");
    if (!keep.isEmpty()) {
      const QString name = QString::fromStdString(::testing::UnitTest::GetInstance()->current_test_info()->name());
      QFile::remove(keep + "/" + name + "-" + QFileInfo(pdf).fileName());
      QFile::copy(pdf, keep + "/" + name + "-" + QFileInfo(pdf).fileName());
    }
    return pdf;
  }

  // The PDF's text, line by line, as pdftotext lays it out.
  QStringList Lines(const QString& pdf) {
    return QString::fromUtf8(RunTool("pdftotext", {"-layout", pdf, "-"})).split('\n');
  }

  // Expects `value` on the line of `caption` or on one of the two lines
  // around it; spaces are ignored, so that boxes read as one value.
  void ExpectNear(const QStringList& lines, const QString& caption, const QString& value) {
    auto squeeze = [](QString s) { return s.remove(QRegularExpression("\\s")); };
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

  // The whole text of the PDF in the order it was drawn, without spaces or
  // line breaks, so that a value wrapped over several lines reads whole.
  QString Squeezed(const QString& pdf) {
    return QString::fromUtf8(RunTool("pdftotext", {"-raw", pdf, "-"})).remove(QRegularExpression("\\s"));
  }

  // The smallest type on the page, in points, from the height of every
  // word's box, which is the face's bounding box: 1.3 em for the forms' face
  // (7 pt type gives boxes 9.10 pt high, 8.5 pt 11.06 pt).
  double SmallestType(const QString& pdf) {
    QXmlStreamReader xml(RunTool("pdftotext", {"-bbox", pdf, "-"}));
    double smallest = 1000;
    while (!xml.atEnd()) {
      if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("word")) continue;
      const auto a = xml.attributes();
      const double height = a.value("yMax").toDouble() - a.value("yMin").toDouble();
      smallest = std::min(smallest, height / 1.3);
    }
    return smallest;
  }

  // The value of `key` in a decoded payment code, or nothing.
  static std::optional<std::string> Requisite(const QByteArray& code, const std::string& key) {
    for (const QByteArray& part : code.split('|'))
      if (part.startsWith(QByteArray::fromStdString(key + "="))) return part.mid(key.size() + 1).toStdString();
    return std::nullopt;
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
      {"№ л/сч. плательщика:", {"000123"}},
      {"Ф.И.О. плательщика:", {"Петров Пётр Петрович"}},
      {"Адрес плательщика:", {"г. Условный, ул. Примерная, д. 1, кв. 2"}},
      {"Сумма платежа:", {"1 234 руб. 50 коп."}},
      {"Сумма платы за услуги:", {"37 руб. 00 коп."}},
      {"Итого:", {"1 271 руб. 50 коп.", "\"05\" марта 2025 г."}},
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
      {"Форма № ПД-4сб (налог)", {"УФК по Условной области (Межрайонная ИФНС России"}},
      {"КПП", {"583401001"}},
      {"(налоговый орган)", {"5834000014", "Межрайонная ИФНС России № 9", "56999000"}},
      {"(код ОКТМО)", {"56999000"}},
      {"(наименование банка получателя платежа)", {"03100643000000015600", "ОТДЕЛЕНИЕ УСЛОВНОЕ//УФК по Условной"}},
      {"Кор./сч.", {"015678001", "40102810445370000099"}},
      {"(наименование платежа)", {"Транспортный налог за 2024 год"}},
      {"(код бюджетной классификации)", {"18210604012021000110"}},
      {"Ф.И.О. плательщика:", {"Петров Пётр Петрович"}},
      {"Адрес плательщика:", {"г. Условный, ул. Примерная, д. 1, кв. 2"}},
      {"ИНН плательщика", {"583412345660", "000123"}},
      {"Налоговый период:", {"ГД.00.2024", "3 870,00"}},
      // The total is the template's own formula over the written amounts.
      {"Пени:", {"123,45", "500,00", "4 493,45"}},
      {"Дата:", {"\"17\" ноября 2025"}},
  };
  for (const auto& [caption, values] : byCaption)
    for (const QString& value : values) ExpectNear(lines, caption, value);
  EXPECT_EQ(lines.filter(QRegularExpression("4.493,45")).size(), 2);
  EXPECT_TRUE(lines.filter("ОКАТО").isEmpty());
  EXPECT_EQ(DecodedCode(pdf).toStdString(), Payload(r, true));
}

TEST_F(RenderedFormsTest, NewTax) {
  const MapReceipt r = receipts::FullTaxReceipt();
  const QString pdf = Render(r, ReceiptLayout::kNewTax);
  const QStringList lines = Lines(pdf);
  const std::map<QString, QStringList> byCaption = {
      {"Индекс документа", {"18209965224567890124", "13"}},
      {"(Ф.И.О. плательщика)", {"Петров Пётр Петрович", "г. Условный, ул. Примерная"}},
      {"Сумма", {"ИНН 583412345660", "3 870,00"}},
      {"БИК", {"015678001"}},
      {"(наименование банка получателя)", {"ОТДЕЛЕНИЕ УСЛОВНОЕ//УФК", "Сч. № 40102810445370000099"}},
      {"(получатель платежа)", {"УФК по Условной области", "Сч. № 03100643000000015600"}},
      {"ИНН получателя", {"5834000014", "КПП 583401001", "КБК 18210604012021000110"}},
      {"ОКТМО", {"ОКТМО 56999000", "(106) ТП", "(107) ГД.00.2024", "(110) НС"}},
      {"Подпись", {"\"17\" ноября 2025"}},
  };
  for (const auto& [caption, values] : byCaption)
    for (const QString& value : values) ExpectNear(lines, caption, value);
  EXPECT_EQ(lines.filter("КБК 18210604012021000110").size(), 2);
  EXPECT_TRUE(lines.filter("ОКАТО").isEmpty());
  EXPECT_EQ(DecodedCode(pdf).toStdString(), Payload(r, true));
}

// A text of exactly `length` characters, words of a recipient's or a
// purpose's kind, for the longest values a field holds.
std::string Longest(size_t length, const char* words) {
  const QString source = QString::fromUtf8(words);
  QString text;
  while (text.size() < static_cast<qsizetype>(length)) text += source + " ";
  text.truncate(static_cast<qsizetype>(length));
  if (text.endsWith(' ')) text[text.size() - 1] = QChar(u'я');
  return text.toStdString();
}

// Every field at the most its column holds.
MapReceipt LongestReceipt(bool tax) {
  MapReceipt r = tax ? receipts::FullTaxReceipt() : receipts::FullPd4Receipt();
  const char* office = "Управление Федерального казначейства по Условной области (Межрайонная инспекция "
                       "Федеральной налоговой службы России № 19 по Условной области)";
  r.Set("Poluchat", Longest(100, office))
      .Set("BancPoluch", Longest(100, "ОТДЕЛЕНИЕ УСЛОВНОЕ БАНКА РОССИИ//УФК по Условной области г. Условный"))
      .Set("imns", Longest(100, "Межрайонная инспекция Федеральной налоговой службы № 19 по Условной области"))
      .Set("NaznPlat", Longest(210, "Оплата по договору возмездного оказания услуг № 1523/17 от 01.03.2025 "
                                    "за март и апрель, в том числе НДС"))
      .Set("Platel", Longest(100, "Константинопольский-Северный Александр-Вениамин Константинович"))
      .Set("AdresPlat", Longest(150, "Российская Федерация, 123456, Условная область, г. Условный, "
                                     "ул. Примерная-Набережная, д. 145, корп. 3, кв. 278"))
      .Set("LschPlat", "12345678901234567890")
      .Set("srok", "ГД.00.2024")
      .SetAmount("Summa", 999999999900)  // 99 999 999,99
      .SetAmount("SummaUslug", 99999900)
      .SetAmount("peni", 99999999900)
      .SetAmount("straf", 99999999900);
  return r;
}

TEST_F(RenderedFormsTest, LongestValuesPrintWholeOrCutAndNamedAndNeverSmall) {
  struct Case {
    ReceiptLayout layout;
    bool tax;
    QStringList amounts;  // as the form shows them
    QStringList tooManyForBoxes;
  } cases[] = {
      {ReceiptLayout::kPd4, false, {"99 999 999руб.99коп.", "9 999руб.99коп.", "100 009 999руб.98коп."}, {}},
      {ReceiptLayout::kPd4sbTax,
       true,
       {"99 999 999,99", "9 999 999,99", "119 999 999,97"},
       {"Лицевой счет плательщика"}},  // 20 characters, 12 boxes
      {ReceiptLayout::kNewTax, true, {"99 999 999,99"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(TemplateFileName(c.layout).toStdString());
    const MapReceipt r = LongestReceipt(c.tax);
    const QString pdf = Render(r, c.layout);
    const QString text = Squeezed(pdf);
    QStringList cut;
    for (const CellWrite& cell : FormCells(c.layout)) {
      if (!cell.frame) continue;
      const QString written = std::get<QString>(CellText(cell, r));
      const QString whole = std::get<QString>(cell.value(r));
      if (written != whole) {
        cut << cell.caption;
        EXPECT_TRUE(written.endsWith("…")) << written.toStdString();
        EXPECT_TRUE(whole.startsWith(written.chopped(1))) << written.toStdString();
      }
      // The receipt part repeats it: twice on the page, whole.
      EXPECT_GE(text.count(QString(written).remove(QRegularExpression("\\s"))), 2) << written.toStdString();
    }
    EXPECT_EQ(OverlongFields(r, c.layout), cut + c.tooManyForBoxes);
    for (const QString& amount : c.amounts)
      EXPECT_TRUE(text.contains(QString(amount).remove(' '))) << amount.toStdString();
    EXPECT_GE(SmallestType(pdf), kSmallestPrintedPoints - 0.05);
    EXPECT_TRUE(QString::fromUtf8(RunTool("pdfinfo", {pdf})).contains(QRegularExpression("Pages: +1\\n")));
  }
}

TEST_F(RenderedFormsTest, AmountSettingLeavesTheBoxesAndTheCodeWithoutSum) {
  // A sum with a fraction of a kopeck: the printed kopecks and the code's Sum
  // come from one rounding.
  MapReceipt r = receipts::FullTaxReceipt();
  r.SetAmount("Summa", 1000050).SetAmount("peni", 0).SetAmount("straf", 0);  // 100,005
  for (bool printAmounts : {true, false}) {
    SCOPED_TRACE(printAmounts);
    const QString pdf = Render(r, ReceiptLayout::kNewTax, PrintOptions{printAmounts});
    const QStringList lines = Lines(pdf);
    const QByteArray code = DecodedCode(pdf);
    ASSERT_FALSE(code.isEmpty());
    if (printAmounts) {
      EXPECT_EQ(lines.filter("100,01").size(), 2);
      EXPECT_EQ(Requisite(code, "Sum"), "10001");
    } else {
      EXPECT_TRUE(lines.filter(QRegularExpression("\\d,\\d\\d")).isEmpty()) << lines.join('\n').toStdString();
      EXPECT_EQ(Requisite(code, "Sum"), std::nullopt);
      EXPECT_EQ(Requisite(code, "CBC"), "18210604012021000110");  // the rest is there
    }
  }
  MapReceipt pd4 = receipts::FullPd4Receipt();
  const QString without = Render(pd4, ReceiptLayout::kPd4, PrintOptions{false});
  for (const QString& line : Lines(without).filter("коп."))
    EXPECT_FALSE(line.contains(QRegularExpression("\\d\\s*(руб|коп)"))) << line.toStdString();
  EXPECT_EQ(Requisite(DecodedCode(without), "Sum"), std::nullopt);
}

}  // namespace
}  // namespace printing
