// ReceiptRegister: what the register's commands do to the receipts table,
// apart from any window.
//
// RegisterWindow shows, forwards the user's intent and reflects state; this class
// does the work on the receipts dataset: opening it, sorting by a column,
// Create, Edit, Mark, Copy and the purge of marked receipts with the
// renumbering.  Questions and refusals go through UiPrompts, the receipt
// dialogs through ReceiptDialogs, so a test drives every command without a
// person.
//
// Failures: the engine's errors pass out of every command to the caller (the
// general error handler shows them), but never leave the dataset half-way:
// a command that fails cancels its pending insert or edit and switches off
// the purge's filter first, so the table stays readable in browse state.
//
// Owns nothing; the dataset, the prompts and the dialogs must outlive it.
// User-interface thread only.
#pragma once

#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "register/receipt_dialogs.h"
#include "ui/ui_prompts.h"
#include "engine/dataset/dataset.h"

namespace reg {

// One column of the register's grid.
struct RegisterColumn {
  const char16_t* title;
  const char* field;
  int width;          // pixels; 0 for the grid's default width
  const char* index;  // the index a title click selects; null: the title is no button
};
const std::array<RegisterColumn, 7>& RegisterColumns();

// The stored form names of the two kinds of receipt.
inline constexpr const char16_t* kPd4Document = u"Форма № ПД-4 ";
inline constexpr const char16_t* kTaxDocument = u"Форма № ПД-(налог)";

class ReceiptRegister {
 public:
  // Told as a purge goes on: `done` records of `total` (deletions first, then
  // the renumbering).  Called often; the receiver decides what to repaint.
  using Progress = std::function<void(int done, int total)>;

  ReceiptRegister(tdb::TDataSet& table, ui::UiPrompts& prompts, ReceiptDialogs& dialogs);
  ReceiptRegister(const ReceiptRegister&) = delete;
  ReceiptRegister& operator=(const ReceiptRegister&) = delete;

  tdb::TDataSet& Table() const { return table_; }

  // Opens the receipts (table "formix", file "formix.tdb" in the data folder)
  // of the program's home (data/data_home.h) on "inomer"
  // and puts the sort marker on "Номер".  A failure (missing or damaged file,
  // refused password) passes out with the table closed.
  void Open();
  bool IsOpen() const { return table_.Active(); }

  // The enabling rule: the table holds at least one receipt, marked ones
  // included.
  bool HasRecords() const;

  // The column showing the sort marker.
  int SortColumn() const { return sortColumn_; }
  // Whether the rows show in the reverse of the index's order (the grid
  // counts them from the other end; the dataset keeps its order).
  bool Descending() const { return descending_; }
  // A click on the title of `column`: when it acts as a button, selects its
  // index ascending, or on the column already sorted turns the order round,
  // and answers true; otherwise changes nothing.
  // The receipt that was current stays current.
  bool SortBy(int column);
  // The order of `column` (a title button), ascending or not, as SortBy
  // leaves it; false and nothing changed for another column.
  bool SetOrder(int column, bool descending);
  // The order shown, as the purge's question names it ("по сумме").
  QString OrderName() const;

  // Create: a new receipt of `form` numbered the highest number + 1 (another
  // program's receipt stored under it meanwhile moves it to the next free
  // number when it is stored: receipts::InsertNumbered), in the
  // dialog of that form captioned "Квитанция *Новая"; whatever the dialog
  // has not posted is dropped.  `fill`, when given, writes its values into
  // the new record before the dialog shows it (a receipt read from a
  // payment code); a failure there drops the record and passes out.
  void Create(ReceiptForm form, const std::function<void(tdb::TDataSet&)>& fill = {});
  // Edit: refused with a message for a receipt marked for deletion;
  // otherwise the dialog of the receipt's own form, captioned
  // "Квитанция №<nomer> (<Platel>)", over the receipt in edit state.
  void Edit();
  // Mark: after "Удалить текущую запись?" is answered Yes, sets slugebnoe
  // on the receipt as stored now (another program's change since stays).
  // On a receipt already marked it asks "Снять пометку?" and, answered Yes,
  // takes the mark off.
  void Mark();
  // The current receipt is marked for deletion.
  bool CurrentIsMarked() const;
  // Copy: a new receipt with the payer, recipient, code, purpose, amounts and
  // kind of the current one (not its date, form name, tax period codes or
  // mark), numbered as Create numbers.
  void Copy();
  // Purge: after both questions are answered Yes, deletes every marked
  // receipt and numbers the rest 1..N in the order shown (from the bottom
  // row up when the order is turned round, so the list keeps its order),
  // then makes the receipt with the highest number current.  `begin` is called once the questions are answered,
  // `progress` as the work goes on and `end` when it is over (also on a
  // failure).  Answers whether the purge ran.  Receipts other programs
  // have stored by then are purged and numbered too; one another program
  // unmarks or deletes while the purge runs is left as that program left it.
  bool Purge(const std::function<void()>& begin, const Progress& progress, const std::function<void()>& end);
  // What the last purge did: receipts removed, and receipts whose number
  // changed (counted also when it failed half-way).
  struct PurgeResult {
    int removed = 0;
    int renumbered = 0;
  };
  PurgeResult LastPurge() const { return lastPurge_; }

  // The clerk's filter: an engine filter text (register/receipt_filter.h),
  // empty for every receipt, applied with reg::kFilterOptions.  Applied at once while open (a wrong text
  // raises and changes nothing) and again at every open; the receipt that
  // was current stays current when it still shows.  The purge lifts it while
  // it works and puts it back.
  void SetViewFilter(const std::string& text);
  const std::string& ViewFilter() const { return viewFilter_; }
  // The receipts shown and the sum of their amounts.
  struct Totals {
    int count = 0;
    tdb::TCurrency amount;
  };
  Totals ShownTotals() const;

  // Reads the table again when another program has changed it since it was
  // read (added, changed, deleted receipts), keeping the current receipt
  // current when it is still there; one look at the file, or at the changes
  // a server announced, when nothing changed.  `activated` (the window was
  // activated) reads no differently.  Does nothing while the table is closed
  // or not in browse state.  Answers whether it read the table again.
  bool Reread(bool activated = true);

 private:
  // Whether the current receipt, as stored now, is marked for deletion.
  bool StillMarked();
  // Starts an insert numbered by receipts::InsertNumbered.
  void InsertNumbered();
  // Shows the dialog for the pending insert or edit, then cancels it; a
  // failure cancels it too.
  void ShowThenCancel(ReceiptForm form, const QString& caption, bool focusNumber);
  // The form of the current (or new) receipt.
  ReceiptForm FormOfCurrent() const;
  QString CaptionOfCurrent() const;
  void DeleteMarked(const Progress& progress, int total, int& done);
  void Renumber(const Progress& progress, int total, int& done);
  // Applies viewFilter_ to the open table.
  void ApplyViewFilter();

  tdb::TDataSet& table_;
  ui::UiPrompts& prompts_;
  ReceiptDialogs& dialogs_;
  int sortColumn_ = 0;
  bool descending_ = false;
  PurgeResult lastPurge_;
  std::string viewFilter_;
};

}  // namespace reg
