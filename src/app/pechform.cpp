// The form chooser: a list and two buttons.
#include "app/pechform.h"

#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/window_placement.h"

namespace app {

TFpechform::TFpechform(const QWidget* centreOver, QWidget* parent)
    : QDialog(parent), centreOver_(centreOver) {
  setWindowTitle(QStringLiteral("Выбор вида документа"));
  setObjectName(QStringLiteral("Fpechform"));

  ListBox1 = new widgets::ListBox(this);
  ListBox1->setMinimumWidth(200);
  BitBtn1 = new QPushButton(QStringLiteral("Ok"), this);
  BitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
  BitBtn1->setDefault(true);
  BitBtn2->setAutoDefault(false);

  auto* layout = new QHBoxLayout(this);
  layout->addWidget(ListBox1, 1);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  buttons->addStretch(1);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(BitBtn1, &QPushButton::clicked, this, &TFpechform::accept);
  connect(BitBtn2, &QPushButton::clicked, this, &TFpechform::reject);
  connect(ListBox1, &widgets::ListBox::chosen, this, &TFpechform::accept);
}

void TFpechform::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  ListBox1->selectFirst();
  ListBox1->setFocus();
  CentreOver(*this, centreOver_);
}

}  // namespace app
