// The .xlsx backend on the real PD-4 template: what a filled copy holds, what
// stays as the template had it, and how bad templates and bad places fail.
#include "printing/xlsx_workbook.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <zip.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <pugixml.hpp>

#include "printing/receipt_forms.h"
#include "printing/xlsx_spreadsheet.h"
#include "recording_spreadsheet.h"
#include "support/receipt_fixture.h"

namespace printing {
namespace {

const std::string kPd4 = std::string(FORMIX_PROGRAM_DIR) + "f4pd.xlsx";

// One entry of a zip package, or "" when it has none.
std::string ZipEntry(const std::string& path, const std::string& name) {
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!z) return "<no zip>";
  std::string bytes;
  zip_stat_t st;
  if (zip_stat(z, name.c_str(), 0, &st) == 0) {
    bytes.resize(st.size);
    zip_file_t* f = zip_fopen(z, name.c_str(), 0);
    zip_fread(f, bytes.data(), st.size);
    zip_fclose(f);
  }
  zip_discard(z);
  return bytes;
}

struct Xml {
  pugi::xml_document doc;
  explicit Xml(const std::string& bytes) { EXPECT_TRUE(doc.load_string(bytes.c_str())); }
  pugi::xml_node Cell(const char* ref) {
    return doc.select_node((std::string("//c[@r='") + ref + "']").c_str()).node();
  }
};

class XlsxWorkbookTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  std::string Out(const char* name) { return dir_.filePath(name).toStdString(); }
  QTemporaryDir dir_;
};

TEST_F(XlsxWorkbookTest, WrittenCellsKeepTheirStyleAndSitInOrder) {
  auto book = XlsxWorkbook::Load(kPd4);
  ASSERT_EQ(book->SheetCount(), 2);
  const std::string before = ZipEntry(kPd4, "xl/worksheets/sheet1.xml");
  const std::string styleOfD2 = Xml(before).Cell("D2").attribute("s").value();
  ASSERT_FALSE(styleOfD2.empty());

  book->SetText(1, 2, 4, "ООО «Ромашка» & <Сыновья> \"кавычки\" 'апостроф'\x01\x1f конец");
  book->SetText(1, 2, 2, "_x0041_ не буква");                 // before D2, in an existing row
  book->SetNumber(1, 13, 7, "1500.5");                        // an amount as a number
  book->SetText(1, 40, 3, "ниже формы");                      // a row of its own past the end
  book->SetText(1, 18, 30, "справа");                         // past the last cell of a row
  book->SetText(2, 8, 1, "");                                 // empty text on the payer sheet
  book->SetActiveSheet(1);
  book->Save(Out("f.xlsx"));

  Xml sheet(ZipEntry(Out("f.xlsx"), "xl/worksheets/sheet1.xml"));
  pugi::xml_node d2 = sheet.Cell("D2");
  EXPECT_STREQ(d2.attribute("s").value(), styleOfD2.c_str());
  EXPECT_STREQ(d2.attribute("t").value(), "inlineStr");
  EXPECT_STREQ(d2.child("is").child("t").text().get(), "ООО «Ромашка» & <Сыновья> \"кавычки\" 'апостроф' конец");
  EXPECT_STREQ(sheet.Cell("B2").child("is").child("t").text().get(), "_x005F_x0041_ не буква");
  EXPECT_STREQ(sheet.Cell("G13").child_value("v"), "1500.5");
  EXPECT_FALSE(sheet.Cell("G13").attribute("t"));

  // Rows ascend, and so do the cells of each row.
  int lastRow = 0;
  for (pugi::xml_node row : sheet.doc.child("worksheet").child("sheetData").children("row")) {
    EXPECT_GT(row.attribute("r").as_int(), lastRow);
    lastRow = row.attribute("r").as_int();
    std::string lastCell;
    for (pugi::xml_node c : row.children("c")) {
      const std::string ref = c.attribute("r").value();
      const auto key = [](const std::string& r) { return std::make_pair(r.find_first_of("0123456789"), r); };
      if (!lastCell.empty()) {
        EXPECT_LT(key(lastCell), key(ref)) << ref;
      }
      lastCell = ref;
    }
  }
  EXPECT_EQ(lastRow, 40);
  EXPECT_TRUE(sheet.Cell("AD18"));

  // Formulas lose their saved results, so that the spreadsheet computes
  // them from what was written; the workbook asks for that on loading.
  pugi::xml_node g12 = sheet.Cell("G12");
  ASSERT_TRUE(g12.child("f"));
  EXPECT_FALSE(g12.child("v"));
  EXPECT_TRUE(Xml(ZipEntry(kPd4, "xl/worksheets/sheet1.xml")).Cell("G12").child("v"));
  EXPECT_TRUE(Xml(ZipEntry(Out("f.xlsx"), "xl/workbook.xml")).doc.select_node("//calcPr[@fullCalcOnLoad='1']"));

  Xml payer(ZipEntry(Out("f.xlsx"), "xl/worksheets/sheet2.xml"));
  EXPECT_STREQ(payer.Cell("A8").attribute("t").value(), "inlineStr");
  EXPECT_STREQ(payer.Cell("A8").child("is").child("t").text().get(), "");
}

