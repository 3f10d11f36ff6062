// The login dialog: an attempt, compared with the password in the settings.
#include "app/login_dialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/dialog_buttons.h"
#include "ui/window_placement.h"

namespace app {

bool PasswordMatches(const QString& typed, const QString& stored) {
  return typed.compare(stored, Qt::CaseSensitive) == 0;
}

LoginDialog::LoginDialog(const Settings& settings, QWidget* parent) : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("Квитанции (Безопасность)"));
  setObjectName(QStringLiteral("loginDialog"));

  promptLabel = new QLabel(QStringLiteral("Пароль для входа в систему"), this);
  passwordEdit = new widgets::MaskedEdit(this);
  const ui::OkCancelRow buttons = ui::MakeOkCancelRow(this, QStringLiteral("ОК"), ui::OkDefault::kNo);
  okButton = buttons.ok;
  cancelButton = buttons.cancel;
  // Wide enough for the whole caption beside the title bar's buttons.
  promptLabel->setMinimumWidth(ui::CaptionWidth(*this) - 2 * style()->pixelMetric(QStyle::PM_LayoutLeftMargin));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(promptLabel);
  layout->addWidget(passwordEdit);
  layout->addWidget(buttons.box);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(okButton, &QPushButton::clicked, this,
          [this] { Finish(PasswordMatches(passwordEdit->text(), settings_.password)); });
  connect(cancelButton, &QPushButton::clicked, this, [this] {
    cancelled_ = true;
    Finish(false);
  });
}

void LoginDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) {
    passwordEdit->clear();
    granted_ = false;
    cancelled_ = false;
    passwordEdit->setFocus();
    ui::CentreOnScreen(*this);
  }
}

void LoginDialog::keyPressEvent(QKeyEvent* event) {
  // Enter is "ОК" and Esc "Отмена", wherever the focus is.
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->accept();
      okButton->click();
      return;
    case Qt::Key_Escape:
      event->accept();
      cancelButton->click();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void LoginDialog::closeEvent(QCloseEvent* event) {
  // The close box and Alt+F4 count as "Ok": the comparison decides.
  event->accept();
  if (isVisible()) Finish(PasswordMatches(passwordEdit->text(), settings_.password));
}

void LoginDialog::Finish(bool granted) {
  granted_ = granted && !cancelled_;
  done(granted_ ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace app
