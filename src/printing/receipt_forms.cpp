// The three forms' cell maps and the print command that writes them.
#include "printing/receipt_forms.h"

#include <array>

#include "data/payment_qr.h"
#include "data/receipt_tables.h"
#include "printing/qr_image.h"
#include "widgets/data_text.h"

namespace printing {

namespace receipt_table = receipts::receipt_table;
namespace {

using receipts::ReceiptValues;

using widgets::FromCp1251;

// Value makers for the cell tables.
auto Text(const char* field) {
  return [field](const ReceiptValues& r) -> CellValue { return FromCp1251(r.Text(field)); };
}
auto Date() {
  return [](const ReceiptValues& r) -> CellValue { return PaymentDateText(r.Date(receipt_table::kDate)); };
}
tdb::TCurrency Summa(const ReceiptValues& r) { return r.Amount(receipt_table::kAmount); }
tdb::TCurrency SummaUslug(const ReceiptValues& r) { return r.Amount(receipt_table::kServiceFee); }
// The total adds the two amounts as they are printed, in whole kopecks, so
// that the printed lines add up.
tdb::TCurrency Total(const ReceiptValues& r) {
  return tdb::TCurrency{(receipts::WholeKopecks(Summa(r)) + receipts::WholeKopecks(SummaUslug(r))) * 100};
}

CellWrite Plain(int sheet, int row, int column, std::function<CellValue(const ReceiptValues&)> value) {
  CellWrite cell;
  cell.sheet = sheet;
  cell.row = row;
  cell.column = column;
  cell.value = std::move(value);
  return cell;
}

// A text cell; a framed one is fitted to the lines the template gives it.
CellWrite TextCell(int sheet, int row, int column, const char* field) { return Plain(sheet, row, column, Text(field)); }
CellWrite Framed(int sheet, int row, int column, const char* field, const char* caption, double widthMm, int lines,
                 double points = 8) {
  CellWrite cell = Plain(sheet, row, column, Text(field));
  cell.frame = TextFrame{widthMm, lines, points};
  cell.caption = QString::fromUtf8(caption);
  return cell;
}
// One line of a value cell's type (8.5 pt).
constexpr double kLinePoints = 8.5;
CellWrite AmountCell(int sheet, int row, int column, const char* field) {
  CellWrite cell = Plain(sheet, row, column, [field](const ReceiptValues& r) -> CellValue {
    return tdb::TCurrency{receipts::WholeKopecks(r.Amount(field)) * 100};
  });
  cell.amount = true;
  return cell;
}
CellWrite Roubles(int row, int column, tdb::TCurrency (*amount)(const ReceiptValues&)) {
  CellWrite cell =
      Plain(1, row, column, [amount](const ReceiptValues& r) -> CellValue { return SplitAmount(amount(r)).roubles; });
  cell.amount = true;
  return cell;
}
CellWrite Kopecks(int row, int column, tdb::TCurrency (*amount)(const ReceiptValues&)) {
  CellWrite cell =
      Plain(1, row, column, [amount](const ReceiptValues& r) -> CellValue { return SplitAmount(amount(r)).kopecks; });
  cell.amount = true;
  return cell;
}

// The frames below are the cells' widths and lines in the templates made by
// tools/forms/form_templates.cpp; a change of a form changes both.
std::vector<CellWrite> Pd4Cells() {
  return {
      Plain(2, 6, 1, Date()),
      Framed(2, 8, 1, receipt_table::kPayer, "Ф.И.О. плательщика", 92, 2),
      Framed(2, 10, 1, receipt_table::kPayerAddress, "Адрес плательщика", 92, 3),
      Framed(2, 11, 1, receipt_table::kPayerInn, "ИНН плательщика", 24, 1, kLinePoints),
      Framed(2, 13, 2, receipt_table::kPayerAccount, "Лицевой счет плательщика", 38, 1, kLinePoints),
      Framed(1, 2, 4, receipt_table::kRecipient, "Получатель платежа", 130, 2),
      TextCell(1, 4, 4, receipt_table::kRecipientInn),
      TextCell(1, 4, 8, receipt_table::kRecipientAccount),
      Framed(1, 6, 5, receipt_table::kBank, "Банк получателя", 116, 2),
      TextCell(1, 8, 5, receipt_table::kBik),
      TextCell(1, 8, 8, receipt_table::kCorrAccount),
      Framed(1, 10, 4, receipt_table::kPurpose, "Назначение платежа", 130, 3),
      Roubles(13, 7, Summa),
      Kopecks(13, 10, Summa),
      Roubles(14, 7, SummaUslug),
      Kopecks(14, 10, SummaUslug),
      Roubles(15, 7, Total),
      Kopecks(15, 10, Total),
  };
}

std::vector<CellWrite> NewTaxCells() {
  return {
      Plain(1, 18, 8, Date()),
      Framed(1, 3, 4, receipt_table::kPayer, "Ф.И.О. плательщика", 70.2, 3),
      Framed(1, 3, 17, receipt_table::kPayerAddress, "Адрес плательщика", 61, 5),
      TextCell(1, 17, 4, receipt_table::kPeriod),
      TextCell(1, 17, 17, receipt_table::kPaymentType),
      AmountCell(1, 6, 22, receipt_table::kAmount),
      Framed(1, 11, 4, receipt_table::kRecipient, "Получатель платежа", 70.2, 3),
      Framed(1, 8, 4, receipt_table::kBank, "Банк получателя", 70.2, 3),
      TextCell(1, 14, 9, receipt_table::kRecipientInn),
      TextCell(1, 14, 20, receipt_table::kRecipientKpp),
      TextCell(1, 1, 12, receipt_table::kDocIndex),
      TextCell(1, 1, 24, receipt_table::kStatus),
      TextCell(1, 15, 4, receipt_table::kBudgetCode),
      TextCell(1, 16, 4, receipt_table::kOktmo),
      TextCell(1, 16, 17, receipt_table::kReason),
      TextCell(1, 11, 17, receipt_table::kRecipientAccount),
      TextCell(1, 7, 21, receipt_table::kBik),
      TextCell(1, 9, 17, receipt_table::kCorrAccount),
      TextCell(1, 6, 9, receipt_table::kPayerInn),
  };
}

// The lower part of the PD-4 sb form repeats the boxes this many rows down.
constexpr int kLowerPartOffset = 19;

struct Boxes {
  const char* field;
  const char* caption;
  int length, row, column;
};
constexpr Boxes kPd4sbBoxes[] = {
    {receipt_table::kRecipientInn, "ИНН получателя", 10, 4, 4},   {receipt_table::kRecipientKpp, "КПП получателя", 9, 2, 34},
    {receipt_table::kBudgetCode, "КБК", 20, 11, 23},             {receipt_table::kOktmo, "ОКТМО", 11, 4, 32},
    {receipt_table::kRecipientAccount, "Счет получателя", 20, 7, 4}, {receipt_table::kBik, "БИК", 9, 9, 8},
    {receipt_table::kCorrAccount, "Кор./сч.", 20, 9, 23},         {receipt_table::kPayerInn, "ИНН плательщика", 12, 15, 12},
    {receipt_table::kPayerAccount, "Лицевой счет плательщика", 12, 15, 31},
};

std::vector<CellWrite> Pd4sbTaxCells() {
  std::vector<CellWrite> cells = {
      Plain(1, 18, 29, Date()),
      Framed(1, 13, 13, receipt_table::kPayer, "Ф.И.О. плательщика", 102, 2),
      Framed(1, 14, 13, receipt_table::kPayerAddress, "Адрес плательщика", 102, 3),
      Framed(1, 16, 12, receipt_table::kPeriod, "Налоговый период", 34, 1, kLinePoints),
      AmountCell(1, 16, 33, receipt_table::kAmount),
      AmountCell(1, 17, 7, receipt_table::kPenalty),
      AmountCell(1, 17, 18, receipt_table::kFine),
      Framed(1, 2, 4, receipt_table::kRecipient, "Получатель платежа", 91.8, 2),
      Framed(1, 6, 26, receipt_table::kBank, "Банк получателя", 57.8, 3),
      Framed(1, 10, 4, receipt_table::kPurpose, "Назначение платежа", 132.6, 3),
      Framed(1, 4, 14, receipt_table::kTaxOffice, "Налоговый орган", 51, 2),
  };
  for (const Boxes& b : kPd4sbBoxes) {
    for (int part : {0, kLowerPartOffset}) {
      for (int i = 0; i < b.length; ++i) {
        const char* field = b.field;
        cells.push_back(Plain(1, b.row + part, b.column + i, [field, i](const ReceiptValues& r) -> CellValue {
                           // One character of the stored text per box; the
                           // text is Windows-1251, one byte a character.
                           const std::string text = r.Text(field);
                           const size_t at = static_cast<size_t>(i);
                           return at < text.size() ? FromCp1251(text.substr(at, 1)) : QString();
                         }));
      }
    }
  }
  return cells;
}

void Write(Worksheet& sheet, const CellWrite& cell, const ReceiptValues& receipt, const PrintOptions& options) {
  CellValue value = CellText(cell, receipt, options);
  if (const auto* text = std::get_if<QString>(&value)) {
    sheet.SetCell(cell.row, cell.column, *text);
  } else {
    sheet.SetCell(cell.row, cell.column, std::get<tdb::TCurrency>(value));
  }
}

}  // namespace

QString TemplateFileName(ReceiptLayout layout) {
  switch (layout) {
    case ReceiptLayout::kPd4:
      return QStringLiteral("f4pd.xlsx");
    case ReceiptLayout::kPd4sbTax:
      return QStringLiteral("f4pdnal.xlsx");
    case ReceiptLayout::kNewTax:
      return QStringLiteral("pdnal.xlsx");
  }
  return {};
}

QString PaymentDateText(const tdb::TDateParts& date) {
  static const std::array<const char*, 12> months = {"января", "февраля", "марта",    "апреля",  "мая",    "июня",
                                                     "июля",   "августа", "сентября", "октября", "ноября", "декабря"};
  const QString month = date.month >= 1 && date.month <= 12 ? QString::fromUtf8(months[date.month - 1]) : QString();
  return QStringLiteral("\"%1\" %2 %3").arg(date.day, 2, 10, QLatin1Char('0')).arg(month).arg(date.year);
}

namespace {

// Digits grouped by thousands with spaces: "5430000" -> "5 430 000".
QString Grouped(int64_t whole) {
  QString digits = QString::number(whole);
  for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, QLatin1Char(' '));
  return digits;
}

}  // namespace

