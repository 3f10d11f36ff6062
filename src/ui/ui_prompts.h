// The seam between the windows' logic and the user's answers.
//
// Every message box, Yes/No question and modal showing of a window goes
// through a UiPrompts, so a test can answer in place of the user.
// QtUiPrompts is the real one: message boxes and QDialog::exec.
// Implementations are used from the user-interface thread only; the windows
// hold a non-owning pointer that must outlive them.
#pragma once

#include <QString>

class QDialog;

namespace ui {

class UiPrompts {
 public:
  virtual ~UiPrompts() = default;
  // A refusal or notice: a message box with an empty title and one OK button.
  virtual void ShowMessage(const QString& text) = 0;
  // A confirmation: a warning dialog with Yes and No; true for Yes.
  virtual bool AskYesNo(const QString& text) = 0;
  // A question with OK and Cancel (the grid's "Удалить запись?"); true for
  // OK.  By default asked as AskYesNo asks.
  virtual bool AskOkCancel(const QString& text) { return AskYesNo(text); }
  // An error that ended a command (the general error handler).
  virtual void ShowError(const QString& text) = 0;
  // The error of a damaged file, with the offer to repair it: an error box
  // with "Восстановить…" and "Закрыть"; true for "Восстановить…".  By
  // default shown as ShowError shows it, and declined.
  virtual bool OfferRepair(const QString& text) {
    ShowError(text);
    return false;
  }
  // Shows `dialog` modally; returns when it has closed, with its result code.
  virtual int ShowModal(QDialog& dialog) = 0;
};

class QtUiPrompts : public UiPrompts {
 public:
  void ShowMessage(const QString& text) override;
  bool AskYesNo(const QString& text) override;
  bool AskOkCancel(const QString& text) override;
  void ShowError(const QString& text) override;
  bool OfferRepair(const QString& text) override;
  int ShowModal(QDialog& dialog) override;
};

}  // namespace ui
