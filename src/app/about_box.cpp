// The about box: pictures, the program's description, version and contacts.
#include "app/about_box.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/pictures.h"
#include "app/version.h"
#include "ui/window_placement.h"

namespace app {
namespace {
QLabel* Centred(const QString& text, bool bold, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(Qt::AlignCenter);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  return label;
}
}  // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("О программе..."));
  setObjectName(QStringLiteral("aboutBox"));

  auto* top = new QFrame(this);
  top->setFrameShape(QFrame::StyledPanel);
  auto* topRow = new QHBoxLayout(top);
  auto* icon = new QLabel(top);
  icon->setPixmap(ui::ReceiptPicture(32));
  auto* picture = new QLabel(top);
  picture->setPixmap(ui::PrinterPicture(32));
  animation = new widgets::AnimatedPicture(top);
  animation->SetFrames(ui::CoinFrames(32));
  animation->SetFrameInterval(kFrameInterval);
  animation->setFixedSize(32, 32);
  OKButton = new QPushButton(QStringLiteral("ОК"), top);
  OKButton->setDefault(true);
  topRow->addWidget(icon);
  topRow->addWidget(picture);
  topRow->addWidget(animation);
  topRow->addStretch(1);
  topRow->addWidget(OKButton);

  auto* bottom = new QFrame(this);
  bottom->setFrameShape(QFrame::StyledPanel);
  auto* lines = new QVBoxLayout(bottom);
  lines->addWidget(Centred(QStringLiteral("Программа для печати квитанций в сбербанк"), false, bottom));
  lines->addWidget(Centred(QStringLiteral("(формы ПД-4 и ПД (налог))"), false, bottom));
  VersionLabel = Centred(QStringLiteral("Версия ") + QStringLiteral(FORMIX_VERSION), false, bottom);
  lines->addWidget(VersionLabel);
  lines->addSpacing(8);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(top);
  layout->addWidget(bottom);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // Esc reaches QDialog::reject, the same as "OK": both just close the box.
  connect(OKButton, &QPushButton::clicked, this, &AboutBox::accept);
}

void AboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) {
    OKButton->setFocus();
    ui::CentreOnScreen(*this);
  }
}

}  // namespace app
