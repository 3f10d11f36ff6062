// The register's printer: "Печать" and "Сохранить в PDF…" on the current
// receipt.
//
// Print fills the receipt's form (the PD-4 form, or for a tax receipt the
// form taken in the chooser FormChooser) and hands the filled copy to the
// desktop's spreadsheet application; SaveAsPdf renders that form into a PDF
// file the user names.  Both read the current record of the receipts table
// and change nothing.  Their failures reach the general error handler.  The
// spreadsheet, the PDF renderer and the file question are members, so that
// tests can put their own in.  User-interface thread only; the chooser,
// prompts and parent must outlive the object.
#pragma once

#include <QString>
#include <functional>

#include "register/form_chooser.h"
#include "register/receipt_printer.h"
#include "ui/ui_prompts.h"
#include "printing/pdf_export.h"
#include "printing/receipt_forms.h"

namespace reg {

class PrintCommands final : public ReceiptPrinter {
 public:
  PrintCommands(QString programDir, FormChooser& chooser, ui::UiPrompts& prompts, QWidget* dialogParent);

  void Print(tdb::TDadaTable& receipts) override;
  void SaveAsPdf(tdb::TDadaTable& receipts) override;

  // Starts the spreadsheet application (by default the .xlsx backend that
  // opens the filled copy with the desktop's application).
  printing::SpreadsheetStarter start;
  printing::PdfRenderer renderer;
  // Asks where to save the PDF, given a suggested file name; an empty answer
  // cancels.  By default a save dialog that asks before replacing a file.
  std::function<QString(const QString& suggested)> askPdfPath;

 private:
  printing::FormChooser Chooser();

  QString programDir_;
  FormChooser& chooser_;
  ui::UiPrompts& prompts_;
};

}  // namespace reg
