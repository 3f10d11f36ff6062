// "ОК" in a dialog over a record that other programs on the same data folder
// may change, delete or number at the same time.
//
// The engine refuses to store an edit whose record another program changed
// or deleted since the edit began, and settles a new record's number when it
// is stored (data/record_changes.h, data/receipt_rules.h).  This is what the
// dialogs then tell the clerk, the same for receipts and directory entries:
//   - changed meanwhile: asks whether to load the other user's values; Yes
//     starts the edit again from the record as stored now and puts back every
//     field the clerk changed (receipts::ReloadKeepingTyped), then says which
//     fields came from the other user and where both changed the same field
//     (the clerk's value stays there).  The clerk checks and presses "ОК"
//     again; No leaves everything as typed.  Nothing is stored either way, and
//     the dialog stays open;
//   - deleted meanwhile: the dialog's record becomes a new one holding what
//     the dialog shows, and the clerk is told: "ОК" stores it as a new record,
//     numbered as any new one (the number it had may still count as taken:
//     the clerk is told the number it got), "Отмена" drops it;
//   - a new record whose offered number another program took: stored under
//     the next free number, and the clerk is told the number it got.
// Any other refusal is shown as the engine's error; what was typed stays.
// User-interface thread only.
#pragma once

#include <QString>
#include <string>

#include "data/record_changes.h"
#include "ui/ui_prompts.h"

class QWidget;
namespace tdb {
class TDataSet;
}

namespace ui {

class SharedRecordEdit {
 public:
  struct Words {
    // A new record stored under another number: %1 the number offered, %2
    // the number stored.  "Номер %1 уже занят ...; квитанция сохранена под номером %2."
    QString numberTaken;
    // The record made anew from a deleted one, in the accusative: "новую квитанцию".
    QString newRecord;
    // That record stored under another number than its old one: %1 the
    // number.  "Квитанция сохранена под номером %1."
    QString storedAs;
  };
  // `dialog` holds the editors, each named after its field and captioned by
  // its accessible name; the texts name fields by those captions.
  SharedRecordEdit(QWidget* dialog, Words words) : dialog_(dialog), words_(std::move(words)) {}

  // At each showing of the dialog: remembers the record as the edit begins
  // (nothing for a new record), and how the clerk knows it, in the
  // accusative: "квитанцию №5 (Иванов)".
  void Begin(const tdb::TDataSet& record, const QString& what);

  // "ОК": posts the record (the bound editors have written what is typed).
  // Answers whether it is stored; false leaves the dialog's record in insert
  // or edit state with what was typed (see above for what the clerk is asked).
  bool Store(tdb::TDataSet& record, UiPrompts& prompts);

 private:
  void OfferReload(tdb::TDataSet& record, UiPrompts& prompts);
  // Turns the edit of a record deleted meanwhile into an insert of `typed`.
  void BecomeNew(tdb::TDataSet& record, const receipts::RecordValues& typed, UiPrompts& prompts);
  // Posts an insert; says so when the number it was offered had been taken.
  void PostNew(tdb::TDataSet& record, UiPrompts& prompts);
  QString LabelOf(const std::string& field) const;

  QWidget* dialog_;
  Words words_;
  bool editing_ = false;          // the dialog shows a stored record
  bool madeAnew_ = false;         // a new record made from one deleted meanwhile
  receipts::RecordValues base_;   // that record as the edit began
  QString what_;
};

}  // namespace ui
