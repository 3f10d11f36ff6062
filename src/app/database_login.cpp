// The "Database Login" dialog, built in code on the designed geometry.
#include "app/database_login.h"

#include <QApplication>
#include <QFontDatabase>
#include <QScreen>

#include "engine/database/session.h"
#include "widgets/data_text.h"

namespace app {

DatabaseLoginDialog::DatabaseLoginDialog(const QString& fileName, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("RadiVOLoginForm"));
  setWindowTitle(QStringLiteral("Database Login"));
  setAccessibleName(windowTitle());
  setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
  setFixedSize(281, 154);

  BackPanel = new QFrame(this);
  BackPanel->setObjectName(QStringLiteral("BackPanel"));
  BackPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  BackPanel->setLineWidth(2);
  BackPanel->setGeometry(8, 8, width() - 16, 75);

  const int editWidth = BackPanel->contentsRect().width() - 98;
  DatabaseLabel = new QLabel(QStringLiteral("Database:"), BackPanel);
  DatabaseLabel->setGeometry(12, 15, 72, 17);
  DatabaseEdit = new QLineEdit(fileName, BackPanel);
  DatabaseEdit->setObjectName(QStringLiteral("DatabaseEdit"));
  DatabaseEdit->setGeometry(86, 12, editWidth, 21);
  DatabaseEdit->setReadOnly(true);
  DatabaseEdit->setFocusPolicy(Qt::NoFocus);
  DatabaseEdit->setBackgroundRole(QPalette::Button);
  DatabaseEdit->setAutoFillBackground(true);
  QPalette face = DatabaseEdit->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  DatabaseEdit->setPalette(face);

  PasswordLabel = new QLabel(QStringLiteral("Password:"), BackPanel);
  PasswordLabel->setGeometry(12, 45, 72, 17);
  PasswordEdit = new QLineEdit(BackPanel);
  PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
  PasswordEdit->setGeometry(86, 42, editWidth, 21);
  PasswordEdit->setEchoMode(QLineEdit::Password);
  PasswordLabel->setBuddy(PasswordEdit);
  DatabaseLabel->setBuddy(DatabaseEdit);
  DatabaseEdit->setAccessibleName(QStringLiteral("Database:"));
  PasswordEdit->setAccessibleName(QStringLiteral("Password:"));

  OkButton = new QPushButton(QStringLiteral("&OK"), this);
  OkButton->setObjectName(QStringLiteral("OkButton"));
  OkButton->setGeometry(109, 94, 75, 25);
  OkButton->setDefault(true);
  OkButton->setAccessibleName(QStringLiteral("OK"));
  CancelButton = new QPushButton(QStringLiteral("&Cancel"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setGeometry(191, 94, 75, 25);
  CancelButton->setAutoDefault(false);
  CancelButton->setAccessibleName(QStringLiteral("Cancel"));
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
