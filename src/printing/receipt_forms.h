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
// Amounts on the PD-4 form are written as two texts, roubles and kopecks;
// the kopecks always have two digits ("05", "00"), as the bank's blanks and
// the payment rules write them.  User-interface thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include "data/receipt_values.h"
#include "printing/spreadsheet.h"

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
// An amount rounded to whole kopecks (halves to even) and split into roubles
// and two-digit kopecks; a negative amount has a minus sign on both.  Exact:
// 0.995 is 1 rouble 00 kopecks, never 0 roubles 100 kopecks.
RoublesKopecks SplitAmount(tdb::TCurrency amount);

using CellValue = std::variant<QString, tdb::TCurrency>;
struct CellWrite {
  int sheet;
  int row;
  int column;
  std::function<CellValue(const receipts::ReceiptValues&)> value;
};
// The cells of a form, in the order they are written.
const std::vector<CellWrite>& FormCells(ReceiptLayout layout);

// The name of each form's picture that receives the payment code.
inline const QString kQrPictureName = QStringLiteral("QR");

// Shows the form chooser (the register's `FormChooser`) with `items` and
// answers the position taken, or nothing when the user cancelled.
using FormChooser = std::function<std::optional<int>(const QStringList& items)>;

// Fills `layout` from `receipt`: starts the application through `start`,
// opens `programDir` + the template, writes the cells and the payment code
// (left out when the receipt's requisites would give a wrong one), shows the
// application and activates the sheet.  Failures raise PrintError (or the
// engine's error while reading the receipt); what was obtained is released.
void PrintLayout(const receipts::ReceiptValues& receipt, ReceiptLayout layout, const QString& programDir,
                 const SpreadsheetStarter& start);

// The print command: the PD-4 form for a PD-4 receipt; for a tax receipt the
// chooser offers "Форма ПД - 4 сб (налог)" (taken when it is confirmed
// untouched) and "Форма ПД - налог (новая)", and a cancel ends the command
// before anything is started.
void PrintReceipt(const receipts::ReceiptValues& receipt, const QString& programDir, const FormChooser& choose,
                  const SpreadsheetStarter& start);

}  // namespace printing
