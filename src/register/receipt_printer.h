// The seam between the register and printing.
//
// "Печать" and "Сохранить в PDF…" (File menu, toolbar, popup) call the
// register's printer with the receipts dataset standing on the receipt to
// print, in browse state; the printer reads that record and changes nothing.
// The program's printer is PrintCommands; a register without one (null)
// does nothing on either command.  Implementations are used from the user-interface thread only and must
// outlive the register.
#pragma once

namespace tdb {
class TDadaTable;
}

namespace reg {

class ReceiptPrinter {
 public:
  virtual ~ReceiptPrinter() = default;
  // Prints the current receipt of `receipts`.
  virtual void Print(tdb::TDadaTable& receipts) = 0;
  // Saves the current receipt of `receipts` as a PDF file.
  virtual void SaveAsPdf(tdb::TDadaTable& receipts) = 0;
};

}  // namespace reg
