// The print command of the receipt register and the three bank forms it
// fills: "f4pd.xlsx" (PD-4), "f4pdnal.xlsx" (PD-4 sb, tax) and "pdnal.xlsx"
// (the new tax form).
//
// The command reads the current receipt through a ReceiptValues view and
// never changes it.  A PD-4 receipt (`naloglog` false) prints the PD-4 form;
// a tax receipt first asks which of the two tax forms to fill.  Each form is
// a table of cells (worksheet, row, column, value), written through the
// spreadsheet interface of spreadsheet.h in the table's order; then the
// payment code goes into the picture "QR" of the worksheet written last,
// which is shown and activated.
//
// Every amount is first rounded to whole kopecks, once, by the same rule as
// the payment code's `Sum` (receipts::WholeKopecks), so that the figures on
// paper and in the code never disagree.  On the PD-4 form an amount is two
// texts, roubles grouped by thousands and two-digit kopecks ("5 430" and
// "50"), as the bank's blanks write them; the tax forms get the amount as a
// number, which their templates show as "5 430,50".
//
// Long values are fitted to the lines their cell gives them (text_fit.h):
// never shrunk, cut with "…" only when even those lines do not hold them;
// OverlongFields names such fields beforehand, so that the clerk can be told.
// User-interface thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include "data/receipt_values.h"
#include "printing/spreadsheet.h"
#include "printing/text_fit.h"

namespace printing {

enum class ReceiptLayout { kPd4, kPd4sbTax, kNewTax };

// The template's file name, looked up in the program directory.
QString TemplateFileName(ReceiptLayout layout);

// The date as the forms write it: the day in double quotes with two digits,
// the month's name in the genitive and the year ("05" марта 2007).
QString PaymentDateText(const tdb::TDateParts& date);

struct RoublesKopecks {
  QString roubles;
  QString kopecks;
  bool operator==(const RoublesKopecks&) const = default;
};
// An amount rounded to whole kopecks (receipts::WholeKopecks) and split into
// roubles, grouped by thousands with spaces, and two-digit kopecks; a
// negative amount has a minus sign on both.  Exact: 0.995 is 1 rouble 00
// kopecks, never 0 roubles 100 kopecks.
RoublesKopecks SplitAmount(tdb::TCurrency amount);

// An amount as Russian blanks write it: "5 430,50".
QString AmountText(tdb::TCurrency amount);

// What the user settled about printing ("Печатать сумму в квитанции").
struct PrintOptions {
  // false: every amount box stays empty and the payment code carries no Sum,
  // so that the amount is written in by hand.
  bool printAmounts = true;
};

using CellValue = std::variant<QString, tdb::TCurrency>;
// A value of a form: an amount (left out when amounts are not printed), or
// a text, fitted to `frame` when the cell may not hold it whole.
struct CellWrite {
  int sheet = 1;
  int row = 1;
  int column = 1;
  std::function<CellValue(const receipts::ReceiptValues&)> value;
  bool amount = false;
  std::optional<TextFrame> frame;
  QString caption;  // the field's name for the clerk, for a framed value or a box row
};
// The cells of a form, in the order they are written.
const std::vector<CellWrite>& FormCells(ReceiptLayout layout);

// The name of each form's picture that receives the payment code.
inline const QString kQrPictureName = QStringLiteral("QR");

// Shows the form chooser (the register's `FormChooser`) with `items` and
// answers the position taken, or nothing when the user cancelled.
using FormChooser = std::function<std::optional<int>(const QStringList& items)>;

// The value `cell` writes for `receipt`, fitted to its frame.
CellValue CellText(const CellWrite& cell, const receipts::ReceiptValues& receipt, const PrintOptions& options = {});

// The names of the fields of `receipt` that `layout` cannot print whole (cut
// with "…", or more characters than the form has boxes for), in the order of
// the form; empty when everything fits.
QStringList OverlongFields(const receipts::ReceiptValues& receipt, ReceiptLayout layout);

// The payment code's payload for `receipt` on `layout`, or an empty string
// when its requisites would give a wrong code.
std::string PaymentCodePayload(const receipts::ReceiptValues& receipt, ReceiptLayout layout,
                               const PrintOptions& options = {});

// Fills `layout` from `receipt`: starts the application through `start`,
// opens `programDir` + the template, writes the cells and the payment code
// (left out when the receipt's requisites would give a wrong one), shows the
// application and activates the sheet.  Failures raise PrintError (or the
// engine's error while reading the receipt); what was obtained is released.
void PrintLayout(const receipts::ReceiptValues& receipt, ReceiptLayout layout, const QString& programDir,
                 const SpreadsheetStarter& start, const PrintOptions& options = {});

// The form a receipt prints on: PD-4 for a PD-4 receipt; for a tax receipt
// the chooser's answer, or nothing when it was cancelled.
std::optional<ReceiptLayout> ChooseLayout(const receipts::ReceiptValues& receipt, const FormChooser& choose);

// The print command: the PD-4 form for a PD-4 receipt; for a tax receipt the
// chooser offers "Форма ПД - 4 сб (налог)" (taken when it is confirmed
// untouched) and "Форма ПД - налог (новая)", and a cancel ends the command
// before anything is started.
void PrintReceipt(const receipts::ReceiptValues& receipt, const QString& programDir, const FormChooser& choose,
                  const SpreadsheetStarter& start, const PrintOptions& options = {});

}  // namespace printing