TEST_F(XlsxWorkbookTest, ActivatedSheetIsTheOneShownFirst) {
  auto book = XlsxWorkbook::Load(kPd4);
  book->SetActiveSheet(2);
  book->Save(Out("two.xlsx"));
  EXPECT_TRUE(Xml(ZipEntry(Out("two.xlsx"), "xl/workbook.xml")).doc.select_node("//workbookView[@activeTab='1']"));
  EXPECT_FALSE(Xml(ZipEntry(Out("two.xlsx"), "xl/worksheets/sheet1.xml")).doc.select_node("//sheetView[@tabSelected]"));
  EXPECT_TRUE(Xml(ZipEntry(Out("two.xlsx"), "xl/worksheets/sheet2.xml")).doc.select_node("//sheetView[@tabSelected='1']"));
}

TEST_F(XlsxWorkbookTest, PictureGetsAnImageOfItsOwnAndTheTemplateStaysAsItWas) {
  const QByteArray hashBefore = [&] {
    QFile f(QString::fromStdString(kPd4));
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
  }();
  auto book = XlsxWorkbook::Load(kPd4);
  book->ReplacePicture(1, "QR", "PNG bytes");
  EXPECT_THROW(book->ReplacePicture(1, "нет такого", "x"), XlsxError);
  EXPECT_THROW(book->ReplacePicture(2, "QR", "x"), XlsxError);  // the payer sheet has no pictures
  book->Save(Out("p.xlsx"));

  EXPECT_EQ(ZipEntry(Out("p.xlsx"), "xl/media/formix-picture1.png"), "PNG bytes");
  EXPECT_NE(ZipEntry(Out("p.xlsx"), "xl/drawings/_rels/drawing1.xml.rels").find("../media/formix-picture1.png"),
            std::string::npos);
  // The placeholder's own image is still there, unchanged.
  EXPECT_EQ(ZipEntry(Out("p.xlsx"), "xl/media/image1.png"), ZipEntry(kPd4, "xl/media/image1.png"));

  QFile f(QString::fromStdString(kPd4));
  f.open(QIODevice::ReadOnly);
  EXPECT_EQ(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256), hashBefore);
}

TEST_F(XlsxWorkbookTest, BadTemplatesAndBadPlacesFailWithAMessage) {
  auto message = [](auto&& call) -> std::string {
    try {
      call();
    } catch (const XlsxError& e) {
      return e.what();
    }
    return "<no error>";
  };
  EXPECT_EQ(message([&] { XlsxWorkbook::Load(Out("нет.xlsx")); }), "Не найден шаблон «" + Out("нет.xlsx") + "».");

  QFile text(dir_.filePath("text.xlsx"));
  text.open(QIODevice::WriteOnly);
  text.write("not a zip at all");
  text.close();
  EXPECT_NE(message([&] { XlsxWorkbook::Load(Out("text.xlsx")); }).find("не является книгой"), std::string::npos);

  auto book = XlsxWorkbook::Load(kPd4);
  EXPECT_NE(message([&] { book->SetText(3, 1, 1, "x"); }).find("нет листа 3"), std::string::npos);
  EXPECT_NE(message([&] { book->SetText(1, 0, 1, "x"); }).find("вне листа"), std::string::npos);

  // Never over an existing file, and nothing half-written where it fails.
  book->Save(Out("once.xlsx"));
  EXPECT_NE(message([&] { book->Save(Out("once.xlsx")); }).find("уже существует"), std::string::npos);
  EXPECT_NE(message([&] { book->Save(Out("нет/папки.xlsx")); }).find("Не удалось записать"), std::string::npos);
  EXPECT_FALSE(QFile::exists(dir_.filePath("нет/папки.xlsx")));
}