RoublesKopecks SplitAmount(tdb::TCurrency amount) {
  // Whole kopecks first, so that a rounding up carries into the roubles.
  const int64_t kopecks = receipts::WholeKopecks(amount);
  const int64_t magnitude = kopecks < 0 ? -kopecks : kopecks;
  const QString sign = kopecks < 0 ? QStringLiteral("-") : QString();
  return {sign + Grouped(magnitude / 100), sign + QStringLiteral("%1").arg(magnitude % 100, 2, 10, QLatin1Char('0'))};
}

QString AmountText(tdb::TCurrency amount) {
  const RoublesKopecks parts = SplitAmount(amount);
  return parts.roubles + QLatin1Char(',') + (parts.kopecks.startsWith(QLatin1Char('-')) ? parts.kopecks.mid(1) : parts.kopecks);
}

const std::vector<CellWrite>& FormCells(ReceiptLayout layout) {
  static const std::vector<CellWrite> pd4 = Pd4Cells();
  static const std::vector<CellWrite> pd4sb = Pd4sbTaxCells();
  static const std::vector<CellWrite> newTax = NewTaxCells();
  switch (layout) {
    case ReceiptLayout::kPd4:
      return pd4;
    case ReceiptLayout::kPd4sbTax:
      return pd4sb;
    case ReceiptLayout::kNewTax:
      return newTax;
  }
  return pd4;
}

