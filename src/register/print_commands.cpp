// Wires the print commands of the printing layer into the register.
#include "register/print_commands.h"

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

#include "data/receipt_tables.h"
#include "data/receipt_values.h"
#include "engine/dataset/dada_table.h"
#include "printing/xlsx_spreadsheet.h"

namespace reg {

namespace receipt_table = receipts::receipt_table;

PrintCommands::PrintCommands(QString programDir, FormChooser& chooser, ui::UiPrompts& prompts, QWidget* dialogParent)
    : start(printing::XlsxStarter()),
      renderer(printing::DefaultPdfRenderer()),
      programDir_(std::move(programDir)),
      chooser_(chooser),
      prompts_(prompts) {
  askPdfPath = [dialogParent](const QString& suggested) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString path = QFileDialog::getSaveFileName(dialogParent, QStringLiteral("Сохранить в PDF"),
                                                QDir(folder).filePath(suggested), QStringLiteral("PDF (*.pdf)"));
    if (!path.isEmpty() && !path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
    return path;
  };
}

printing::FormChooser PrintCommands::Chooser() {
  return [this](const QStringList& items) -> std::optional<int> {
    chooser_.formList->clear();
    chooser_.formList->addItems(items);
    if (prompts_.ShowModal(chooser_) == QDialog::Rejected) return std::nullopt;
    return chooser_.formList->currentRow();
  };
}

void PrintCommands::Print(tdb::TDadaTable& receipts) {
  printing::PrintReceipt(receipts::DataSetReceipt(receipts), programDir_, Chooser(), start);
}

void PrintCommands::SaveAsPdf(tdb::TDadaTable& receipts) {
  const QString suggested = QStringLiteral("Квитанция %1.pdf").arg(receipts.FieldByName(receipt_table::kNumber).AsInteger());
  printing::SaveReceiptPdf(
      receipts::DataSetReceipt(receipts), programDir_, Chooser(), [&] { return askPdfPath(suggested); }, renderer);
}

}  // namespace reg