TEST_F(XlsxWorkbookTest, EveryPrintGetsAFolderOfItsOwn) {
  // Copies of earlier prints: one from last month goes, yesterday's stays.
  auto earlier = [&](const char* name, int daysAgo) {
    QDir(dir_.path()).mkpath(name);
    QFile copy(dir_.filePath(name) + "/f4pd.xlsx");
    copy.open(QIODevice::WriteOnly);
    copy.close();
    const time_t when = QDateTime::currentDateTime().addDays(-daysAgo).toSecsSinceEpoch();
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, dir_.filePath(name).toUtf8().constData(), times, 0), 0);
  };
  earlier("formix-print-old", 30);
  earlier("formix-print-new", 1);
  earlier("other-old", 30);

  QStringList shown;
  const SpreadsheetStarter start = XlsxStarter([&](const QString& path) { shown << path; }, dir_.path());
  for (int i = 0; i < 2; ++i)
    PrintLayout(receipts::FullPd4Receipt(), ReceiptLayout::kPd4, FORMIX_PROGRAM_DIR, start);
  ASSERT_EQ(shown.size(), 2);
  EXPECT_NE(shown[0], shown[1]);
  for (const QString& path : shown) {
    EXPECT_TRUE(path.endsWith("/f4pd.xlsx"));
    EXPECT_TRUE(path.startsWith(dir_.path() + "/formix-print-"));
    EXPECT_EQ(Xml(ZipEntry(path.toStdString(), "xl/worksheets/sheet1.xml")).Cell("D4").child("is").child("t").text().get(),
              std::string("5834123457"));
  }
  EXPECT_FALSE(QDir(dir_.filePath("formix-print-old")).exists());
  EXPECT_TRUE(QDir(dir_.filePath("formix-print-new")).exists());
  EXPECT_TRUE(QDir(dir_.filePath("other-old")).exists());
}

TEST_F(XlsxWorkbookTest, FailuresOfTheBackendEndThePrintWithoutShowingAnything) {
  QStringList shown;
  auto present = [&](const QString& path) { shown << path; };

  // A template without the worksheet a form needs.
  QDir programDir(dir_.filePath("program"));
  programDir.mkpath(".");
  QFile::copy(QString::fromStdString(std::string(FORMIX_PROGRAM_DIR) + "pdnal.xlsx"), programDir.filePath("f4pd.xlsx"));
  EXPECT_THROW(PrintLayout(receipts::FullPd4Receipt(), ReceiptLayout::kPd4, programDir.path() + "/",
                           XlsxStarter(present, dir_.path())),
               PrintError);

  // A missing template.
  EXPECT_THROW(PrintLayout(receipts::FullPd4Receipt(), ReceiptLayout::kNewTax, programDir.path() + "/",
                           XlsxStarter(present, dir_.path())),
               XlsxError);

  // A temporary folder that cannot be written (root may write anywhere).
  if (geteuid() != 0) {
    QDir locked(dir_.filePath("locked"));
    locked.mkpath(".");
    chmod(locked.path().toUtf8().constData(), 0500);
    EXPECT_THROW(PrintLayout(receipts::FullPd4Receipt(), ReceiptLayout::kPd4, FORMIX_PROGRAM_DIR,
                             XlsxStarter(present, locked.path())),
                 PrintError);
    chmod(locked.path().toUtf8().constData(), 0700);
  }
  EXPECT_THROW(PrintLayout(receipts::FullPd4Receipt(), ReceiptLayout::kPd4, FORMIX_PROGRAM_DIR,
                           XlsxStarter(present, dir_.filePath("no/such/folder"))),
               PrintError);
  EXPECT_TRUE(shown.isEmpty());
}

}  // namespace
}  // namespace printing

namespace printing {
namespace {

// A desktop whose folders are all empty has no application for workbooks,
// and saying so beats handing the copy to nobody.
TEST(DesktopTest, NoSpreadsheetApplicationIsAnError) {
  QTemporaryDir empty;
  const char* vars[] = {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"};
  QList<QByteArray> saved;
  for (const char* v : vars) {
    saved << qgetenv(v);
    qputenv(v, empty.path().toUtf8());
  }
  EXPECT_FALSE(DesktopOpensSpreadsheets());
  try {
    OpenWithDesktop("/tmp/formix-print-x/f4pd.xlsx");
    ADD_FAILURE() << "no error";
  } catch (const PrintError& e) {
    EXPECT_NE(std::string(e.what()).find("Не найдена программа для работы с таблицами"), std::string::npos);
  }
  // One application that says it opens them is enough.
  QDir(empty.path()).mkpath("applications");
  QFile cache(empty.filePath("applications/mimeinfo.cache"));
  cache.open(QIODevice::WriteOnly);
  cache.write("[MIME Cache]\napplication/vnd.openxmlformats-officedocument.spreadsheetml.sheet=calc.desktop;\n");
  cache.close();
  EXPECT_TRUE(DesktopOpensSpreadsheets());
  for (int i = 0; i < 4; ++i) {
    if (saved[i].isNull())
      qunsetenv(vars[i]);
    else
      qputenv(vars[i], saved[i]);
  }
}

}  // namespace
}  // namespace printing
