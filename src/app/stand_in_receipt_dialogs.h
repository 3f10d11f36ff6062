// A plain receipt dialog that stands in for the two real ones until they are
// part of the program.
//
// It shows the receipt's number, payer, recipient, amount and purpose of
// payment in plain edits over the register's pending insert or edit; "Ok"
// writes them into the record and posts it, "Отмена" (Esc) stores nothing.
// A failed post is reported and the dialog stays open, as a data-aware
// dialog would.  The same dialog serves both forms.
//
// Owns its dialog; the dataset and the prompts must outlive it.
// User-interface thread only.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "app/receipt_dialogs.h"
#include "app/ui_prompts.h"
#include "engine/dataset/dada_table.h"

namespace app {

class StandInReceiptDialog : public QDialog {
  Q_OBJECT

 public:
  StandInReceiptDialog(tdb::TDadaTable& receipts, UiPrompts& prompts, QWidget* parent);

  // Loads the edits from the pending record.
  void Load(bool focusNumber);

  QLineEdit* nomer;
  QLineEdit* platel;
  QLineEdit* poluchat;
  QLineEdit* summa;
  QLineEdit* naznplat;
  QPushButton* BitBtn1;  // "Ok"
  QPushButton* BitBtn2;  // "Отмена"

 private:
  void Store();

  tdb::TDadaTable& receipts_;
  UiPrompts& prompts_;
};

class StandInReceiptDialogs : public ReceiptDialogs {
 public:
  StandInReceiptDialogs(tdb::TDadaTable& receipts, UiPrompts& prompts, QWidget* parent);
  void Show(ReceiptForm form, const QString& caption, bool focusNumber) override;
  StandInReceiptDialog& Dialog() { return *dialog_; }

 private:
  UiPrompts& prompts_;
  std::unique_ptr<StandInReceiptDialog> dialog_;
};

}  // namespace app
