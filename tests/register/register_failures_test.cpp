// The register's failures as a clerk meets them: each one told once, in
// Russian, with the window still closable; a damaged file repaired from the
// window; a register that cannot be written opened for reading only.
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <optional>

#include "app/database_login.h"
#include "directories/directory.h"
#include "directories/directory_window.h"
#include "ui/error_report.h"
#include "register/register_fixture.h"
#include "support/file_permissions.h"

namespace {

// What a case does to the data folder before the program starts.
enum class Setup {
  Damaged,         // the last receipt cut off half-way
  NotADatabase,    // a text file in the register's place
  TableMissing,    // a data file of the program, but the payers'
  Missing,         // no register file
  Folder,          // a folder in the register's place
  NoPermission,    // the file cannot be read
  ReadOnly,        // the file cannot be written
  WrongPassword,   // an encrypted file, a wrong password typed
  DiskFull,        // the receipt dialog's save finds the disk full
  ChangedByOther,  // another program changes the receipt being edited
  DeletedByOther,  // another program deletes the receipt being edited
};

const std::vector<Receipt> kSix = {{1, "Иванов"}, {2, "Петров"}, {3, "Сидоров"},
                                   {4, "Смирнов"}, {5, "Козлов"}, {6, "Попов"}};

// Runs `change` on the register's first receipt in a session of its own, as
// another program would.
void ChangeAsAnotherProgram(const std::function<void(tdb::TDataSet&)>& change) {
  OtherProcess other;
  std::unique_ptr<tdb::TDataSet> t = other.Open();
  t->First();
  change(*t);
  t->Close();
}

void Prepare(Setup setup, DataFolder& data) {
  switch (setup) {
    case Setup::Missing: return;
    case Setup::Folder: QVERIFY(QDir(data.Path("")).mkdir("formix.tdb")); return;
    case Setup::NotADatabase: {
      QFile f(data.Path("formix.tdb"));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(QByteArray("Квитанции за декабрь\n").repeated(200));
      return;
    }
    case Setup::TableMissing: {
      receipts::CreateDatabaseFile(data.Path("formix.tdb").toStdString(), receipts::ReceiptFiles()[1].schema);
      return;
    }
    case Setup::WrongPassword: data.CreateReceipts("Twofish", Cp("Секрет 1")); return;
    default: break;
  }
  data.CreateReceipts();
  OtherProcess().Append(kSix);
  if (setup == Setup::Damaged) {
    // The end of the last record's data is gone, as after a crash in the
    // middle of its write.
    QFile f(data.Path("formix.tdb"));
    QVERIFY(f.resize(f.size() - 40));
  }
  if (setup == Setup::NoPermission) QVERIFY(QFile::setPermissions(data.Path("formix.tdb"), {}));
  if (setup == Setup::ReadOnly)
    QVERIFY(QFile::setPermissions(data.Path("formix.tdb"), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
}

// Words of the engine's English that must never reach the clerk.
const QStringList kEnglish = {"Database", "Cannot", "table", "file", "Access", "record", "DadaTable"};

// A server's failure as the clerk reads it: Russian, no file named, nothing
// Latin but the server's name in «» and the setting and command it names.
void VerifyServerText(const QString& text) {
  QVERIFY2(!text.isEmpty(), "nothing told");
  QVERIFY2(!text.contains(QStringLiteral("файл"), Qt::CaseInsensitive), qPrintable(text));
  QString rest = text;
  rest.remove(QRegularExpression(QStringLiteral("«[^»]*»")));
  for (const char* allowed : {"formix.ini", "[Data]", "Server"}) rest.remove(QLatin1String(allowed));
  QVERIFY2(!rest.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))), qPrintable(text));
}

// What a case does on the server.
enum class OnServer {
  Down,           // nothing listens where the settings point
  PasswordWrong,  // the role needs a password; three wrong ones typed
  Dropped,        // the session is killed just before the receipt is stored
  RightTaken,     // the clerk's write right is taken away meanwhile
  Refused,        // a trigger on the server refuses the change
};

}  // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(OnServer)

