// The seam between the register and printing.
//
// "Печать" and "Сохранить в PDF…" (File menu, toolbar, popup) call the
// register's printer with the receipts dataset standing on the receipt to
// print, in browse state; the printer reads that record and changes nothing.
// Until printing is plugged in, the register's printer does nothing.
// Implementations are used from the user-interface thread only and must
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

// The printer of a program without printing: both commands do nothing.
class NoReceiptPrinter : public ReceiptPrinter {
 public:
  void Print(tdb::TDadaTable&) override {}
  void SaveAsPdf(tdb::TDadaTable&) override {}
};

}  // namespace reg