CellValue CellText(const CellWrite& cell, const ReceiptValues& receipt, const PrintOptions& options) {
  if (cell.amount && !options.printAmounts) return QString();
  CellValue value = cell.value(receipt);
  if (cell.frame) {
    if (auto* text = std::get_if<QString>(&value)) *text = FitText(*text, *cell.frame).text;
  }
  return value;
}

QStringList OverlongFields(const ReceiptValues& receipt, ReceiptLayout layout) {
  QStringList fields;
  for (const CellWrite& cell : FormCells(layout)) {
    if (!cell.frame) continue;
    const CellValue value = cell.value(receipt);
    const auto* text = std::get_if<QString>(&value);
    if (text && FitText(*text, *cell.frame).cut) fields << cell.caption;
  }
  if (layout == ReceiptLayout::kPd4sbTax)
    for (const Boxes& b : kPd4sbBoxes)
      if (receipt.Text(b.field).size() > static_cast<size_t>(b.length)) fields << QString::fromUtf8(b.caption);
  return fields;
}

std::string PaymentCodePayload(const ReceiptValues& receipt, ReceiptLayout layout, const PrintOptions& options) {
  const receipts::QrPayload payload = receipts::BuildQrPayload(
      receipts::QrRequisitesOf(receipt, layout != ReceiptLayout::kPd4, options.printAmounts),
      receipts::kPrintedQrCharset);
  return payload.ok() ? payload.bytes : std::string();
}

