// Wires the print commands of the printing layer into the register.
#include "register/print_commands.h"

#include <QDir>
#include <QFileInfo>

#include "data/receipt_tables.h"
#include "data/receipt_values.h"
#include "engine/dataset/dataset.h"
#include "printing/xlsx_spreadsheet.h"

namespace reg {

namespace receipt_table = receipts::receipt_table;

PrintCommands::PrintCommands(QString programDir, FormChooser& chooser, ui::UiPrompts& prompts, QWidget* dialogParent)
    : start(printing::XlsxStarter()),
      renderer(printing::DefaultPdfRenderer()),
      programDir_(std::move(programDir)),
      chooser_(chooser),
      prompts_(prompts) {
  (void)dialogParent;
}

PrintCommands::~PrintCommands() = default;

printing::FormChooser PrintCommands::Chooser() {
  return [this](const QStringList& items) -> std::optional<int> {
    chooser_.formList->clear();
    chooser_.formList->addItems(items);
    if (prompts_.ShowModal(chooser_) == QDialog::Rejected) return std::nullopt;
    return chooser_.formList->currentRow();
  };
}

namespace {

QString OverlongNote(const QStringList& fields) {
  return QStringLiteral("не помещается на бланке и будет обрезано: %1").arg(fields.join(QStringLiteral(", ")));
}

}  // namespace

void PrintCommands::Print(tdb::TDataSet& receipts) {
  const receipts::DataSetReceipt receipt(receipts);
  const std::optional<printing::ReceiptLayout> layout = printing::ChooseLayout(receipt, Chooser());
  if (!layout) return;
  // Told before the form goes out, as the preview tells it.
  const QStringList overlong = printing::OverlongFields(receipt, *layout);
  if (!overlong.isEmpty() &&
      !prompts_.AskYesNo(QStringLiteral("Квитанция %1: %2.\n\nПечатать всё равно?")
                             .arg(receipts.FieldByName(receipt_table::kNumber).AsInteger())
                             .arg(OverlongNote(overlong))))
    return;
  printing::PrintLayout(receipt, *layout, programDir_, start, options());
}

printing::PrintPreview& PrintCommands::PreviewWindow() {
  if (!service_) service_ = std::make_unique<printing::PdfService>(renderer);
  // A window of its own, next to the register, which the clerk may keep open.
  if (!preview_) preview_ = std::make_unique<printing::PrintPreview>(*service_);
  return *preview_;
}

bool PrintCommands::FillSelected(tdb::TDataSet& receipts, const SelectedReceipts& selected, Filled& filled) {
  const receipts::DataSetReceipt receipt(receipts);
  const printing::PrintOptions settings = options();
  // Tax receipts take the form chosen once, for all of them.
  std::optional<printing::ReceiptLayout> taxLayout;
  bool cancelled = false;
  int first = 0;
  try {
    selected([&] {
      if (cancelled) return;
      std::optional<printing::ReceiptLayout> layout = printing::ReceiptLayout::kPd4;
      if (receipt.Flag(receipt_table::kTax)) {
        if (!taxLayout) taxLayout = printing::ChooseLayout(receipt, Chooser());
        if (!taxLayout) {
          cancelled = true;
          return;
        }
        layout = taxLayout;
      }
      const int number = receipts.FieldByName(receipt_table::kNumber).AsInteger();
      if (filled.workbooks.isEmpty()) first = number;
      const QStringList overlong = printing::OverlongFields(receipt, *layout);
      if (!overlong.isEmpty())
        filled.notes << QStringLiteral("Квитанция %1: %2.").arg(number).arg(OverlongNote(overlong));
      filled.workbooks << printing::FillWorkbook(receipt, *layout, programDir_, settings, QDir::tempPath());
    });
  } catch (...) {
    for (const QString& workbook : filled.workbooks) QDir(QFileInfo(workbook).absolutePath()).removeRecursively();
    throw;
  }
  if (cancelled || filled.workbooks.isEmpty()) {
    for (const QString& workbook : filled.workbooks) QDir(QFileInfo(workbook).absolutePath()).removeRecursively();
    return false;
  }
  filled.suggestedName = filled.workbooks.size() == 1 ? QStringLiteral("Квитанция %1.pdf").arg(first)
                                                      : QStringLiteral("Квитанции.pdf");
  return true;
}

void PrintCommands::SaveAsPdf(tdb::TDataSet& receipts, const SelectedReceipts& selected) {
  Filled filled;
  if (!FillSelected(receipts, selected, filled)) return;
  printing::PrintPreview& preview = PreviewWindow();
  // The file is asked for first; the window then shows the forms being
  // made and writes the file when they are ready, while the register stays
  // free to use.
  if (!preview.SaveForms(filled.workbooks, filled.suggestedName, filled.notes)) return;
  preview.show();
  preview.raise();
}

void PrintCommands::Preview(tdb::TDataSet& receipts, const SelectedReceipts& selected) {
  Filled filled;
  if (!FillSelected(receipts, selected, filled)) return;
  printing::PrintPreview& preview = PreviewWindow();
  preview.ShowForms(filled.workbooks, filled.suggestedName, filled.notes);
  preview.show();
  preview.raise();
  preview.activateWindow();
}

}  // namespace reg
