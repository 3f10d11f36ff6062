// The password dialog of an encrypted database, built in code on the designed
// geometry.
#include "app/database_login.h"

#include <algorithm>

#include <QApplication>
#include <QFontDatabase>
#include <QScreen>

#include "engine/database/session.h"
#include "ui/window_placement.h"
#include "widgets/data_text.h"

namespace app {

DatabaseLoginDialog::DatabaseLoginDialog(const QString& fileName, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("databaseLoginDialog"));
  setWindowTitle(QStringLiteral("Вход в базу данных"));
  setAccessibleName(windowTitle());
  setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));

  const QString databaseText = QStringLiteral("База данных:");
  const QString passwordText = QStringLiteral("Пароль:");
  const QFontMetrics metrics = fontMetrics();
  // The designed size, widened where this desktop's font needs more room
  // for the labels, the buttons or the caption beside the title bar's
  // buttons.
  const int labelWidth =
      std::max({72, metrics.horizontalAdvance(databaseText), metrics.horizontalAdvance(passwordText)}) + 4;
  const int buttonWidth = std::max({75, metrics.horizontalAdvance(QStringLiteral("Отмена")) + 24});
  const int width = std::max({281, labelWidth + 209, 2 * buttonWidth + 31, ui::CaptionWidth(*this)});
  setFixedSize(width, 154);

  BackPanel = new QFrame(this);
  BackPanel->setObjectName(QStringLiteral("backPanel"));
  BackPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  BackPanel->setLineWidth(2);
  BackPanel->setGeometry(8, 8, width - 16, 75);

  const int editLeft = 14 + labelWidth;
  const int editWidth = BackPanel->contentsRect().width() - editLeft - 12;
  DatabaseLabel = new QLabel(databaseText, BackPanel);
  DatabaseLabel->setGeometry(12, 15, labelWidth, 17);
  DatabaseEdit = new QLineEdit(fileName, BackPanel);
  DatabaseEdit->setObjectName(QStringLiteral("databaseEdit"));
  DatabaseEdit->setGeometry(editLeft, 12, editWidth, 21);
  DatabaseEdit->setReadOnly(true);
  DatabaseEdit->setFocusPolicy(Qt::NoFocus);
  DatabaseEdit->setBackgroundRole(QPalette::Button);
  DatabaseEdit->setAutoFillBackground(true);
  QPalette face = DatabaseEdit->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  DatabaseEdit->setPalette(face);

  PasswordLabel = new QLabel(passwordText, BackPanel);
  PasswordLabel->setGeometry(12, 45, labelWidth, 17);
  PasswordEdit = new QLineEdit(BackPanel);
  PasswordEdit->setObjectName(QStringLiteral("passwordEdit"));
  PasswordEdit->setGeometry(editLeft, 42, editWidth, 21);
  PasswordEdit->setEchoMode(QLineEdit::Password);
  PasswordLabel->setBuddy(PasswordEdit);
  DatabaseLabel->setBuddy(DatabaseEdit);
  DatabaseEdit->setAccessibleName(databaseText);
  PasswordEdit->setAccessibleName(passwordText);

  OkButton = new QPushButton(QStringLiteral("ОК"), this);
  OkButton->setObjectName(QStringLiteral("okButton"));
  OkButton->setGeometry(width - 2 * buttonWidth - 22, 94, buttonWidth, 25);
  OkButton->setDefault(true);
  OkButton->setAccessibleName(OkButton->text());
  CancelButton = new QPushButton(QStringLiteral("Отмена"), this);
  CancelButton->setObjectName(QStringLiteral("cancelButton"));
  CancelButton->setGeometry(width - buttonWidth - 15, 94, buttonWidth, 25);
  CancelButton->setAutoDefault(false);
  CancelButton->setAccessibleName(CancelButton->text());
  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

  PasswordEdit->setFocus();
  // Centred on the screen, not on a parent window.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

bool AskDatabasePassword(ui::UiPrompts& prompts, const std::string& fileName, std::string& password) {
  DatabaseLoginDialog dialog(QString::fromUtf8(fileName), QApplication::activeWindow());
  if (prompts.ShowModal(dialog) != QDialog::Accepted) return false;
  password = widgets::ToCp1251(dialog.PasswordEdit->text());
  return true;
}

void InstallDatabaseLogin(ui::UiPrompts* prompts) {
  if (!prompts) {
    tdb::SetDefaultLoginCallback(nullptr);
    return;
  }
  tdb::SetDefaultLoginCallback([prompts](const std::string& fileName, std::string& password) {
    return AskDatabasePassword(*prompts, fileName, password);
  });
}

}  // namespace app
