// Wires the print commands of the printing layer into the register.
#include "register/print_commands.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
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
    // The dialog's own question would come before ".pdf" is added, and so
    // miss "Квитанция 5.pdf" when "Квитанция 5" is typed: SaveAsPdf asks.
    return QFileDialog::getSaveFileName(dialogParent, QStringLiteral("Сохранить в PDF"),
                                        QDir(folder).filePath(suggested), QStringLiteral("PDF (*.pdf)"), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
  };
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

void PrintCommands::Print(tdb::TDadaTable& receipts) {
  printing::PrintReceipt(receipts::DataSetReceipt(receipts), programDir_, Chooser(), start, options());
}

void PrintCommands::SaveAsPdf(tdb::TDadaTable& receipts) {
  const QString suggested = QStringLiteral("Квитанция %1.pdf").arg(receipts.FieldByName(receipt_table::kNumber).AsInteger());
  QString saved;
  printing::SaveReceiptPdf(
      receipts::DataSetReceipt(receipts), programDir_, Chooser(),
      [&]() -> QString {
        const QString path = printing::WithPdfExtension(askPdfPath(suggested));
        if (path.isEmpty()) return path;
        if (QFileInfo::exists(path) &&
            !prompts_.AskYesNo(QStringLiteral("Файл «%1» уже есть. Заменить его?").arg(QFileInfo(path).fileName())))
          return QString();
        saved = path;
        return path;
      },
      renderer, options());
  if (!saved.isEmpty()) prompts_.ShowMessage(QStringLiteral("Сохранено в «%1».").arg(QDir::toNativeSeparators(saved)));
}

void PrintCommands::Preview(tdb::TDadaTable& receipts) {
  const receipts::DataSetReceipt receipt(receipts);
  const std::optional<printing::ReceiptLayout> layout = printing::ChooseLayout(receipt, Chooser());
  if (!layout) return;
  const printing::PrintOptions settings = options();
  QStringList notes;
  const QStringList overlong = printing::OverlongFields(receipt, *layout);
  if (!overlong.isEmpty())
    notes << QStringLiteral("Не помещается на бланке и будет обрезано: %1.").arg(overlong.join(QStringLiteral(", ")));
  const QString workbook = printing::FillWorkbook(receipt, *layout, programDir_, settings, QDir::tempPath());
  if (!service_) service_ = std::make_unique<printing::PdfService>(renderer);
  // A window of its own, next to the register, which the clerk may keep open.
  if (!preview_) preview_ = std::make_unique<printing::PrintPreview>(*service_);
  preview_->ShowForms({workbook},
                      QStringLiteral("Квитанция %1.pdf").arg(receipts.FieldByName(receipt_table::kNumber).AsInteger()),
                      notes);
  preview_->show();
  preview_->raise();
  preview_->activateWindow();
}

}  // namespace reg
