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
auto Amount(const char* field) {
  return [field](const ReceiptValues& r) -> CellValue { return r.Amount(field); };
}
auto Date() {
  return [](const ReceiptValues& r) -> CellValue { return PaymentDateText(r.Date(receipt_table::kDate)); };
}
tdb::TCurrency Total(const ReceiptValues& r) {
  return tdb::TCurrency{r.Amount(receipt_table::kAmount).value + r.Amount(receipt_table::kServiceFee).value};
}
auto Roubles(tdb::TCurrency (*amount)(const ReceiptValues&)) {
  return [amount](const ReceiptValues& r) -> CellValue { return SplitAmount(amount(r)).roubles; };
}
auto Kopecks(tdb::TCurrency (*amount)(const ReceiptValues&)) {
  return [amount](const ReceiptValues& r) -> CellValue { return SplitAmount(amount(r)).kopecks; };
}
tdb::TCurrency Summa(const ReceiptValues& r) { return r.Amount(receipt_table::kAmount); }
tdb::TCurrency SummaUslug(const ReceiptValues& r) { return r.Amount(receipt_table::kServiceFee); }

std::vector<CellWrite> Pd4Cells() {
  return {
      {2, 6, 1, Date()},
      {2, 8, 1, Text(receipt_table::kPayer)},
      {2, 10, 1, Text(receipt_table::kPayerAddress)},
      {2, 11, 1, Text(receipt_table::kPayerInn)},
      {2, 13, 2, Text(receipt_table::kPayerAccount)},
      {1, 2, 4, Text(receipt_table::kRecipient)},
      {1, 4, 4, Text(receipt_table::kRecipientInn)},
      {1, 4, 8, Text(receipt_table::kRecipientAccount)},
      {1, 6, 5, Text(receipt_table::kBank)},
      {1, 8, 5, Text(receipt_table::kBik)},
      {1, 8, 8, Text(receipt_table::kCorrAccount)},
      {1, 10, 4, Text(receipt_table::kPurpose)},
      {1, 13, 7, Roubles(Summa)},
      {1, 13, 10, Kopecks(Summa)},
      {1, 14, 7, Roubles(SummaUslug)},
      {1, 14, 10, Kopecks(SummaUslug)},
      {1, 15, 7, Roubles(Total)},
      {1, 15, 10, Kopecks(Total)},
  };
}

std::vector<CellWrite> NewTaxCells() {
  return {
      {1, 18, 8, Date()},
      {1, 3, 4, Text(receipt_table::kPayer)},
      {1, 3, 17, Text(receipt_table::kPayerAddress)},
      {1, 17, 4, Text(receipt_table::kPeriod)},
      {1, 17, 17, Text(receipt_table::kPaymentType)},
      {1, 6, 22, Amount(receipt_table::kAmount)},
      {1, 11, 4, Text(receipt_table::kRecipient)},
      {1, 8, 4, Text(receipt_table::kBank)},
      {1, 14, 9, Text(receipt_table::kRecipientInn)},
      {1, 14, 20, Text(receipt_table::kRecipientKpp)},
      {1, 1, 12, Text(receipt_table::kDocIndex)},
      {1, 1, 24, Text(receipt_table::kStatus)},
      {1, 15, 4, Text(receipt_table::kBudgetCode)},
      {1, 16, 4, Text(receipt_table::kOktmo)},
      {1, 16, 17, Text(receipt_table::kReason)},
      {1, 11, 17, Text(receipt_table::kRecipientAccount)},
      {1, 7, 21, Text(receipt_table::kBik)},
      {1, 9, 17, Text(receipt_table::kCorrAccount)},
      {1, 6, 9, Text(receipt_table::kPayerInn)},
  };
}

// The lower part of the PD-4 sb form repeats the boxes this many rows down.
constexpr int kLowerPartOffset = 19;

