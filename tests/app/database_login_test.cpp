// The engine's seams in the program: the "Вход в базу данных" dialog asked for
// an encrypted receipts file, and automatic flushing on Qt timers whose
// failures reach the general error handler's report.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/database_login.h"
#include "app/qt_timer_service.h"
#include "engine/base/database_error.h"
#include "register/register_fixture.h"

namespace {

enum class Answer { Ok, EnterKey, Cancel, EscKey };

}  // namespace

Q_DECLARE_METATYPE(Answer)

class DatabaseLoginTest : public QObject {
  Q_OBJECT

  ScriptedPrompts loginPrompts_;  // the engine's questions go here

 private slots:
  void initTestCase() { app::InstallDatabaseLogin(&loginPrompts_); }
  void cleanupTestCase() { app::InstallDatabaseLogin(nullptr); }
  void init() { loginPrompts_ = ScriptedPrompts(); }

  void encryptedReceiptsFile_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("error");
    QTest::newRow("right, OK") << "Секрет 1" << Answer::Ok << true << "";
    QTest::newRow("right, Enter") << "Секрет 1" << Answer::EnterKey << true << "";
    QTest::newRow("other letter case") << "секрет 1" << Answer::Ok << false << "Неверный пароль к файлу «formix.tdb»";
    QTest::newRow("empty") << "" << Answer::Ok << false << "Неверный пароль к файлу «formix.tdb»";
    QTest::newRow("right, Cancel") << "Секрет 1" << Answer::Cancel << false << "";
    QTest::newRow("right, Esc") << "Секрет 1" << Answer::EscKey << false << "";
  }
  void encryptedReceiptsFile() {
    QFETCH(QString, typed);
    QFETCH(Answer, answer);
    QFETCH(bool, opens);
    QFETCH(QString, error);
    DataFolder data;
    data.CreateReceipts("Twofish", Cp("Секрет 1"));
    {
      // A receipt stored under the password, to be shown only with it.
      tdb::TDadaTable t;
      t.SetDatabaseName("formix.tdb");
      t.SetTableName("formix");
      loginPrompts_.Then([](QDialog& d) {
        auto& login = static_cast<app::DatabaseLoginDialog&>(d);
        login.PasswordEdit->setText("Секрет 1");
        QTest::mouseClick(login.OkButton, Qt::LeftButton);
      });
      t.Open();
      t.Append();
      t.FieldByName("Platel").SetAsString(Cp("Тайный"));
      t.Post();
    }
    QString fileShown;
    bool readOnly = false, masked = false, focused = false;
    loginPrompts_.Then([&](QDialog& d) {
      auto& login = static_cast<app::DatabaseLoginDialog&>(d);
      fileShown = login.DatabaseEdit->text();
      readOnly = login.DatabaseEdit->isReadOnly();
      masked = login.PasswordEdit->echoMode() == QLineEdit::Password;
      focused = login.PasswordEdit->hasFocus();
      TypeText(login.PasswordEdit, typed);
      switch (answer) {
        case Answer::Ok: QTest::mouseClick(login.OkButton, Qt::LeftButton); break;
        case Answer::EnterKey: QTest::keyClick(login.PasswordEdit, Qt::Key_Return); break;
        case Answer::Cancel: QTest::mouseClick(login.CancelButton, Qt::LeftButton); break;
        case Answer::EscKey: QTest::keyClick(login.PasswordEdit, Qt::Key_Escape); break;
      }
    });
    Program p(data.Dir());
    p.Start();
    QCOMPARE(loginPrompts_.modalTitles, (QStringList{"Вход в базу данных", "Вход в базу данных"}));
    QCOMPARE(fileShown, QStringLiteral("formix.tdb"));
    QVERIFY(readOnly && masked && focused);
    QCOMPARE(p.table().Active(), opens);
    QCOMPARE(p.main()->actCreate->isEnabled(), opens);
    if (error.isEmpty()) {
      QVERIFY(p.prompts.errors.isEmpty());
    } else {
      QCOMPARE(p.prompts.errors.size(), 1);
      QVERIFY2(p.prompts.errors[0].startsWith(error), qPrintable(p.prompts.errors[0]));
    }
    if (opens) QCOMPARE(PayersOf(p.table()), QStringList{"Тайный"});
  }

  void plainFileAsksNothing() {
    DataFolder data;
    data.CreateReceipts();
    Program p(data.Dir());
    p.Start();
    QVERIFY(p.table().Active());
    QVERIFY(loginPrompts_.modalTitles.isEmpty());
  }

  // Russian throughout, and every text whole: labels, buttons and the caption
  // beside the title bar's buttons fit the room the dialog gives them.
  void dialogLayout() {
    app::DatabaseLoginDialog login("formix.tdb");
    QCOMPARE(login.windowTitle(), QStringLiteral("Вход в базу данных"));
    QCOMPARE(login.DatabaseLabel->text(), QStringLiteral("База данных:"));
    QCOMPARE(login.PasswordLabel->text(), QStringLiteral("Пароль:"));
    QCOMPARE(login.OkButton->text(), QStringLiteral("ОК"));
    QCOMPARE(login.CancelButton->text(), QStringLiteral("Отмена"));
    QVERIFY(login.OkButton->isDefault());
    QCOMPARE(login.DatabaseEdit->focusPolicy(), Qt::NoFocus);
    QVERIFY(login.PasswordEdit->text().isEmpty());
    QVERIFY(login.width() >= 281 && login.height() == 154);
    for (QLabel* label : {login.DatabaseLabel, login.PasswordLabel}) {
      QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
      QVERIFY(label->geometry().right() < login.DatabaseEdit->geometry().left());
    }
    for (QPushButton* button : {login.OkButton, login.CancelButton}) {
      QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) + 8 <= button->width(),
               qPrintable(button->text()));
      QVERIFY(login.rect().contains(button->geometry()));
    }
    QVERIFY(login.OkButton->geometry().right() < login.CancelButton->geometry().left());
    // The title bar draws the caption in bold beside an icon and three
    // buttons, each about as wide as a line of text is high.
    QFont bold = login.font();
    bold.setBold(true);
    const QFontMetrics title(bold);
    QVERIFY(login.width() >= title.horizontalAdvance(login.windowTitle()) + 5 * title.height());
  }

  // A tick that fails is reported as any failed command is; the silent
  // abort is not; the timer goes on ticking.
  void failingTicksReachTheErrorReport() {
    ScriptedPrompts prompts;
    app::QtTimerService service(&prompts);
    int ticks = 0;
    auto timer = service.StartPeriodic(5, [&ticks] {
      ++ticks;
      if (ticks == 1) throw tdb::EDatabaseError(tdb::ekDiskFull, "formix.tdb: Disk full", tdb::FileParams("formix.tdb"));
      if (ticks == 2) throw tdb::EAbort();
    });
    QTRY_VERIFY(ticks >= 3);
    QCOMPARE(prompts.errors.size(), 1);
    QVERIFY2(prompts.errors[0].startsWith("На диске не осталось места"), qPrintable(prompts.errors[0]));
    // A handle dropped inside its own tick stops the timer safely.
    std::unique_ptr<tdb::TPeriodicTimer> self;
    int selfTicks = 0;
    self = service.StartPeriodic(1, [&] {
      ++selfTicks;
      self.reset();
    });
    QTRY_COMPARE(selfTicks, 1);
    QTest::qWait(20);
    QCOMPARE(selfTicks, 1);
  }

  // The register's file is flushed on the event loop once written.
  void registerFileIsFlushedByTheTimer() {
    ScriptedPrompts prompts;
    app::QtTimerService service(&prompts);
    tdb::SetTimerService(&service);
    {
      DataFolder data;
      data.CreateReceipts();
      Program p(data.Dir());
      p.Start();
      tdb::TDadaDatabase& db = *dynamic_cast<tdb::TDadaTable&>(p.table()).Database();
      db.SetAutoFlushInterval(10);
      // The program flushes after every change; the timer is what flushes
      // a change made without that (a tool's, a bulk import's).
      QVERIFY(db.FlushAfterChange);
      db.FlushAfterChange = false;
      p.table().Append();
      p.table().Post();
      QVERIFY(!db.FileIO().Flushed());
      QTRY_VERIFY(db.FileIO().Flushed());
    }
    tdb::SetTimerService(nullptr);
    QVERIFY(prompts.errors.isEmpty());
  }
};

QTEST_MAIN(DatabaseLoginTest)
#include "database_login_test.moc"
