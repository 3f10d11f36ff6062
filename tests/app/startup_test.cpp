// One program run after another over a temporary program directory: the
// start-up sequence, the login gate, the settings dialog and the settings
// file written when the main window closes.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/program_windows.h"
#include "app/ini_file.h"
#include "data/receipt_tables.h"
#include "engine/base/codepage.h"
#include "support/scripted_prompts.h"

namespace {

// One run of the program: its windows, created as at start-up.
struct Program {
  explicit Program(const QString& dir) {
    forms = app::CreateProgramWindows(ui::AppContext{dir, &prompts});
    written = std::make_unique<QSignalSpy>(main(), &reg::RegisterWindow::settingsWritten);
    finished = std::make_unique<QSignalSpy>(main(), &reg::RegisterWindow::startupFinished);
  }
  reg::RegisterWindow* main() const { return forms->registerWindow.get(); }
  const app::Settings& settings() const { return forms->settings; }
  // Shows the main window and lets its start-up sequence run.
  void Start() {
    main()->show();
    QTRY_VERIFY(main()->StartupStarted());
  }
  bool Ended() const { return !main()->isVisible(); }

  ScriptedPrompts prompts;
  std::unique_ptr<app::ProgramWindows> forms;
  std::unique_ptr<QSignalSpy> written, finished;
};

// A login dialog script: type `text`, then finish with `how`.
enum class Finish { Ok, Cancel, CloseBox };
ScriptedPrompts::Script Login(const QString& text, Finish how) {
  return [text, how](QDialog& d) {
    auto& pw = static_cast<app::LoginDialog&>(d);
    TypeText(pw.passwordEdit, text);
    switch (how) {
      case Finish::Ok: QTest::mouseClick(pw.okButton, Qt::LeftButton); break;
      case Finish::Cancel: QTest::mouseClick(pw.cancelButton, Qt::LeftButton); break;
      case Finish::CloseBox: pw.close(); break;
    }
  };
}

}  // namespace

Q_DECLARE_METATYPE(Finish)

class StartupTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QTemporaryDir data_;  // the current directory, with an empty "formix.tdb"
  QString Path() const { return dir_.filePath("formix.ini"); }
  QString Dir() const { return dir_.path() + '/'; }
  QByteArray FileBytes() const {
    QFile f(Path());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
  }
  void SetFile(const QByteArray& bytes) {
    QFile f(Path());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  app::IniFile Ini() const { return app::IniFile::FromBytes(FileBytes().toStdString()); }

 private slots:
  void initTestCase() {
    QVERIFY(QDir::setCurrent(data_.path()));
    receipts::CreateDatabaseFile(data_.filePath("formix.tdb").toStdString(), receipts::ReceiptFiles()[0].schema);
  }
  void init() {
    QFile::remove(Path());
    QVERIFY(dir_.isValid());
  }

  void firstStartWithoutSettingsFile() {
    Program p(Dir());
    p.Start();
    QVERIFY(p.prompts.modalTitles.isEmpty());
    QCOMPARE(p.finished->count(), 1);
    QVERIFY(p.main()->Receipts().Active());
    QVERIFY(p.prompts.errors.isEmpty());
    QVERIFY(!p.main()->isMaximized());
    QVERIFY(p.settings().summa);
    QVERIFY(!p.settings().passLog);
    QVERIFY(!QFile::exists(Path()));

    p.main()->close();
    QCOMPARE(p.written->count(), 1);
    // The four keys, then the register's layout in a section of its own.
    const QByteArray ours("[Main]\r\nWindowsState=0\r\n[Nastr]\r\nSumma=1\r\nPassLog=0\r\nPassword=\r\n");
    QCOMPARE(FileBytes().left(ours.size()), ours);
    QVERIFY(FileBytes().mid(ours.size()).startsWith("[Register]\r\nSortColumn=0\r\n"));
  }

  void loginGate_data() {
    QTest::addColumn<QByteArray>("stored");  // Windows-1251
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Finish>("how");
    QTest::addColumn<bool>("goesOn");
    QTest::newRow("empty password, empty entry") << QByteArray("") << "" << Finish::Ok << true;
    QTest::newRow("right password") << QByteArray("Secret") << "Secret" << Finish::Ok << true;
    QTest::newRow("differs in letter case") << QByteArray("Secret") << "secret" << Finish::Ok << false;
    QTest::newRow("wrong password") << QByteArray("Secret") << "Secre" << Finish::Ok << false;
    QTest::newRow("Отмена with the right password") << QByteArray("Secret") << "Secret" << Finish::Cancel << false;
    QTest::newRow("close box, right password") << QByteArray("Secret") << "Secret" << Finish::CloseBox << true;
    QTest::newRow("close box, wrong password") << QByteArray("Secret") << "" << Finish::CloseBox << false;
    QTest::newRow("Cyrillic password") << QByteArray("\xCF\xE0\xF0\xEE\xEB\xFC") << "Пароль" << Finish::Ok << true;
    QTest::newRow("Cyrillic, other case") << QByteArray("\xCF\xE0\xF0\xEE\xEB\xFC") << "пароль" << Finish::Ok << false;
  }
  // The same entry at every try: a wrong one is refused three times, each
  // time said so, and the program ends; "Отмена" ends it at once, silently.
  void loginGate() {
    QFETCH(QByteArray, stored);
    QFETCH(QString, typed);
    QFETCH(Finish, how);
    QFETCH(bool, goesOn);
    SetFile("[Nastr]\r\nPassLog=1\r\nPassword=" + stored + "\r\n");
    Program p(Dir());
    const bool wrong = !goesOn && how != Finish::Cancel;
    const int tries = wrong ? app::kLoginTries : 1;
    for (int i = 0; i < tries; ++i) p.prompts.Then(Login(typed, how));
    p.Start();
    QCOMPARE(p.prompts.modalTitles, QStringList(tries, QStringLiteral("Квитанции (Безопасность)")));
    if (wrong) {
      QCOMPARE(p.prompts.messages, (QStringList{"Неверный пароль. Попробуйте ещё раз.",
                                                "Неверный пароль. Попробуйте ещё раз.",
                                                "Неверный пароль. Программа будет закрыта."}));
    } else {
      QVERIFY(p.prompts.messages.isEmpty());
    }
    QCOMPARE(p.Ended(), !goesOn);
    QCOMPARE(p.finished->count(), goesOn ? 1 : 0);
    // A refused login closes the main window, which writes the file once.
    QCOMPARE(p.written->count(), goesOn ? 0 : 1);
    if (!goesOn) {
      QCOMPARE(Ini().ReadString(u"Nastr", u"Password", {}),
               QString::fromStdU16String(tdb::Cp1251ToUtf16(stored.toStdString())));
      // Nothing afterwards writes it again.
      QTest::qWait(0);
      p.main()->close();
      QCOMPARE(p.written->count(), 1);
    }
  }

  // In the real event loop a refused login ends the program: closing the
  // main window from inside the start-up sequence quits the application.
  void refusedLoginEndsTheEventLoop() {
    SetFile("[Nastr]\r\nPassLog=1\r\nPassword=abc\r\n");
    Program p(Dir());
    p.prompts.Then(Login("abc", Finish::Cancel));
    p.main()->show();
    // Only a guard against a hang; a quitting program returns 0 long before.
    QTimer::singleShot(30000, qApp, [] { QApplication::exit(99); });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(p.Ended());
    QCOMPARE(p.written->count(), 1);
    QCOMPARE(p.finished->count(), 0);
  }

  // A mistyped password may be corrected: Enter is "ОК" wherever the focus
  // is, Esc is "Отмена".
  void enterIsOkAndEscIsCancel() {
    SetFile("[Nastr]\r\nPassLog=1\r\nPassword=abc\r\n");
    {
      Program p(Dir());
      p.prompts.Then([](QDialog& d) {
        auto& pw = static_cast<app::LoginDialog&>(d);
        TypeText(pw.passwordEdit, "abd");
        QTest::keyClick(pw.passwordEdit, Qt::Key_Return);
      });
      p.prompts.Then([](QDialog& d) {
        auto& pw = static_cast<app::LoginDialog&>(d);
        QVERIFY(pw.passwordEdit->text().isEmpty());
        TypeText(pw.passwordEdit, "abc");
        pw.cancelButton->setFocus();
        QTest::keyClick(pw.cancelButton, Qt::Key_Enter);
      });
      p.Start();
      QCOMPARE(p.prompts.messages, QStringList{"Неверный пароль. Попробуйте ещё раз."});
      QVERIFY(!p.Ended());
      QCOMPARE(p.finished->count(), 1);
    }
    Program p(Dir());
    p.prompts.Then([](QDialog& d) {
      auto& pw = static_cast<app::LoginDialog&>(d);
      TypeText(pw.passwordEdit, "abc");
      QTest::keyClick(pw.passwordEdit, Qt::Key_Escape);
    });
    p.Start();
    QVERIFY(p.Ended());
    QVERIFY(p.prompts.messages.isEmpty());
  }

  // The caption "Квитанции (Безопасность)" is not cut short beside the title
  // bar's buttons, nor is the prompt or a button's text.
  void theLoginDialogFitsItsCaption() {
    app::Settings settings;
    app::LoginDialog login(settings);
    login.show();
    QVERIFY(QTest::qWaitForWindowExposed(&login));
    // The title bar draws the caption in bold beside an icon and three
    // buttons, each about as wide as a line of text is high.
    QFont bold = login.font();
    bold.setBold(true);
    const QFontMetrics title(bold);
    QVERIFY(login.width() >= title.horizontalAdvance(login.windowTitle()) + 5 * title.height());
    QVERIFY(login.promptLabel->width() >= login.promptLabel->fontMetrics().horizontalAdvance(login.promptLabel->text()));
    for (QPushButton* button : {login.okButton, login.cancelButton})
      QVERIFY2(button->width() >= button->fontMetrics().horizontalAdvance(button->text()) + 8, qPrintable(button->text()));
  }

  void windowStateAtExit_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("normal") << int(Qt::WindowNoState) << QByteArray("0");
    QTest::newRow("maximized") << int(Qt::WindowMaximized) << QByteArray("1");
    QTest::newRow("minimized") << int(Qt::WindowMinimized) << QByteArray("0");
    QTest::newRow("minimized from maximized") << int(Qt::WindowMaximized | Qt::WindowMinimized) << QByteArray("0");
  }
  void windowStateAtExit() {
    QFETCH(int, state);
    QFETCH(QByteArray, written);
    {
      Program p(Dir());
      p.Start();
      p.main()->setWindowState(Qt::WindowStates(state));
      p.main()->close();
    }
    QVERIFY(FileBytes().contains("WindowsState=" + written + "\r\n"));
    Program next(Dir());
    next.Start();
    QCOMPARE(next.main()->isMaximized(), written == "1");
    QVERIFY(!next.main()->isMinimized());
    next.main()->close();
  }

  void settingsCancelKeepsChangesForTheWriteAtExit() {
    SetFile("[Nastr]\r\nPassLog=1\r\nPassword=abc\r\n");
    const QByteArray before = "[Nastr]\r\nPassLog=1\r\nPassword=abc\r\n";
    {
      Program p(Dir());
      p.prompts.Then(Login("abc", Finish::Ok));
      bool greyed = false;
      p.prompts.Then([&greyed](QDialog& d) {
        auto& n = static_cast<app::SettingsDialog&>(d);
        QVERIFY(n.passwordEdit->isEnabled());
        QTest::mouseClick(n.usePasswordBox, Qt::LeftButton);
        greyed = !n.passwordEdit->isEnabled() && n.passwordEdit->text() == "abc" &&
                 n.passwordEdit->palette().color(QPalette::Disabled, QPalette::Base) == QColor(200, 200, 200);
        QTest::mouseClick(n.cancelButton, Qt::LeftButton);
      });
      p.Start();
      p.main()->actSettings->trigger();
      QVERIFY(greyed);
      QCOMPARE(p.prompts.modalTitles.last(), QStringLiteral("Настройка программы"));
      QCOMPARE(p.written->count(), 0);
      QCOMPARE(FileBytes(), before);
      QVERIFY(!p.settings().passLog);
      p.main()->actExit->trigger();
      QVERIFY(p.Ended());
      QCOMPARE(p.written->count(), 1);
    }
    QCOMPARE(Ini().ReadString(u"Nastr", u"PassLog", {}), QStringLiteral("0"));
    QCOMPARE(Ini().ReadString(u"Nastr", u"Password", {}), QStringLiteral("abc"));
    Program next(Dir());
    next.Start();
    QVERIFY(next.prompts.modalTitles.isEmpty());
    QCOMPARE(next.finished->count(), 1);
  }

  void cyrillicPasswordSavedAndAskedNextStart() {
    {
      Program p(Dir());
      p.prompts.Then([](QDialog& d) {
        auto& n = static_cast<app::SettingsDialog&>(d);
        QVERIFY(!n.passwordEdit->isEnabled());
        QTest::mouseClick(n.usePasswordBox, Qt::LeftButton);
        QVERIFY(n.passwordEdit->isEnabled());
        TypeText(n.passwordEdit, QStringLiteral("Пароль"));
        QTest::mouseClick(n.saveButton, Qt::LeftButton);
      });
      p.Start();
      p.main()->actSettings->trigger();
      QCOMPARE(p.written->count(), 1);  // "Сохранить" writes at once
      QVERIFY(!p.forms->settingsDialog->isVisible());
      QVERIFY(FileBytes().contains("Password=\xCF\xE0\xF0\xEE\xEB\xFC\r\n"));
      QVERIFY(FileBytes().contains("PassLog=1\r\n"));
      p.main()->close();
    }
    Program next(Dir());
    next.prompts.Then(Login(QStringLiteral("Пароль"), Finish::Ok));
    next.Start();
    QCOMPARE(next.prompts.modalTitles.size(), 1);
    QCOMPARE(next.finished->count(), 1);
    QVERIFY(!next.Ended());
    next.main()->close();
  }

  void keysNotOursAreLeftAlone() {
    SetFile("; written by hand\r\n[MAIN]\r\nwindowsstate = 1\r\nLeft=10\r\n\r\n"
            "[Nastr]\r\nSumma=$0\r\nExtra=\xC4\xE0\r\n\r\n[Other]\r\nk=v\r\n");
    Program p(Dir());
    p.Start();
    QVERIFY(p.main()->isMaximized());
    QVERIFY(!p.settings().summa);
    p.main()->close();
    const QByteArray before("; written by hand\r\n[MAIN]\r\nwindowsstate=1\r\nLeft=10\r\n\r\n"
                            "[Nastr]\r\nSumma=0\r\nExtra=\xC4\xE0\r\nPassLog=0\r\nPassword=\r\n"
                            "\r\n[Other]\r\nk=v\r\n");
    QCOMPARE(FileBytes().left(before.size()), before);
    QVERIFY(FileBytes().mid(before.size()).startsWith("[Register]\r\n"));
  }

  void returningFromModalWindowsDoesNotRerunStartup() {
    SetFile("[Nastr]\r\nPassLog=1\r\nPassword=\r\n");
    Program p(Dir());
    p.prompts.Then(Login("", Finish::Ok));
    p.Start();
    QCOMPARE(p.finished->count(), 1);
    p.main()->actAbout->trigger();
    p.main()->actSettings->trigger();
    p.main()->activateWindow();
    QTest::qWait(0);
    p.main()->RunStartup();
    QCOMPARE(p.finished->count(), 1);
    QCOMPARE(p.prompts.modalTitles,
             (QStringList{"Квитанции (Безопасность)", "О программе...", "Настройка программы"}));
  }

  void unreadableSettingsFile() {
    QVERIFY(QDir(dir_.path()).mkdir("formix.ini"));
    {
      Program p(Dir());
      p.Start();
      QCOMPARE(p.finished->count(), 1);  // no message, start-up goes on
      QVERIFY(p.prompts.errors.isEmpty());
      QVERIFY(p.settings().summa);
      p.main()->close();
      // The failed write is reported and the program still ends.
      QVERIFY(p.Ended());
      QCOMPARE(p.written->count(), 0);
      QCOMPARE(p.prompts.errors.size(), 1);
      QVERIFY(p.prompts.errors.first().startsWith("Не удалось записать файл настроек"));
    }
    QVERIFY(QDir(dir_.path()).rmdir("formix.ini"));
  }

  void failedSaveKeepsTheSettingsDialogOpen() {
    QVERIFY(QDir(dir_.path()).mkdir("formix.ini"));
    Program p(Dir());
    bool openAfterSave = false;
    p.prompts.Then([&openAfterSave](QDialog& d) {
      auto& n = static_cast<app::SettingsDialog&>(d);
      QTest::mouseClick(n.saveButton, Qt::LeftButton);
      openAfterSave = n.isVisible();
      QTest::keyClick(&n, Qt::Key_Escape);
    });
    p.Start();
    p.main()->actSettings->trigger();
    QVERIFY(openAfterSave);
    QCOMPARE(p.prompts.errors.size(), 1);
    QVERIFY(QDir(dir_.path()).rmdir("formix.ini"));
  }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
