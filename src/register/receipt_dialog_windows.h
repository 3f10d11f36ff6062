// The register's receipt dialogs, shown by the real windows: ReceiptForm::Pd4
// is Pd4ReceiptDialog, ReceiptForm::Tax is TaxReceiptDialog.  The windows are
// given by `dialogOf`, which may create one at its first use; they are not
// owned here (ProgramWindows owns them) and must outlive this object.
#pragma once

#include <functional>
#include <utility>

#include "register/receipt_dialogs.h"
#include "entry/receipt_dialog.h"

namespace reg {

class ReceiptDialogWindows : public ReceiptDialogs {
 public:
  explicit ReceiptDialogWindows(std::function<entry::ReceiptDialog&(ReceiptForm)> dialogOf)
      : dialogOf_(std::move(dialogOf)) {}

  void Show(ReceiptForm form, const QString& caption, bool focusNumber) override {
    entry::ReceiptDialog& dialog = dialogOf_(form);
    dialog.setWindowTitle(caption);
    dialog.setAccessibleName(caption);
    dialog.Execute(focusNumber);
  }

 private:
  std::function<entry::ReceiptDialog&(ReceiptForm)> dialogOf_;
};

}  // namespace reg