class RegisterFailuresTest : public QObject {
  Q_OBJECT

  ScriptedPrompts loginPrompts_;  // the engine's password questions

 private slots:
  void initTestCase() { app::InstallDatabaseLogin(&loginPrompts_); }
  void cleanupTestCase() { app::InstallDatabaseLogin(nullptr); }
  void init() { loginPrompts_ = ScriptedPrompts(); }

  void eachFailureIsToldOnceInRussian_data() {
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("told");      // a part of the one error shown
    QTest::addColumn<bool>("opens");        // the register is open afterwards
    if (!test_home::OnServer()) {  // the data folder's own failures
      QTest::newRow("damaged") << Setup::Damaged << "Реестр квитанций «formix.tdb» повреждён" << true;
      QTest::newRow("not a database file") << Setup::NotADatabase << "не является файлом данных программы" << false;
      QTest::newRow("table missing") << Setup::TableMissing << "нет нужной таблицы «formix»" << false;
      QTest::newRow("missing") << Setup::Missing << "Реестр квитанций «formix.tdb» не найден" << false;
      QTest::newRow("a folder") << Setup::Folder << "лежит папка с тем же именем" << false;
      QTest::newRow("no permission") << Setup::NoPermission << "Нет прав на чтение" << false;
      QTest::newRow("wrong password") << Setup::WrongPassword << "Неверный пароль к файлу «formix.tdb»" << false;
    }
    QTest::newRow("disk full") << Setup::DiskFull << "На диске не осталось места" << true;
    QTest::newRow("changed by another") << Setup::ChangedByOther << "Другой пользователь только что изменил"
                                        << true;
    QTest::newRow("deleted by another") << Setup::DeletedByOther << "Другой пользователь удалил эту запись" << true;
  }
  void eachFailureIsToldOnceInRussian() {
    QFETCH(Setup, setup);
    QFETCH(QString, told);
    QFETCH(bool, opens);
    DataFolder data;
    Prepare(setup, data);
    std::optional<FilePermissionsApply> permissions;  // the administrator would read the file anyway
    if (setup == Setup::NoPermission && !permissions.emplace().Applies())
      QSKIP("file permissions do not apply to this user");
    if (setup == Setup::WrongPassword) {
      for (int i = 0; i < 2; ++i)
        loginPrompts_.Then([](QDialog& d) {
          auto& login = static_cast<app::DatabaseLoginDialog&>(d);
          login.PasswordEdit->setText("секрет 1");
          QTest::mouseClick(login.OkButton, Qt::LeftButton);
        });
    }
    Program p(data.Dir());
    p.Start();
    QTest::qWait(20);  // the grid's first paint and any queued report

    // A failure of a command: the receipt dialog's save.
    if (setup == Setup::DiskFull || setup == Setup::ChangedByOther || setup == Setup::DeletedByOther) {
      QVERIFY(p.prompts.errors.isEmpty());
      p.dialogs->answer = [setup](tdb::TDataSet& t) {
        t.FieldByName("Platel").SetAsString(Cp("Исправлено"));
        if (setup == Setup::DiskFull)
          throw tdb::EDatabaseError(tdb::ekDiskFull, "Cannot write file formix.tdb: No space left on device",
                                    tdb::FileParams("formix.tdb"));
        ChangeAsAnotherProgram([setup](tdb::TDataSet& other) {
          if (setup == Setup::DeletedByOther) {
            other.Delete();
          } else {
            other.Edit();
            other.FieldByName("Platel").SetAsString(Cp("Чужая правка"));
            other.Post();
          }
        });
        t.Post();
      };
      p.table().First();
      p.main()->Edit();
    }

    QCOMPARE(p.prompts.errors.size(), 1);
    const QString error = p.prompts.errors[0];
    QVERIFY2(error.contains(told), qPrintable(error));
    for (const QString& word : kEnglish) QVERIFY2(!error.contains(word), qPrintable(error));
    QCOMPARE(p.table().Active(), opens);

    // The box's closing gives the window its activation back: nothing is
    // read again, nothing told again.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(p.main(), &activate);
    QTest::qWait(20);
    QCOMPARE(p.prompts.errors.size(), 1);

    // The window still closes, as the close box closes it.
    QVERIFY(p.main()->close());
    QVERIFY(!p.main()->isVisible());
    QCOMPARE(p.prompts.errors.size(), 1);
  }

