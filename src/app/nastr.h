// The settings dialog TFnastr ("Настройка программы").
//
// Its controls are where the "Nastr" settings live during a run: CheckBox1
// holds "Summa", CheckBox2 "PassLog" and Edit1 "Password".  The start-up
// sequence loads the file into them, the login gate compares against Edit1,
// and both writers of the file read them.  "Сохранить" writes the file through
// the save handler the program wires in (the main window owns the write, as it
// also knows its own state), then closes; "Отмена" and Esc close without
// writing and leave whatever the user changed in the controls.
//
// Created once at start-up and shown modally by the settings command.  The
// dialog owns its controls.  User-interface thread only.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <functional>

#include "widgets/masked_edit.h"

namespace app {

class TFnastr : public QDialog {
  Q_OBJECT

 public:
  explicit TFnastr(QWidget* parent = nullptr);

  // Called by "Сохранить"; returns true when the file was written.  The
  // dialog closes only then, so a failed write leaves it open.
  void SetSaveHandler(std::function<bool()> save) { save_ = std::move(save); }

  // Edit1 is enabled and painted in the window colour while CheckBox2 is
  // checked, disabled and painted in kDisabledEditColor otherwise; its text
  // stays either way.  Runs on every toggle of CheckBox2; the settings command
  // runs it before showing the dialog.
  void ApplyPasswordEditRule();

  // The standard scroll-bar grey a disabled password edit is painted in.
  static QColor DisabledEditColor() { return QColor(200, 200, 200); }

  QCheckBox* CheckBox1;        // "Печатать сумму в квитанции"
  QCheckBox* CheckBox2;        // "Использовать пароль для входа в систему"
  widgets::MaskedEdit* Edit1;  // the login password
  QPushButton* BitBtn1;        // "Сохранить"
  QPushButton* BitBtn2;        // "Отмена"

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Save();

  std::function<bool()> save_;
};

}  // namespace app
