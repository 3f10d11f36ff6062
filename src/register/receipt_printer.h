// The seam between the register and printing.
//
// "Печать" (File menu, toolbar, popup) calls the register's printer with the
// receipts dataset standing on the receipt to print, in browse state;
// "Предварительный просмотр" and "Сохранить в PDF…" visit the receipts
// selected.  The printer reads those records and changes nothing.
// The program's printer is PrintCommands; a register without one (null)
// does nothing on either command.  Implementations are used from the user-interface thread only and must
// outlive the register.
#pragma once

#include <functional>

namespace tdb {
class TDataSet;
}

namespace reg {

class ReceiptPrinter {
 public:
  virtual ~ReceiptPrinter() = default;
  // Prints the current receipt of `receipts`.
  virtual void Print(tdb::TDataSet& receipts) = 0;
  // Visits each receipt the user selected: makes it the current record of
  // the receipts table and calls `visit`, in the order shown.
  using SelectedReceipts = std::function<void(const std::function<void()>& visit)>;
  // Saves the selected receipts' forms as one PDF file, one a page.
  virtual void SaveAsPdf(tdb::TDataSet& receipts, const SelectedReceipts& selected) = 0;
  // Shows the selected receipts' forms as they will print, one a page
  // ("Предварительный просмотр"); a printer without a preview does nothing.
  virtual void Preview(tdb::TDataSet& receipts, const SelectedReceipts& selected) {
    (void)receipts;
    (void)selected;
  }
};

}  // namespace reg
