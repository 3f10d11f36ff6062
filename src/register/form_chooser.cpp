// The form chooser: a list and two buttons.
#include "register/form_chooser.h"

#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/window_placement.h"

namespace reg {

FormChooser::FormChooser(const QWidget* centreOver, QWidget* parent)
    : QDialog(parent), centreOver_(centreOver) {
  setWindowTitle(QStringLiteral("Выбор вида документа"));
  setObjectName(QStringLiteral("formChooser"));

  formList = new widgets::ListBox(this);
  formList->setMinimumWidth(200);
  okButton = new QPushButton(QStringLiteral("Ok"), this);
  cancelButton = new QPushButton(QStringLiteral("Отмена"), this);
  okButton->setDefault(true);
  cancelButton->setAutoDefault(false);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(formList, 1);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(okButton);
  buttons->addWidget(cancelButton);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(okButton, &QPushButton::clicked, this, &FormChooser::accept);
  connect(cancelButton, &QPushButton::clicked, this, &FormChooser::reject);
  connect(formList, &widgets::ListBox::chosen, this, &FormChooser::accept);
}

void FormChooser::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  formList->selectFirst();
  formList->setFocus();
  ui::CentreOver(*this, centreOver_);
}

}  // namespace reg
