// The register's printer: "Печать" on the current receipt, "Предварительный
// просмотр" and "Сохранить в PDF…" on the selected ones.
//
// Print fills the receipt's form (the PD-4 form, or for a tax receipt the
// form taken in the chooser FormChooser) and hands the filled copy to the
// desktop's spreadsheet application, after asking whether to print when a
// value does not fit the form.  Preview shows the selected receipts' forms,
// one a page, in the preview window (rendered through a LibreOffice the
// commands keep running for later previews), saying which values do not
// fit; SaveAsPdf asks for a file, then makes the same document in the same
// window and saves it there (PrintPreview::SaveForms), so the register is
// never held up while LibreOffice works.  "Печатать сумму в квитанции"
// (`options`) reaches every one of them.  All read the current record of the receipts table
// and change nothing.  Their failures reach the general error handler.  The
// spreadsheet, the PDF renderer and the file question are members, so that
// tests can put their own in.  User-interface thread only; the chooser,
// prompts and parent must outlive the object.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "register/form_chooser.h"
#include "register/receipt_printer.h"
#include "ui/ui_prompts.h"
#include "printing/pdf_export.h"
#include "printing/pdf_service.h"
#include "printing/print_preview.h"
#include "printing/receipt_forms.h"

namespace reg {

class PrintCommands final : public ReceiptPrinter {
 public:
  PrintCommands(QString programDir, FormChooser& chooser, ui::UiPrompts& prompts, QWidget* dialogParent);

  void Print(tdb::TDataSet& receipts) override;
  void SaveAsPdf(tdb::TDataSet& receipts, const SelectedReceipts& selected) override;
  void Preview(tdb::TDataSet& receipts, const SelectedReceipts& selected) override;
  ~PrintCommands() override;

  // Starts the spreadsheet application (by default the .xlsx backend that
  // opens the filled copy with the desktop's application).
  printing::SpreadsheetStarter start;
  printing::PdfRenderer renderer;
  // The settings printing honours; by default the amounts are printed.
  std::function<printing::PrintOptions()> options = [] { return printing::PrintOptions{}; };

  // The preview window, once Preview has made it.
  printing::PrintPreview* preview() const { return preview_.get(); }
  // The preview window, made now when there is none yet (its renderer is
  // `renderer` as it is then); tests answer its questions.
  printing::PrintPreview& PreviewWindow();

 private:
  struct Filled {
    QStringList workbooks, notes;  // the filled copies in order; fields cut short
    QString suggestedName;         // "Квитанция 5.pdf", "Квитанции.pdf"
  };
  printing::FormChooser Chooser();
  // Fills a copy of its form for every selected receipt (tax receipts on the
  // form chosen once); false when the chooser was cancelled or nothing was
  // selected, with nothing left behind.
  bool FillSelected(tdb::TDataSet& receipts, const SelectedReceipts& selected, Filled& filled);

  QString programDir_;
  FormChooser& chooser_;
  ui::UiPrompts& prompts_;
  std::unique_ptr<printing::PdfService> service_;   // made with the first preview
  std::unique_ptr<printing::PrintPreview> preview_;
};

}  // namespace reg
