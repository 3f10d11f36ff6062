// The login dialog: one attempt, compared with the password in the settings.
#include "app/password.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

#include "app/window_placement.h"

namespace app {

bool PasswordMatches(const QString& typed, const QString& stored) {
  return typed.compare(stored, Qt::CaseSensitive) == 0;
}

TFpassword::TFpassword(const QLineEdit& stored, QWidget* parent) : QDialog(parent), stored_(stored) {
  setWindowTitle(QStringLiteral("Квитанции (Безопасность)"));
  setObjectName(QStringLiteral("Fpassword"));

  Label1 = new QLabel(QStringLiteral("Пароль для входа в систему"), this);
  Edit1 = new widgets::MaskedEdit(this);
  BitBtn1 = new QPushButton(QStringLiteral("Ok"), this);
  BitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
  BitBtn1->setAutoDefault(false);
  BitBtn2->setAutoDefault(false);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  layout->addWidget(Edit1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(BitBtn1, &QPushButton::clicked, this,
          [this] { Finish(PasswordMatches(Edit1->text(), stored_.text())); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] {
    cancelled_ = true;
    Finish(false);
  });
}

void TFpassword::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) {
    Edit1->clear();
    granted_ = false;
    cancelled_ = false;
    Edit1->setFocus();
    CentreOnScreen(*this);
  }
}

void TFpassword::keyPressEvent(QKeyEvent* event) {
  // QDialog would take Enter for a default button and Esc for reject(); this
  // dialog has neither.
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void TFpassword::closeEvent(QCloseEvent* event) {
  // The close box and Alt+F4 count as "Ok": the comparison decides.
  event->accept();
  if (isVisible()) Finish(PasswordMatches(Edit1->text(), stored_.text()));
}

void TFpassword::Finish(bool granted) {
  granted_ = granted && !cancelled_;
  done(granted_ ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace app
