// The settings dialog ("Настройка программы").
//
// It edits the program's Settings value (settings_file.h), which the program
// owns: each showing loads the value into the controls, and every change of
// a control goes straight into the value.  "Сохранить" writes the file
// through the save handler the program wires in, then closes; "Отмена" and
// Esc close without writing and leave whatever the user changed in the
// value, which is used for the rest of the run and written when the main
// window closes.
//
// Created once at start-up and shown modally by the settings command.  The
// dialog owns its controls; the value must outlive it.  User-interface
// thread only.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <functional>

#include "app/settings_file.h"
#include "widgets/masked_edit.h"

namespace app {

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  // `settings` is the value the dialog edits; not owned.
  explicit SettingsDialog(Settings& settings, QWidget* parent = nullptr);

  // Called by "Сохранить"; returns true when the file was written.  The
  // dialog closes only then, so a failed write leaves it open.
  void SetSaveHandler(std::function<bool()> save) { save_ = std::move(save); }

  // passwordEdit is enabled and painted in the window colour while
  // usePasswordBox is checked, disabled and painted in DisabledEditColor()
  // otherwise; its text stays either way.  Runs on every toggle of
  // usePasswordBox and at each showing.
  void ApplyPasswordEditRule();

  // The standard scroll-bar grey a disabled password edit is painted in.
  static QColor DisabledEditColor() { return QColor(200, 200, 200); }

  QCheckBox* printAmountBox;          // "Печатать сумму в квитанции": Settings::summa
  QCheckBox* usePasswordBox;          // "Использовать пароль для входа в систему": passLog
  widgets::MaskedEdit* passwordEdit;  // the login password: password
  QPushButton* saveButton;            // "Сохранить"
  QPushButton* cancelButton;          // "Отмена"

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Save();
  // The controls from the value.
  void Load();

  Settings& settings_;
  std::function<bool()> save_;
};

}  // namespace app
