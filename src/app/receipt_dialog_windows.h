// The register's receipt dialogs, shown by the real windows: ReceiptForm::Pd4
// is TFformixins, ReceiptForm::Tax is TFformixinsnal.  The windows are not
// owned (Forms owns them) and must outlive this object.
#pragma once

#include "app/receipt_dialogs.h"
#include "entry/receipt_dialog.h"

namespace app {

class ReceiptDialogWindows : public ReceiptDialogs {
 public:
  ReceiptDialogWindows(entry::TFformixins& pd4, entry::TFformixinsnal& tax) : pd4_(pd4), tax_(tax) {}

  void Show(ReceiptForm form, const QString& caption, bool focusNumber) override {
    entry::ReceiptDialog& dialog = form == ReceiptForm::Tax ? static_cast<entry::ReceiptDialog&>(tax_) : pd4_;
    dialog.setWindowTitle(caption);
    dialog.setAccessibleName(caption);
    dialog.Execute(focusNumber);
  }

 private:
  entry::TFformixins& pd4_;
  entry::TFformixinsnal& tax_;
};

}  // namespace app
