// The register's receipt dialogs, shown by the real windows: ReceiptForm::Pd4
// is Pd4ReceiptDialog, ReceiptForm::Tax is TaxReceiptDialog.  The windows are not
// owned (ProgramWindows owns them) and must outlive this object.
#pragma once

#include "register/receipt_dialogs.h"
#include "entry/receipt_dialog.h"

namespace reg {

class ReceiptDialogWindows : public ReceiptDialogs {
 public:
  ReceiptDialogWindows(entry::Pd4ReceiptDialog& pd4, entry::TaxReceiptDialog& tax) : pd4_(pd4), tax_(tax) {}

  void Show(ReceiptForm form, const QString& caption, bool focusNumber) override {
    entry::ReceiptDialog& dialog = form == ReceiptForm::Tax ? static_cast<entry::ReceiptDialog&>(tax_) : pd4_;
    dialog.setWindowTitle(caption);
    dialog.setAccessibleName(caption);
    dialog.Execute(focusNumber);
  }

 private:
  entry::Pd4ReceiptDialog& pd4_;
  entry::TaxReceiptDialog& tax_;
};

}  // namespace reg
