// What the two receipt dialogs share apart from their widgets: the fixed
// lists of the tax dialog's drop-down boxes and the fields they fill, the
// period suggestions built from today's date, storing a receipt, and the
// rule that entering an empty payer, recipient or code editor opens its
// directory once.
//
// User-interface thread only.
#pragma once

#include <QDate>
#include <QObject>
#include <QStringList>
#include <functional>
#include <vector>

namespace tdb {
class TDataSet;
}
namespace ui {
class UiPrompts;
}

namespace entry {

// Today's date; tests set their own.
using Clock = std::function<QDate()>;
QDate SystemToday();

// A drop-down box of the tax dialog: the receipt field it fills at "Ok" and
// its fixed list (the period's list is built anew at each showing).
struct TaxBox {
  const char* field;
  QStringList items;
};
// In the order "Ok" writes them: status, basis, period, type.
const std::vector<TaxBox>& TaxBoxes();
// What a code of a tax box's list means ("13": "физическое лицо"), empty for
// a code without an explanation.  The list shows "13 — физическое лицо"; the
// receipt keeps the code.
QString CodeMeaning(const char* field, const QString& code);
// The code of a list line "13 — физическое лицо" (the text itself when it
// has no explanation).
QString ListItemCode(const QString& text);

// "МС.mm.yyyy", "КВ.qq.yyyy", "ПЛ.hh.yyyy", "ГД.00.yyyy" for `today`.
QStringList PeriodSuggestions(const QDate& today);

// What a receipt about to be stored lacks or holds that is likely a slip,
// one Russian line each, for the question on "ОК" (warnings, never
// refusals): no payer, no recipient, an amount of 0, no date, a date more
// than a year from `today`, and on a PD-4 (`checkPayerInn`) a payer's INN
// that fails its check.  REQUIRES: the dataset is open.
QStringList ReceiptOmissions(const tdb::TDataSet& receipt, bool checkPayerInn, const QDate& today);

// Posts the receipt (the bound editors first write what is being typed).
// An engine refusal is shown through `prompts` and leaves the receipt in its
// insert or edit state with every value as it was; answers whether stored.
bool StoreReceipt(tdb::TDataSet& receipt, ui::UiPrompts& prompts);

// Opens a directory when the user enters an empty editor: the focus arrives
// from another control of the same dialog (Tab, Backtab, a click) and
// `isEmpty` says the field is empty.  After the directory has closed the
// focus is put back without opening it again; it opens again only once the
// focus has gone to another control and come back.
class OpenOnEntry : public QObject {
  Q_OBJECT

 public:
  // `editor` (not owned) gets the filter; `open` shows the directory and
  // returns when it has closed.
  OpenOnEntry(QWidget* editor, std::function<bool()> isEmpty, std::function<void()> open);

  // What "..." does too: shows the directory, then gives the editor the focus.
  void Open();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* editor_;
  std::function<bool()> isEmpty_;
  std::function<void()> open_;
  bool armed_ = true;
};

}  // namespace entry