void PrintLayout(const ReceiptValues& receipt, ReceiptLayout layout, const QString& programDir,
                 const SpreadsheetStarter& start, const PrintOptions& options) {
  // The payment code is made before anything is started: it only reads.
  const std::string payload = PaymentCodePayload(receipt, layout, options);
  const QByteArray qr = payload.empty() ? QByteArray() : QrCodePng(payload);

  std::unique_ptr<SpreadsheetApplication> application = start();
  if (!application) return;
  application->SetVisible(false);
  application->SetEnableEvents(false);
  std::unique_ptr<Workbook> book = application->Open(programDir + TemplateFileName(layout));
  std::unique_ptr<Worksheet> sheet;
  int sheetNumber = 0;
  for (const CellWrite& cell : FormCells(layout)) {
    if (cell.sheet != sheetNumber) {
      sheet.reset();
      sheet = book->Worksheets(cell.sheet);
      sheetNumber = cell.sheet;
    }
    Write(*sheet, cell, receipt, options);
  }
  if (!qr.isEmpty()) sheet->SetPicture(kQrPictureName, qr);
  application->SetVisible(true);
  sheet->Activate();
  sheet.reset();
  book.reset();
  application.reset();
}

std::optional<ReceiptLayout> ChooseLayout(const ReceiptValues& receipt, const FormChooser& choose) {
  if (!receipt.Flag(receipt_table::kTax)) return ReceiptLayout::kPd4;
  const std::optional<int> chosen =
      choose({QStringLiteral("Форма ПД - 4 сб (налог)"), QStringLiteral("Форма ПД - налог (новая)")});
  if (!chosen) return std::nullopt;
  return *chosen == 1 ? ReceiptLayout::kNewTax : ReceiptLayout::kPd4sbTax;
}

void PrintReceipt(const ReceiptValues& receipt, const QString& programDir, const FormChooser& choose,
                  const SpreadsheetStarter& start, const PrintOptions& options) {
  const std::optional<ReceiptLayout> layout = ChooseLayout(receipt, choose);
  if (layout) PrintLayout(receipt, *layout, programDir, start, options);
}

}  // namespace printing
