// The about box: pictures, the program's description, version and contacts.
#include "app/u_about.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/pictures.h"
#include "app/version.h"
#include "app/window_placement.h"

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

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("О программе..."));
  setObjectName(QStringLiteral("FormAbout"));

  auto* top = new QFrame(this);
  top->setFrameShape(QFrame::StyledPanel);
  auto* topRow = new QHBoxLayout(top);
  auto* icon = new QLabel(top);
  icon->setPixmap(ReceiptPicture(32));
  auto* picture = new QLabel(top);
  picture->setPixmap(PrinterPicture(32));
  Animate1 = new widgets::AnimatedPicture(top);
  Animate1->SetFrames(CoinFrames(32));
  Animate1->SetFrameInterval(kFrameInterval);
  Animate1->setFixedSize(32, 32);
  OKButton = new QPushButton(QStringLiteral("OK"), top);
  OKButton->setDefault(true);
  topRow->addWidget(icon);
  topRow->addWidget(picture);
  topRow->addWidget(Animate1);
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
  lines->addWidget(Centred(QStringLiteral("Служба сопровождения программы"), true, bottom));
  lines->addWidget(Centred(QStringLiteral("Электронная почта: support@example.org"), true, bottom));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(top);
  layout->addWidget(bottom);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // Esc reaches QDialog::reject, the same as "OK": both just close the box.
  connect(OKButton, &QPushButton::clicked, this, &TFormAbout::accept);
}

void TFormAbout::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) {
    OKButton->setFocus();
    CentreOnScreen(*this);
  }
}

}  // namespace app
