// "Создать из QR-кода…": a new receipt filled from the payment code of a bill.
//
// The file (a picture or a PDF) is searched for the payment code; a file
// without one, with a code of another kind or with a damaged code gives its
// message and creates nothing.  From the code a receipt is made: a tax
// receipt when the code carries budget requisites, otherwise a PD-4 receipt.
// Before the dialog opens:
//   - the requisites go through the requisite checks; what fails, and what
//     is too long for its field, is shown in one message, as the receipt
//     dialogs' warnings word it;
//   - the recipient is looked up in the recipients directory by INN and
//     account, the payer in the payers directory by name, the budget code in
//     the code directory; a match gives the receipt the entry's number and
//     fills what the code left empty from the entry; for no match the user
//     is asked whether to add the entry, which then gets the next number.
// Then the receipt's dialog opens over the new record exactly as for
// "Создать"; its "Ok" stores the receipt, "Отмена" drops it.
//
// Questions and messages go through UiPrompts, the dialog through the
// register's ReceiptDialogs, so a test runs the command without a person.
// A directory that cannot be opened is reported and skipped; the receipt is
// still made.  Owns nothing; the register and the prompts must outlive it.
// User-interface thread only.
#pragma once

#include <QString>

#include "register/payment_code_file.h"
#include "register/receipt_register.h"
#include "ui/ui_prompts.h"
#include "data/payment_qr_reader.h"

namespace reg {

class QrReceiptImport {
 public:
  QrReceiptImport(ReceiptRegister& receipts, ui::UiPrompts& prompts) : register_(receipts), prompts_(prompts) {}

  void SetScanLimits(const CodeScanLimits& limits) { limits_ = limits; }

  // The whole command for the file at `path`.  Answers whether the receipt
  // dialog was shown.  Engine errors of the receipts table pass out, with
  // the table back in browse state.
  bool CreateFromFile(const QString& path);

  // The same from a payload already read.
  bool CreateFromPayload(const receipts::ParsedQrPayload& payload);

 private:
  ReceiptRegister& register_;
  ui::UiPrompts& prompts_;
  CodeScanLimits limits_;
};

}  // namespace reg
