// The form chooser FormChooser ("Выбор вида документа").
//
// A list the caller fills, "Ok" (the default button: Enter) and "Отмена" (the
// cancel button: Esc).  Each showing focuses the list with its first item
// selected; a double-click on the list closes it as "Ok".  "Отмена", Esc and
// the close box give Rejected.  Callers treat every other result as OK and
// then act on formList's current row.
//
// Created once at start-up, shown modally centred over the main window.  The
// dialog owns its controls; `centreOver` must outlive it.  User-interface
// thread only.
#pragma once

#include <QDialog>
#include <QPushButton>

#include "widgets/list_box.h"

namespace reg {

class FormChooser : public QDialog {
  Q_OBJECT

 public:
  explicit FormChooser(const QWidget* centreOver, QWidget* parent = nullptr);

  widgets::ListBox* formList;
  QPushButton* okButton;  // "Ok"
  QPushButton* cancelButton;  // "Отмена"

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  const QWidget* centreOver_;
};

}  // namespace reg
