// The print command against a recording spreadsheet: which form a receipt
// gets, the exact calls and cells of each form, and where a failure stops.
#include "printing/receipt_forms.h"

#include <gtest/gtest.h>

#include "printing/text_fit.h"
#include "recording_spreadsheet.h"
#include "support/receipt_fixture.h"

namespace printing {
namespace {

using receipts::MapReceipt;

const QString kDir = QStringLiteral("/opt/formix/");

// Prints `receipt`; the chooser, when asked, records its items and answers
// `choice`.
struct PrintRun {
  CallLog log;
  QStringList offered;
  void Print(const MapReceipt& receipt, std::optional<int> choice = 0) {
    PrintReceipt(
        receipt, kDir,
        [&](const QStringList& items) {
          offered = items;
          return choice;
        },
        RecordingStarter(log));
  }
};

TEST(ReceiptFormsTest, Pd4ReceiptMakesTheWholeSequenceOfCalls) {
  PrintRun run;
  run.Print(receipts::FullPd4Receipt());
  EXPECT_TRUE(run.offered.isEmpty());  // no chooser for a PD-4 receipt
  const QStringList expected = {
      "Create",
      "Visible=0",
      "EnableEvents=0",
      "Open /opt/formix/f4pd.xlsx",
      "Worksheets(2)",
      "Cells(6,1)='\"05\" марта 2025'",
      "Cells(8,1)='Петров Пётр Петрович'",
      "Cells(10,1)='г. Условный, ул. Примерная, д. 1, кв. 2'",
      "Cells(11,1)='583412345660'",
      "Cells(13,2)='000123'",
      "Release sheet 2",
      "Worksheets(1)",
      "Cells(2,4)='ООО «Ромашка-Условная»'",
      "Cells(4,4)='5834123457'",
      "Cells(4,8)='40702810200001234567'",
      "Cells(6,5)='АО «УСЛОВНЫЙ БАНК» г. Условный'",
      "Cells(8,5)='045678901'",
      "Cells(8,8)='30101810500000000901'",
      "Cells(10,4)='Оплата по договору № 15 от 01.03.2025, без НДС'",
      "Cells(13,7)='1 234'",
      "Cells(13,10)='50'",
      "Cells(14,7)='37'",
      "Cells(14,10)='00'",
      "Cells(15,7)='1 271'",
      "Cells(15,10)='50'",
      "Picture QR PNG",
      "Visible=1",
      "Activate 1",
      "Release sheet 1",
      "Release workbook",
      "Release application",
  };
  EXPECT_EQ(run.log.calls, expected);
}

TEST(ReceiptFormsTest, DatesAndAmountsOfThePd4Form) {
  struct Case {
    int day, month, year;
    int64_t summa, uslug;  // ten-thousandths
    QString date, sum, fee, total;  // "roubles kopecks"
  } cases[] = {
      {7, 1, 2024, 12340500, 9900, "\"07\" января 2024", "1 234 05", "0 99", "1 235 04"},
      {17, 12, 2025, 0, 0, "\"17\" декабря 2025", "0 00", "0 00", "0 00"},
      {31, 8, 999, 1007000, 13000, "\"31\" августа 999", "100 70", "1 30", "102 00"},
      {1, 5, 2025, -12340500, 0, "\"01\" мая 2025", "-1 234 -05", "0 00", "-1 234 -05"},
      // Fractions of a kopeck round to the nearest kopeck, halves away from
      // zero as in the payment code, and carry into the roubles; the total
      // adds the kopecks as printed.
      {9, 9, 2025, 9950, 50, "\"09\" сентября 2025", "1 00", "0 01", "1 01"},
      {9, 9, 2025, 1000049, 49, "\"09\" сентября 2025", "100 00", "0 00", "100 00"},
  };
  for (const Case& c : cases) {
    MapReceipt r;
    r.SetDate(c.year, c.month, c.day).SetAmount("Summa", c.summa).SetAmount("SummaUslug", c.uslug);
    PrintRun run;
    run.Print(r);
    const QStringList cells = run.log.Cells();
    auto at = [&](const char* prefix) {
      for (const QString& cell : cells)
        if (cell.startsWith(prefix)) return cell.mid(cell.indexOf('=') + 2).chopped(1);
      return QStringLiteral("<none>");
    };
    EXPECT_EQ(at("Cells(6,1)"), c.date);
    EXPECT_EQ(at("Cells(13,7)") + " " + at("Cells(13,10)"), c.sum) << c.date.toStdString();
    EXPECT_EQ(at("Cells(14,7)") + " " + at("Cells(14,10)"), c.fee) << c.date.toStdString();
    EXPECT_EQ(at("Cells(15,7)") + " " + at("Cells(15,10)"), c.total) << c.date.toStdString();
    // An empty personal account is written, as an empty text.
    EXPECT_TRUE(cells.contains("Cells(13,2)=''"));
  }
}

TEST(ReceiptFormsTest, MarkedReceiptPrintsLikeAnyOther) {
  MapReceipt marked = receipts::FullPd4Receipt();
  marked.SetFlag("slugebnoe", true);
  PrintRun plain, run;
  plain.Print(receipts::FullPd4Receipt());
  run.Print(marked);
  EXPECT_EQ(run.log.calls, plain.log.calls);
}

TEST(ReceiptFormsTest, TaxReceiptGoesThroughTheChooser) {
  // A tax receipt never reaches the PD-4 form, whatever else it holds.
  MapReceipt tax = receipts::FullPd4Receipt();
  tax.SetFlag("naloglog", true);

  PrintRun cancelled;
  cancelled.Print(tax, std::nullopt);
  EXPECT_EQ(cancelled.offered, QStringList({"Форма ПД - 4 сб (налог)", "Форма ПД - налог (новая)"}));
  EXPECT_TRUE(cancelled.log.calls.isEmpty());  // nothing started

  PrintRun first, second;
  first.Print(tax, 0);
  second.Print(tax, 1);
  EXPECT_TRUE(first.log.calls.contains("Open /opt/formix/f4pdnal.xlsx"));
  EXPECT_TRUE(second.log.calls.contains("Open /opt/formix/pdnal.xlsx"));
  for (const PrintRun* run : {&first, &second}) {
    EXPECT_FALSE(run->log.calls.contains("Worksheets(2)"));
    EXPECT_EQ(run->log.calls.mid(run->log.calls.size() - 6),
              QStringList({"Picture QR PNG", "Visible=1", "Activate 1", "Release sheet 1", "Release workbook",
                           "Release application"}));
  }
}

TEST(ReceiptFormsTest, NewTaxFormCellsInOrder) {
  MapReceipt r = receipts::FullTaxReceipt();
  r.SetAmount("Summa", 15005000);  // 1500.50, a number, not text
  PrintRun run;
  run.Print(r, 1);
  const QStringList expected = {
      "Cells(18,8)='\"17\" ноября 2025'",
      "Cells(3,4)='Петров Пётр Петрович'",
      "Cells(3,17)='г. Условный, ул. Примерная, д. 1, кв. 2'",
      "Cells(17,4)='ГД.00.2024'",
      "Cells(17,17)='НС'",
      "Cells(6,22)=CY 15005000",
      "Cells(11,4)='УФК по Условной области (Межрайонная ИФНС России № 9 по Условной области)'",
      "Cells(8,4)='ОТДЕЛЕНИЕ УСЛОВНОЕ//УФК по Условной области'",
      "Cells(14,9)='5834000014'",
      "Cells(14,20)='583401001'",
      "Cells(1,12)='18209965224567890124'",
      "Cells(1,24)='13'",
      "Cells(15,4)='18210604012021000110'",
      "Cells(16,4)='56999000'",
      "Cells(16,17)='ТП'",
      "Cells(11,17)='03100643000000015600'",
      "Cells(7,21)='015678001'",
      "Cells(9,17)='40102810445370000099'",
      "Cells(6,9)='583412345660'",
  };
  EXPECT_EQ(run.log.Cells(), expected);
}

TEST(ReceiptFormsTest, Pd4sbTaxFormWholeCellsAndBoxes) {
  MapReceipt r = receipts::FullTaxReceipt();
  r.Set("InnPoluch", "583400001499")  // 12 digits into 10 boxes
      .Set("InnPlat", "5834123457")    // 10 digits into 12 boxes
      .Set("kodklass", "")
      .SetAmount("peni", 0);
  PrintRun run;
  run.Print(r, 0);
  const QStringList cells = run.log.Cells();
  // The whole cells first, in their order.
  EXPECT_EQ(cells.mid(0, 11), QStringList({
                                  "Cells(18,29)='\"17\" ноября 2025'",
                                  "Cells(13,13)='Петров Пётр Петрович'",
                                  "Cells(14,13)='г. Условный, ул. Примерная, д. 1, кв. 2'",
                                  "Cells(16,12)='ГД.00.2024'",
                                  "Cells(16,33)=CY 38700000",
                                  "Cells(17,7)=CY 0",
                                  "Cells(17,18)=CY 5000000",
                                  "Cells(2,4)='УФК по Условной области (Межрайонная ИФНС России № 9 по Условной области)'",
                                  "Cells(6,26)='ОТДЕЛЕНИЕ УСЛОВНОЕ//УФК по Условной области'",
                                  "Cells(10,4)='Транспортный налог за 2024 год'",
                                  "Cells(4,14)='Межрайонная ИФНС России № 9'",
                              }));
  // Then 2 x (10 + 9 + 20 + 11 + 20 + 9 + 20 + 12 + 12) boxes.
  EXPECT_EQ(cells.size(), 11 + 2 * 123);
  auto boxes = [&](int row, int from, int count) {
    QString out;
    for (int c = from; c < from + count; ++c) {
      const QString prefix = QStringLiteral("Cells(%1,%2)=").arg(row).arg(c);
      const auto it = std::find_if(cells.begin(), cells.end(), [&](const QString& s) { return s.startsWith(prefix); });
      out += it == cells.end() ? QStringLiteral("<none>") : it->mid(prefix.size());
    }
    return out;
  };
  for (int part : {0, 19}) {
    EXPECT_EQ(boxes(4 + part, 4, 10), "'5''8''3''4''0''0''0''0''1''4'") << part;
    EXPECT_EQ(boxes(4 + part, 14, 1), part == 0 ? "'Межрайонная ИФНС России № 9'" : "<none>");
    EXPECT_EQ(boxes(15 + part, 12, 12), "'5''8''3''4''1''2''3''4''5''7'''''") << part;
    EXPECT_EQ(boxes(11 + part, 23, 20), QString("''").repeated(20)) << part;
    EXPECT_EQ(boxes(2 + part, 34, 9), "'5''8''3''4''0''1''0''0''1'") << part;
    EXPECT_EQ(boxes(4 + part, 32, 11), "'5''6''9''9''9''0''0''0'''''''") << part;
    EXPECT_EQ(boxes(9 + part, 8, 9), "'0''1''5''6''7''8''0''0''1'") << part;
    EXPECT_EQ(boxes(15 + part, 31, 12), "'0''0''0''1''2''3'''''''''''''") << part;
  }
  // The order: each value's upper boxes, then its lower ones.
  EXPECT_EQ(cells[11], "Cells(4,4)='5'");
  EXPECT_EQ(cells[21], "Cells(23,4)='5'");
  EXPECT_EQ(cells[31], "Cells(2,34)='5'");
}

TEST(ReceiptFormsTest, ReceiptThatWouldGiveAWrongCodeIsPrintedWithoutOne) {
  MapReceipt r = receipts::FullPd4Receipt();
  r.Set("SchetPoluch", "");
  PrintRun run;
  run.Print(r);
  EXPECT_TRUE(run.log.calls.filter("Picture").isEmpty());
  EXPECT_TRUE(run.log.calls.contains("Activate 1"));
}

TEST(ReceiptFormsTest, FailureEndsTheCommandAtItsStepAndReleasesWhatWasObtained) {
  struct Case {
    QString failAt;
    QStringList tail;  // the calls from the failing one on
  } cases[] = {
      {"Open", {"Open /opt/formix/f4pd.xlsx", "Release application"}},
      {"Worksheets(2)", {"Worksheets(2)", "Release workbook", "Release application"}},
      {"Cells(4,8)", {"Cells(4,8)='40702810200001234567'", "Release sheet 1", "Release workbook", "Release application"}},
      {"Visible=1", {"Visible=1", "Release sheet 1", "Release workbook", "Release application"}},
  };
  for (const Case& c : cases) {
    PrintRun run;
    run.log.failAt = c.failAt;
    EXPECT_THROW(run.Print(receipts::FullPd4Receipt()), PrintError) << c.failAt.toStdString();
    EXPECT_EQ(run.log.calls.mid(run.log.calls.size() - c.tail.size()), c.tail) << c.failAt.toStdString();
    if (c.failAt == "Open") {
      EXPECT_TRUE(run.log.Cells().isEmpty());
    }
  }
}

TEST(ReceiptFormsTest, UntickedAmountSettingLeavesEveryAmountBoxEmptyAndTheCodeWithoutSum) {
  const PrintOptions without{false};
  struct Case {
    ReceiptLayout layout;
    MapReceipt receipt;
    std::vector<std::pair<int, int>> amountCells;
  } cases[] = {
      {ReceiptLayout::kPd4, receipts::FullPd4Receipt(), {{13, 7}, {13, 10}, {14, 7}, {14, 10}, {15, 7}, {15, 10}}},
      {ReceiptLayout::kPd4sbTax, receipts::FullTaxReceipt(), {{16, 33}, {17, 7}, {17, 18}}},
      {ReceiptLayout::kNewTax, receipts::FullTaxReceipt(), {{6, 22}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(TemplateFileName(c.layout).toStdString());
    for (const CellWrite& cell : FormCells(c.layout)) {
      const bool amount = std::find(c.amountCells.begin(), c.amountCells.end(),
                                    std::make_pair(cell.row, cell.column)) != c.amountCells.end();
      EXPECT_EQ(cell.amount, amount) << cell.row << "," << cell.column;
      if (amount) {
        EXPECT_EQ(CellText(cell, c.receipt, without), CellValue(QString()));
        EXPECT_NE(CellText(cell, c.receipt), CellValue(QString()));
      }
    }
    EXPECT_NE(PaymentCodePayload(c.receipt, c.layout).find("|Sum="), std::string::npos);
    const std::string code = PaymentCodePayload(c.receipt, c.layout, without);
    ASSERT_FALSE(code.empty());
    EXPECT_EQ(code.find("|Sum="), std::string::npos);
  }
}

TEST(ReceiptFormsTest, PrintedKopecksAndTheCodesSumComeFromOneRounding) {
  // Amounts with a fraction of a kopeck, as older receipts may hold them.
  for (int64_t summa : {1000050LL, 1000049LL, 9950LL, 12345678LL}) {
    MapReceipt r = receipts::FullPd4Receipt();
    r.SetAmount("Summa", summa);
    const RoublesKopecks printed = SplitAmount(r.Amount("Summa"));
    const std::string code = PaymentCodePayload(r, ReceiptLayout::kPd4);
    const std::string sum = QString(printed.roubles + printed.kopecks).remove(' ').toStdString();
    EXPECT_NE(code.find("|Sum=" + std::to_string(std::stoll(sum)) + "|"), std::string::npos) << summa;
  }
  EXPECT_EQ(AmountText(tdb::TCurrency{54305000}), "5 430,50");
  EXPECT_EQ(AmountText(tdb::TCurrency{999999999900}), "99 999 999,99");
  EXPECT_EQ(AmountText(tdb::TCurrency{500}), "0,05");
}

TEST(ReceiptFormsTest, OverlongValuesAreCutAndNamedBeforePrinting) {
  MapReceipt ordinary = receipts::FullTaxReceipt();
  for (ReceiptLayout layout : {ReceiptLayout::kPd4, ReceiptLayout::kPd4sbTax, ReceiptLayout::kNewTax})
    EXPECT_TRUE(OverlongFields(ordinary, layout).isEmpty()) << TemplateFileName(layout).toStdString();

  MapReceipt r = receipts::FullTaxReceipt();
  // 100 characters, the most the field holds: two lines of the tax office's
  // cell do not take them.
  const std::string office =
      QString("Межрайонная инспекция Федеральной налоговой службы № 19 по Условной области и городу Условному")
          .left(100)
          .toStdString();
  r.Set("imns", office).Set("InnPoluch", "583400001499");
  // Only PD-4 sb prints the tax office, and only it has boxes.
  EXPECT_TRUE(OverlongFields(r, ReceiptLayout::kPd4).isEmpty());
  EXPECT_EQ(OverlongFields(r, ReceiptLayout::kPd4sbTax), QStringList({"Налоговый орган", "ИНН получателя"}));
  EXPECT_TRUE(OverlongFields(r, ReceiptLayout::kNewTax).isEmpty());

  PrintRun run;
  run.Print(r, 0);
  const QString written = run.log.Cells().filter("Cells(4,14)=").value(0);
  EXPECT_TRUE(written.endsWith("…'")) << written.toStdString();
  EXPECT_TRUE(QString::fromStdString(office).startsWith(written.mid(13).chopped(2))) << written.toStdString();
}

TEST(TextFitTest, ValuesTakeTheirLinesAndAreCutAtAWordOnlyWhenTheyMust) {
  const TextFrame twoLines{60, 2, 8};
  struct Case {
    QString text;
    int lines;  // needed in a 60 mm frame at 8 pt
  } cases[] = {
      {"", 0},
      {"Петров Пётр Петрович", 1},
      {"Российская Федерация, 123456, Условная область, г. Условный, ул. Примерная", 2},
      {QString("Оплата по договору ").repeated(8), 5},
      {QString("Ж").repeated(60), 3},  // one word longer than a line breaks inside
  };
  for (const Case& c : cases) {
    const int needed = LinesNeeded(c.text, twoLines);
    EXPECT_NEAR(needed, c.lines, c.lines / 4) << c.text.toStdString();
    const FittedText fitted = FitText(c.text, twoLines);
    EXPECT_EQ(fitted.cut, needed > 2) << c.text.toStdString();
    EXPECT_LE(LinesNeeded(fitted.text, twoLines), 2) << fitted.text.toStdString();
    if (!fitted.cut) {
      EXPECT_EQ(fitted.text, c.text);
    } else {
      EXPECT_TRUE(fitted.text.endsWith("…"));
      EXPECT_TRUE(c.text.startsWith(fitted.text.chopped(1))) << fitted.text.toStdString();
    }
  }
  // A cut between words, not inside one.
  const FittedText cut = FitText(QString("Оплата по договору ").repeated(8), twoLines);
  EXPECT_TRUE(QString("Оплата по договору ").repeated(8).mid(cut.text.size() - 1).startsWith(' ')) << cut.text.toStdString();
  // Wider frames and more lines take more of it.
  EXPECT_GT(LinesNeeded(QString("слово ").repeated(40), {60, 2, 8}), LinesNeeded(QString("слово ").repeated(40), {120, 2, 8}));
}

}  // namespace
}  // namespace printing
