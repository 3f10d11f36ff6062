// The login dialog ("Квитанции (Безопасность)").
//
// One attempt at the password at start-up.  "Ok" and closing the dialog by
// its close box or Alt+F4 compare the typed text with the stored password
// (exactly, letter case included); "Отмена" refuses whatever was typed.
// Neither button is the default or the cancel button, so Enter and Esc do
// nothing.  After the dialog has closed, Granted() tells the caller whether
// start-up may go on; on a refusal the caller closes the main window, which
// ends the program.  No message is shown either way.
//
// Created once at start-up; the dialog owns its controls and reads the stored
// password from the program's settings, which must outlive it.
// User-interface thread only.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/settings_file.h"
#include "widgets/masked_edit.h"

namespace app {

// The login comparison: exact, character for character.
bool PasswordMatches(const QString& typed, const QString& stored);

class LoginDialog : public QDialog {
  Q_OBJECT

 public:
  // `settings` holds the stored password; not owned.
  explicit LoginDialog(const Settings& settings, QWidget* parent = nullptr);

  // True when the dialog last closed with the right password and not by
  // "Отмена".  Reset each time the dialog is shown.
  bool Granted() const { return granted_; }

  QLabel* promptLabel;                // "Пароль для входа в систему"
  widgets::MaskedEdit* passwordEdit;  // the typed password, empty at each showing
  QPushButton* okButton;              // "Ok"
  QPushButton* cancelButton;          // "Отмена"

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Finish(bool granted);

  const Settings& settings_;
  bool granted_ = false;
  bool cancelled_ = false;
};

}  // namespace app
