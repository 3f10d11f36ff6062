// "Вход в базу данных": the dialog the engine shows for an encrypted database.
//
// When a dataset opens a table of an encrypted file and no password has been
// given for it yet, the engine asks its login callback; the program answers
// with this dialog: the file name (read-only) and a password edit that shows
// "*" for every character.  "ОК" (the default button) tries the typed
// password; "Отмена" (the cancel button, Esc) aborts the open silently.  A
// wrong password is refused by the engine (ekWrongPassword, told to the
// clerk as "Неверный пароль к файлу …"), and the table stays closed, so no
// record of the file is ever shown.
//
// The dialog is built once per question, shown modally through UiPrompts so
// that tests can answer it.  User-interface thread only.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>

#include "ui/ui_prompts.h"

namespace app {

class DatabaseLoginDialog : public QDialog {
  Q_OBJECT

 public:
  explicit DatabaseLoginDialog(const QString& fileName, QWidget* parent = nullptr);

  QFrame* BackPanel;
  QLabel* DatabaseLabel;     // "База данных:"
  QLabel* PasswordLabel;     // "Пароль:"
  QLineEdit* DatabaseEdit;   // the file name, read-only
  QLineEdit* PasswordEdit;   // "*" for every character, empty at first
  QPushButton* OkButton;     // "ОК", the default button
  QPushButton* CancelButton; // "Отмена", the cancel button
};

// Asks for the password of `fileName` (as the engine names the file) in the
// dialog; on OK puts the typed text into `password` as Windows-1251 bytes and
// answers true, on Cancel answers false.
bool AskDatabasePassword(ui::UiPrompts& prompts, const std::string& fileName, std::string& password);

// Makes the dialog the engine's default way of asking for a database
// password.  `prompts` must outlive every database opened afterwards.
void InstallDatabaseLogin(ui::UiPrompts* prompts);

}  // namespace app
