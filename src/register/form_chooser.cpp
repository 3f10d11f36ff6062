// The form chooser: a list and two buttons.
#include "register/form_chooser.h"

#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/dialog_buttons.h"
#include "ui/window_placement.h"

namespace reg {

FormChooser::FormChooser(const QWidget* centreOver, QWidget* parent)
    : QDialog(parent), centreOver_(centreOver) {
  setWindowTitle(QStringLiteral("Выбор вида документа"));
  setObjectName(QStringLiteral("formChooser"));

  formList = new widgets::ListBox(this);
  formList->setMinimumWidth(200);
  const ui::OkCancelRow buttons = ui::MakeOkCancelRow(this, QStringLiteral("ОК"), ui::OkDefault::kYes,
                                                      QStringLiteral("Отмена"), Qt::Vertical);
  okButton = buttons.ok;
  cancelButton = buttons.cancel;
  cancelButton->setAutoDefault(false);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(formList, 1);
  layout->addWidget(buttons.box);
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