std::vector<CellWrite> Pd4sbTaxCells() {
  std::vector<CellWrite> cells = {
      {1, 18, 29, Date()},
      {1, 13, 13, Text(receipt_table::kPayer)},
      {1, 14, 13, Text(receipt_table::kPayerAddress)},
      {1, 16, 12, Text(receipt_table::kPeriod)},
      {1, 16, 33, Amount(receipt_table::kAmount)},
      {1, 17, 7, Amount(receipt_table::kPenalty)},
      {1, 17, 18, Amount(receipt_table::kFine)},
      {1, 2, 4, Text(receipt_table::kRecipient)},
      {1, 6, 26, Text(receipt_table::kBank)},
      {1, 10, 4, Text(receipt_table::kPurpose)},
      {1, 4, 14, Text(receipt_table::kTaxOffice)},
  };
  struct Boxes {
    const char* field;
    int length, row, column;
  };
  static constexpr Boxes boxes[] = {
      {receipt_table::kRecipientInn, 10, 4, 4},   {receipt_table::kRecipientKpp, 9, 2, 34},    {receipt_table::kBudgetCode, 20, 11, 23},
      {receipt_table::kOktmo, 11, 4, 32},      {receipt_table::kRecipientAccount, 20, 7, 4},  {receipt_table::kBik, 9, 9, 8},
      {receipt_table::kCorrAccount, 20, 9, 23},   {receipt_table::kPayerInn, 12, 15, 12},    {receipt_table::kPayerAccount, 12, 15, 31},
  };
  for (const Boxes& b : boxes) {
    for (int part : {0, kLowerPartOffset}) {
      for (int i = 0; i < b.length; ++i) {
        const char* field = b.field;
        cells.push_back({1, b.row + part, b.column + i, [field, i](const ReceiptValues& r) -> CellValue {
                           // One character of the stored text per box; the
                           // text is Windows-1251, one byte a character.
                           const std::string text = r.Text(field);
                           const size_t at = static_cast<size_t>(i);
                           return at < text.size() ? FromCp1251(text.substr(at, 1)) : QString();
                         }});
      }
    }
  }
  return cells;
}

void Write(Worksheet& sheet, const CellWrite& cell, const ReceiptValues& receipt) {
  CellValue value = cell.value(receipt);
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

RoublesKopecks SplitAmount(tdb::TCurrency amount) {
  // Whole kopecks first (ten-thousandths / 100, halves to even), so that a
  // rounding up carries into the roubles.
  const int64_t v = amount.value;
  const int64_t magnitude = v < 0 ? -v : v;
  int64_t kopecks = magnitude / 100;
  const int64_t rest = magnitude % 100;
  if (rest > 50 || (rest == 50 && kopecks % 2 == 1)) ++kopecks;
  const QString sign = v < 0 && kopecks != 0 ? QStringLiteral("-") : QString();
  return {sign + QString::number(kopecks / 100), sign + QStringLiteral("%1").arg(kopecks % 100, 2, 10, QLatin1Char('0'))};
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

void PrintLayout(const ReceiptValues& receipt, ReceiptLayout layout, const QString& programDir,
                 const SpreadsheetStarter& start) {
  // The payment code is made before anything is started: it only reads.
  const receipts::QrPayload payload = receipts::BuildQrPayload(
      receipts::QrRequisitesOf(receipt, layout != ReceiptLayout::kPd4), receipts::kPrintedQrCharset);
  const QByteArray qr = payload.ok() ? QrCodePng(payload.bytes) : QByteArray();

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
    Write(*sheet, cell, receipt);
  }
  if (!qr.isEmpty()) sheet->SetPicture(kQrPictureName, qr);
  application->SetVisible(true);
  sheet->Activate();
  sheet.reset();
  book.reset();
  application.reset();
}

void PrintReceipt(const ReceiptValues& receipt, const QString& programDir, const FormChooser& choose,
                  const SpreadsheetStarter& start) {
  if (!receipt.Flag(receipt_table::kTax)) {
    PrintLayout(receipt, ReceiptLayout::kPd4, programDir, start);
    return;
  }
  const std::optional<int> chosen =
      choose({QStringLiteral("Форма ПД - 4 сб (налог)"), QStringLiteral("Форма ПД - налог (новая)")});
  if (!chosen) return;
  PrintLayout(receipt, *chosen == 1 ? ReceiptLayout::kNewTax : ReceiptLayout::kPd4sbTax, programDir, start);
}

}  // namespace printing
