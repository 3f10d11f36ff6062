// The seam between the register and the two receipt dialogs.
//
// The register starts an insert (Create, Copy) or an edit (Edit) on its
// receipts dataset, then calls Show.  Show shows the dialog of `form`
// modally, with `caption` as its window title, over the register's current
// record: the dialog's editors are bound to the register's data source and
// its "Ok" posts that record.  With `focusNumber` the receipt number editor
// gets the focus first (Create); otherwise the dialog keeps its own focus
// order.  Show returns when the dialog has closed; the caller then cancels,
// so only what the dialog posted survives.
//
// The program shows its two receipt dialogs (ReceiptDialogWindows); tests
// answer with a fake that posts or not.  Implementations
// are used from the user-interface thread only and must outlive the register.
#pragma once

#include <QString>

namespace reg {

enum class ReceiptForm { Pd4, Tax };

class ReceiptDialogs {
 public:
  virtual ~ReceiptDialogs() = default;
  virtual void Show(ReceiptForm form, const QString& caption, bool focusNumber) = 0;
};

}  // namespace reg
