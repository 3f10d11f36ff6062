// The register's failures as a clerk meets them: each one told once, in
// Russian, with the window still closable; a damaged file repaired from the
// window; a register that cannot be written opened for reading only.
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <optional>

#include "app/database_login.h"
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

}  // namespace

Q_DECLARE_METATYPE(Setup)

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

  // A register that cannot be written says so once when it opens; the
  // commands that would change it are disabled, printing is not.
  void aReadOnlyRegisterSaysSoAndCannotBeChanged() {
    SKIP_ON_SERVER("a data folder's file");
    DataFolder data;
    Prepare(Setup::ReadOnly, data);
    Program p(data.Dir());
    p.Start();
    QTest::qWait(20);
    QVERIFY(p.prompts.errors.isEmpty());
    QCOMPARE(p.prompts.messages.size(), 1);
    QVERIFY2(p.prompts.messages[0].contains("открыт только для чтения"), qPrintable(p.prompts.messages[0]));
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
};

QTEST_MAIN(RegisterFailuresTest)
#include "register_failures_test.moc"