  // "Восстановить…": the receipts that survived show again, the clerk is
  // told how many and where the copy of the damaged file is.
  void aDamagedRegisterIsRepairedFromTheWindow() {
    SKIP_ON_SERVER("a data folder's file");
    DataFolder data;
    Prepare(Setup::Damaged, data);
    const QByteArray damaged = [&] {
      QFile f(data.Path("formix.tdb"));
      return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    Program p(data.Dir());
    p.prompts.repair = true;
    p.Start();
    QTRY_COMPARE(p.prompts.repairOffers, 1);
    QVERIFY2(p.prompts.errors[0].contains("Нажмите «Восстановить…»"), qPrintable(p.prompts.errors[0]));
    QTRY_COMPARE(p.prompts.messages.size(), 1);
    QVERIFY2(p.prompts.messages[0].contains("восстановлен. Сохранено квитанций: 5."), qPrintable(p.prompts.messages[0]));
    QVERIFY2(p.prompts.messages[0].contains(data.Path("formix.tdb.bak")), qPrintable(p.prompts.messages[0]));
    QVERIFY(p.table().Active());
    QCOMPARE(PayersOf(p.table()), (QStringList{"Иванов", "Петров", "Сидоров", "Смирнов", "Козлов"}));
    // The grid shows them, cell by cell.
    auto* model = p.main()->grid->dataModel();
    QCOMPARE(model->rowCount(), 5);
    QStringList shown;
    for (int row = 0; row < 5; ++row) shown << model->fieldValue(row, "Platel").toString();
    QCOMPARE(shown, (QStringList{"Иванов", "Петров", "Сидоров", "Смирнов", "Козлов"}));
    // The copy beside the file is the damaged file as it was.
    QFile backup(data.Path("formix.tdb.bak"));
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), damaged);
    QTest::qWait(20);
    QCOMPARE(p.prompts.errors.size(), 1);  // the offer only
    QVERIFY(p.main()->actCreate->isEnabled());
  }

  // An encrypted register is repaired with its password, asked again as
  // its opening asks it.
  void anEncryptedRegisterIsRepairedWithItsPassword() {
    SKIP_ON_SERVER("a data folder's file");
    DataFolder data;
    data.CreateReceipts("Twofish", Cp("Секрет 1"));
    int asked = 0;
    for (int i = 0; i < 8; ++i)
      loginPrompts_.Then([&asked](QDialog& d) {
        ++asked;
        auto& login = static_cast<app::DatabaseLoginDialog&>(d);
        login.PasswordEdit->setText("Секрет 1");
        QTest::mouseClick(login.OkButton, Qt::LeftButton);
      });
    OtherProcess().Append(kSix);
    {
      QFile f(data.Path("formix.tdb"));
      QVERIFY(f.resize(f.size() - 40));
    }
    asked = 0;
    Program p(data.Dir());
    p.prompts.repair = true;
    p.Start();
    QTRY_COMPARE(p.prompts.messages.size(), 1);
    QCOMPARE(p.prompts.repairOffers, 1);
    QVERIFY2(p.prompts.messages[0].contains("восстановлен. Сохранено квитанций: 5."), qPrintable(p.prompts.messages[0]));
    QVERIFY(asked >= 2);  // the opening, then the repair
    QCOMPARE(PayersOf(p.table()), (QStringList{"Иванов", "Петров", "Сидоров", "Смирнов", "Козлов"}));
    QTest::qWait(20);
    QCOMPARE(p.prompts.errors.size(), 1);  // the offer only
    // Still encrypted: the file is not readable without the password.
    QFile repaired(data.Path("formix.tdb"));
    QVERIFY(repaired.open(QIODevice::ReadOnly));
    QVERIFY(!repaired.readAll().contains(QByteArray::fromStdString(Cp("Сидоров"))));
  }

  // Where no repair is offered (a directory's file), the text sends the
  // clerk to whoever looks after the program instead of to a button.
  void aDamagedFileWithoutTheOfferNamesNoButton() {
    const std::exception_ptr error = std::make_exception_ptr(
        tdb::EDatabaseError(tdb::ekDamaged, "Database file 'platel.tdb' is damaged", tdb::FileParams("platel.tdb")));
    const QString text = ui::ErrorText(error);
    QVERIFY2(text.startsWith("Справочник плательщиков «platel.tdb» повреждён"), qPrintable(text));
    QVERIFY(!text.contains("Восстановить"));
    QVERIFY(ui::RepairOfferText(error).contains("Нажмите «Восстановить…»"));
  }

  // A server's failures as the clerk meets them: told once in Russian, by
  // kind, without a file or the server's English; what was stored stays as
  // it was, and the window goes on working (after a dropped session the
  // next try stores the change).
  void serverFailuresAreToldInRussian_data() {
    QTest::addColumn<OnServer>("setup");
    QTest::addColumn<QString>("told");
    QTest::newRow("server down") << OnServer::Down << "Не удалось подключиться к серверу базы данных";
    QTest::newRow("password refused") << OnServer::PasswordWrong << "не принял имя пользователя или пароль";
    QTest::newRow("session dropped") << OnServer::Dropped << "Связь с сервером базы данных";
    QTest::newRow("write right taken") << OnServer::RightTaken << "Вам разрешено только просматривать";
    QTest::newRow("refused by the server") << OnServer::Refused << "отказался выполнить действие";
  }
  void serverFailuresAreToldInRussian() {
    if (!test_home::OnServer()) QSKIP("a database server's failures");
    QFETCH(OnServer, setup);
    QFETCH(QString, told);
    DataFolder data;
    Prepare(Setup::ReadOnly, data);  // six receipts
    test_home::Current()->Connection();  // the copy on the server made
    int asked = 0;
    switch (setup) {
      case OnServer::Down: test_home::UseServer("host=/nonexistent-formix-test port=1 dbname=formix user=formix"); break;
      case OnServer::PasswordWrong:
        test_home::UseServer(test_home::Current()->ConnInfo() + " user=formix_pw", [&asked](const std::string&, bool) {
          ++asked;
          return std::optional<std::string>("не тот пароль");
        });
        break;
      case OnServer::RightTaken: test_home::UseServer(test_home::ConnInfoAsRole("formix_clerk", false)); break;
      case OnServer::Refused:
        test_home::ExecAsOwner(
            "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION "
            "'changes are closed for the night'; END $$; CREATE TRIGGER refuse BEFORE UPDATE ON formix FOR EACH ROW "
            "EXECUTE FUNCTION refuse()");
        break;
      case OnServer::Dropped: break;
    }
    Program p(data.Dir());
    p.Start();
    QTest::qWait(20);
    const bool opens = setup != OnServer::Down && setup != OnServer::PasswordWrong;
    if (setup == OnServer::PasswordWrong) QCOMPARE(asked, server::kPasswordTries);
    if (opens) {
      QVERIFY(p.prompts.errors.isEmpty());
      p.dialogs->answer = [setup](tdb::TDataSet& t) {
        t.FieldByName("Platel").SetAsString(Cp("Исправлено"));
        if (setup == OnServer::Dropped)
          test_home::ExecAsOwner("SELECT pg_terminate_backend(" +
                                 std::to_string(test_home::Current()->Connection()->BackendPid()) + ")");
        if (setup == OnServer::RightTaken)
          test_home::ExecAsOwner("REVOKE INSERT, UPDATE, DELETE ON formix FROM formix_clerk");
        t.Post();
      };
      p.table().First();
      p.main()->Edit();
    }
    QCOMPARE(p.prompts.errors.size(), 1);
    VerifyServerText(p.prompts.errors[0]);
    QVERIFY2(p.prompts.errors[0].contains(told), qPrintable(p.prompts.errors[0]));
    QCOMPARE(p.table().Active(), opens);
    if (opens) {
      // Nothing half-stored; the window reads on.
      OtherProcess other;
      QCOMPARE(PayersOf(*other.Open("inomer")),
               (QStringList{"Иванов", "Петров", "Сидоров", "Смирнов", "Козлов", "Попов"}));
      QCOMPARE(PayersOf(p.table()).size(), 6);
      QVERIFY(p.table().State() == tdb::dsBrowse);
    }
    if (setup == OnServer::Dropped) {
      // The next try goes through a new session.
      p.dialogs->answer = {};
      p.dialogs->payer = "Исправлено";
      p.table().First();
      p.main()->Edit();
      QCOMPARE(p.prompts.errors.size(), 1);
      OtherProcess other;
      QCOMPARE(PayersOf(*other.Open("inomer")).first(), QString("Исправлено"));
    }
    QVERIFY(p.main()->close());
  }

  // A purge the server breaks off half-way (a receipt it refuses to delete,
  // or the session killed in the middle) changes nothing: every receipt,
  // number and mark as before, and the clerk is told.  The next purge,
  // with the cause gone, does it all.
  void aPurgeTheServerBreaksOffChangesNothing_data() {
    QTest::addColumn<QString>("action");  // what the trigger does at the second marked receipt
    QTest::addColumn<QString>("told");
    QTest::newRow("refused") << "RAISE EXCEPTION 'receipt 4 is kept by the auditors'"
                             << "отказался выполнить действие";
    QTest::newRow("session killed") << "PERFORM pg_terminate_backend(pg_backend_pid()); PERFORM pg_sleep(5)"
                                    << "Связь с сервером базы данных";
  }
  void aPurgeTheServerBreaksOffChangesNothing() {
    if (!test_home::OnServer()) QSKIP("a database server's failures");
    QFETCH(QString, action);
    QFETCH(QString, told);
    DataFolder data;
    data.CreateReceipts();
    OtherProcess().Append({{1, "Иванов"}, {2, "Петров", 0, true}, {3, "Сидоров"}, {4, "Смирнов", 0, true},
                           {5, "Козлов", 0, true}, {6, "Попов"}});
    test_home::Current()->Connection();
    test_home::ExecAsOwner("CREATE FUNCTION stop_purge() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF OLD.nomer = 4 "
                           "THEN " + action.toStdString() + "; END IF; RETURN OLD; END $$; CREATE TRIGGER stop_purge "
                           "BEFORE DELETE ON formix FOR EACH ROW EXECUTE FUNCTION stop_purge()");
    Program p(data.Dir());
    p.Start();
    QTest::qWait(20);
    const auto stored = [] {
      OtherProcess other;
      std::unique_ptr<tdb::TDataSet> t = other.Open("inomer");
      QStringList out;
      for (const Receipt& r : ReceiptsOf(*t)) out << QString("%1 %2%3").arg(r.nomer).arg(r.platel, r.marked ? " *" : "");
      return out;
    };
    const QStringList before = stored();
    p.main()->Purge();
    QCOMPARE(p.prompts.errors.size(), 1);
    VerifyServerText(p.prompts.errors[0]);
    QVERIFY2(p.prompts.errors[0].contains(told), qPrintable(p.prompts.errors[0]));
    QCOMPARE(stored(), before);
    QVERIFY(p.table().Active());
    QCOMPARE(PayersOf(p.table()).size(), 6);

    test_home::ExecAsOwner("DROP TRIGGER stop_purge ON formix");
    p.main()->Purge();
    QCOMPARE(p.prompts.errors.size(), 1);
    QCOMPARE(stored(), (QStringList{"1 Иванов", "2 Сидоров", "3 Попов"}));
  }

  // A register that cannot be written says so once when it opens; the
  // commands that would change it are disabled, printing is not.
  // On a server, the same for a role that may only read.
  void aReadOnlyRegisterSaysSoAndCannotBeChanged() {
    DataFolder data;
    Prepare(Setup::ReadOnly, data);
    if (test_home::OnServer()) test_home::UseServer(test_home::ConnInfoAsRole("formix_reader", true));
    Program p(data.Dir());
    p.Start();
    QTest::qWait(20);
    QVERIFY(p.prompts.errors.isEmpty());
    QCOMPARE(p.prompts.messages.size(), 1);
    if (test_home::OnServer()) {
      QVERIFY2(p.prompts.messages[0].contains("Вам разрешено только просматривать реестр квитанций на сервере"),
               qPrintable(p.prompts.messages[0]));
      VerifyServerText(p.prompts.messages[0]);
    } else {
      QVERIFY2(p.prompts.messages[0].contains("открыт только для чтения"), qPrintable(p.prompts.messages[0]));
    }
    QCOMPARE(PayersOf(p.table()).size(), 6);
    reg::RegisterWindow& w = *p.main();
    QVERIFY(w.ReadOnly());
    QVERIFY(w.readOnlyLabel->isVisibleTo(&w));
    for (QAction* a : {w.actCreate, w.actFromQr, w.actEdit, w.actDelete, w.actCopy, w.actPurge, w.pmCreate,
                       w.pmEdit, w.pmMark, w.pmCopy})
      QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
    for (QAction* a : {w.actPrint, w.actPreview, w.actPdf}) QVERIFY2(a->isEnabled(), qPrintable(a->text()));
    // The keys do nothing either.
    w.grid->setFocus();
    QTest::keyClick(w.grid, Qt::Key_Delete);
    QTest::keyClick(w.grid, Qt::Key_F9);
    QTest::keyClick(w.grid, Qt::Key_Insert);
    QTest::keyClick(w.grid, Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(p.dialogs->shown.empty());
    QVERIFY(p.prompts.questions.isEmpty());
    QVERIFY(p.prompts.errors.isEmpty());
    QCOMPARE(PayersOf(p.table()).size(), 6);
    // Activations read again but do not say it again.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&w, &activate);
    QCOMPARE(p.prompts.messages.size(), 1);
    QVERIFY(w.close());
  }

  // A directory on a server the role may only read: a change (the mark) is
  // refused with the server's account, the entry stays as it was and the
  // window stays open and usable.
  void aDirectoryTheRoleMayOnlyReadRefusesAChange() {
    if (!test_home::OnServer()) QSKIP("a database server's rights");
    DataFolder data;
    Prepare(Setup::ReadOnly, data);
    {
      std::unique_ptr<tdb::TDataSet> payers = test_home::OpenHomeTable("platel.tdb", "platel", "inomer");
      payers->Append();
      payers->FieldByName("nomer").SetAsInteger(1);
      payers->FieldByName("Platel").SetAsString(Cp("Петров"));
      payers->Post();
    }
    test_home::UseServer(test_home::ConnInfoAsRole("formix_reader", true));
    ScriptedPrompts prompts;
    directories::DirectoryWindow window(directories::PayersConfig(), prompts);
    prompts.Then([&](QDialog& d) {
      QVERIFY(window.actMark->isEnabled());
      window.actMark->trigger();  // told by the window itself
      QVERIFY(d.isVisible());
      QVERIFY(window.Logic().Table().Active());
      QCOMPARE(window.Logic().Table().RecordCount(), 1);
      d.reject();
    });
    window.ExecuteUpkeep();
    QCOMPARE(prompts.errors.size(), 1);
    VerifyServerText(prompts.errors[0]);
    QVERIFY2(prompts.errors[0].contains("Вам разрешено только просматривать справочник плательщиков"),
             qPrintable(prompts.errors[0]));
    std::unique_ptr<tdb::TDataSet> stored = test_home::OpenOtherClerksTable("platel", "inomer");
    QVERIFY(!stored->FieldByName("slugebnoe").AsBoolean());
  }
};

QTEST_MAIN(RegisterFailuresTest)
#include "register_failures_test.moc"
