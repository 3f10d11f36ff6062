// The two receipt dialogs: Pd4ReceiptDialog (form "ПД-4") and TaxReceiptDialog (the
// tax form "ПД (налог)").
//
// Both edit the register's current receipt through editors bound to the
// register's data source; they hold no record of their own.  The register
// captions the dialog, starts an insert or an edit, calls Execute and cancels
// afterwards, so only what "Ok" stored survives.  "..." beside the payer, the
// recipient (and the code) shows that directory; entering the empty editor
// does the same, once (OpenOnEntry).  "Ok" posts the receipt and closes; an
// engine refusal is shown and the dialog stays open with everything typed.
// A receipt another program changed or deleted while the dialog was open, or
// a new one whose number it took, is settled with the clerk as
// ui::SharedRecordEdit describes.
// "Отмена", Esc and the close box close without storing.
//
// ReceiptDialog holds what the two share; the tax dialog adds its fields, its
// four drop-down boxes (loaded at each showing, written at "Ok") and the
// rules document button, and marks its requisites (code, OKTMO, status,
// period, document index) that fail their checks, asking once on "Ok"
// before it stores them.  Each dialog owns its widgets; the directories
// (not owned) and the prompts must outlive it.  User-interface thread only.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "ui/ui_prompts.h"
#include "ui/field_editors.h"
#include "ui/shared_record_edit.h"
#include "entry/receipt_entry.h"
#include "widgets/field_warning.h"

namespace tdb {
class TDataSource;
}
namespace directories {
class DirectoryWindow;
}

namespace entry {

class ReceiptDialog : public QDialog {
  Q_OBJECT

 public:
  // The register's data source; not owned.
  void SetSource(tdb::TDataSource* source) { source_ = source; }
  tdb::TDataSource* Source() const { return source_; }
  // The directories the clerk picks from, asked for at each pick: the
  // program creates a directory's window at its first use.
  using DirectoryOf = std::function<directories::DirectoryWindow*()>;
  void SetPayers(DirectoryOf payers) { payers_ = std::move(payers); }
  void SetRecipients(DirectoryOf recipients) { recipients_ = std::move(recipients); }

  // Binds the editors and shows the dialog modally over the current receipt.
  // With `focusNumber` the number editor gets the focus first; otherwise the
  // editor that had it when the dialog last closed keeps it.  Answers whether
  // the receipt was stored.  REQUIRES: a source whose dataset is in insert
  // or edit state.
  bool Execute(bool focusNumber);

  // The editor of a receipt field (the receipts table's spelling), or null.
  QWidget* Editor(const char* field) const;

  QLabel* HeadingNumber;  // "Квитанция №"
  QLabel* HeadingDate;    // "от"
  QToolButton* PayerButton;
  QToolButton* RecipientButton;
  QPushButton* OkButton;
  QPushButton* CancelButton;

  // The colours the read-only editors are painted in.
  static QColor ScrollBarColor() { return QColor(200, 200, 200); }
  static QColor MenuColor() { return QColor(240, 240, 240); }

 protected:
  ReceiptDialog(ui::UiPrompts& prompts, QWidget* parent);
  // Enter presses "Ok", except in a multi-line or drop-down editor.
  void keyPressEvent(QKeyEvent* event) override;

  // Makes the editor of `field`, labelled `label` (its buddy), and places
  // both; `editorSpan` columns from `column` + 1.
  QWidget* AddEditor(ui::FieldEditorKind kind, const char* field, const QString& label, int row, int column, int editorSpan = 1);
  // A read-only editor with a "..." button at its right end that shows
  // `directory`; entering it while `field` is empty does the same.
  QWidget* AddPicked(const char* field, const QString& label, const QColor& colour, int row, int columnSpan,
                     const DirectoryOf* directory, QToolButton** button);
  void AddHeading(int row);
  // Sets the tab order of the editors and buttons as listed.
  void SetTabOrder(const std::vector<QWidget*>& order);
  bool FieldEmpty(const char* field) const;

  // Steps of the tax dialog around the shared showing and storing.
  virtual void Loading() {}
  virtual void Storing() {}
  // The payer's INN has no editor of its own here and is checked at "ОК".
  virtual bool ChecksPayerInn() const { return false; }
  // Marks the requisite editors made so far whose values fail their checks;
  // "Ok" then asks once before storing such values.
  void WarnRequisites();
  // A fixed dialog border at the layout's size, at least `designed`.
  void FixSize(const QSize& designed);

  ui::UiPrompts& prompts_;
  QGridLayout* grid_;
  QDialogButtonBox* buttonBox_;  // Ok and Отмена; the subclass places it
  tdb::TDataSource* source_ = nullptr;
  DirectoryOf payers_;
  DirectoryOf recipients_;
  std::map<std::string, QWidget*> editors_;
  widgets::WarningSummary* warningSummary_;        // the explanations, above the buttons
  std::vector<widgets::FieldWarning*> warnings_;  // owned by their editors
  QSize designed_;

 private:
  void Store();
  bool stored_ = false;
  ui::SharedRecordEdit shared_;
};

class Pd4ReceiptDialog : public ReceiptDialog {
  Q_OBJECT

 public:
  explicit Pd4ReceiptDialog(ui::UiPrompts& prompts, QWidget* parent = nullptr);

 protected:
  bool ChecksPayerInn() const override { return true; }
};

class TaxReceiptDialog : public ReceiptDialog {
  Q_OBJECT

 public:
  explicit TaxReceiptDialog(ui::UiPrompts& prompts, QWidget* parent = nullptr);

  void SetCodes(DirectoryOf codes) { codes_ = std::move(codes); }
  // Today's date for the period suggestions.
  void SetClock(Clock clock) { clock_ = std::move(clock); }
  // Opens a document with the desktop's application for it; the result is
  // not examined.
  void SetDocumentOpener(std::function<void(const QString& path)> opener) { openDocument_ = std::move(opener); }
  // The program's own page on filling in the form (HTML), shown in a window
  // of the program by the rules button when the data folder holds no
  // "prav.doc"; empty: the button asks for "prav.doc" as before.
  void SetRulesPage(const QString& path) { rulesPage_ = path; }
  // Shows the rules page modally; a page that cannot be read is said so.
  void ShowRules();

  QComboBox* statusBox;  // status
  QComboBox* reasonBox;  // basis of payment
  QComboBox* periodBox;  // period
  QComboBox* paymentTypeBox;  // type of payment
  QToolButton* CodeButton;
  QPushButton* RulesButton;  // "Правила заполнения формы № ПД (налог)"

 protected:
  void Loading() override;
  void Storing() override;

 private:
  QComboBox* Box(const char* field) const;

  DirectoryOf codes_;
  Clock clock_ = SystemToday;
  std::function<void(const QString&)> openDocument_;
  QString rulesPage_;
};

}  // namespace entry
