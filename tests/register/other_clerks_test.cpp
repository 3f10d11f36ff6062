// Two clerks on one data folder: the program's real windows while another
// program (a forked child) changes, deletes and numbers the same receipts and
// directory entries.  "ОК" never overwrites the other's change, nothing typed
// is lost, numbers differ, and idle windows show the file as it is.
#include <QDate>
#include <QLineEdit>
#include <QTest>

#include "app/program_windows.h"
#include "data/receipt_rules.h"
#include "support/manual_timers.h"
#include "support/other_clerk_table.h"
#include "support/receipt_files.h"
#include "support/scripted_prompts.h"

namespace {

// A receipt in "formix.tdb".
void AddReceipt(int nomer, const char* payer, double amount, const char* purpose) {
  auto t = OpenTable("formix.tdb", "formix", "");
  t->Insert();
  t->FieldByName("nomer").SetAsInteger(nomer);
  t->FieldByName("Platel").SetAsString(tdb::Utf8ToCp1251(payer));
  t->FieldByName("Summa").SetAsCurrency(tdb::TCurrency::FromDouble(amount));
  t->FieldByName("NaznPlat").SetAsString(tdb::Utf8ToCp1251(purpose));
  t->FieldByName("document").SetAsString(tdb::Utf8ToCp1251("Форма № ПД-4 "));
  // Complete, so that "ОК" asks nothing about what is missing.
  t->FieldByName("Poluchat").SetAsString(tdb::Utf8ToCp1251("ООО «Свет»"));
  t->FieldByName("DatePlat").SetAsDateTime(static_cast<double>(QDate(1899, 12, 30).daysTo(QDate::currentDate())));
  t->Post();
}

// The other program: `change` on the record numbered `nomer` of a file's table.
// On a server run, the program's session has heard of it when this returns.
bool OtherChanges(const char* file, const char* table, int nomer, const std::function<void(tdb::TDataSet&)>& change) {
  const uint64_t heard = test_home::HeardChanges(table);
  const bool done = InOtherProgram([=] {
    OtherClerkTable other(file, table);
    tdb::TDataSet& t = other.Go(nomer);
    t.Edit();
    change(t);
    t.Post();
  });
  test_home::AwaitHeard(table, heard);
  return done;
}

bool OtherDeletes(const char* file, const char* table, int nomer) {
  const uint64_t heard = test_home::HeardChanges(table);
  const bool done = InOtherProgram([=] {
    OtherClerkTable other(file, table);
    other.Go(nomer).Delete();
  });
  test_home::AwaitHeard(table, heard);
  return done;
}

void SetText(tdb::TDataSet& t, const char* field, const char* text) {
  t.FieldByName(field).SetAsString(tdb::Utf8ToCp1251(text));
}

// Replaces an editor's text as a clerk would: select everything, type.
void Retype(QWidget* editor, const QString& text) {
  editor->setFocus(Qt::OtherFocusReason);
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  TypeText(editor, text);
}

void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

struct Run {
  explicit Run(const ReceiptFiles& files) {
    forms = app::CreateProgramWindows(ui::AppContext{files.Path(QString()) + '/', &prompts});
    forms->registerWindow->show();
    QTRY_VERIFY(forms->registerWindow->StartupStarted());
  }
  ~Run() {
    forms->registerWindow->close();
    forms.reset();
  }
  tdb::TDataSet& receipts() { return forms->registerWindow->Receipts(); }
  // The stored receipt with this number, read afresh from the file; null
  // when there is none.
  static std::unique_ptr<OtherClerkTable> Stored(int nomer) {
    auto t = std::make_unique<OtherClerkTable>("formix.tdb", "formix");
    if (!t->table.Locate("nomer", {tdb::TVariant(int64_t{nomer})}, 0)) return nullptr;
    return t;
  }

  ScriptedPrompts prompts;
  std::unique_ptr<app::ProgramWindows> forms;
};

QStringList GridColumn(const widgets::DataGrid& grid, int column) {
  QStringList out;
  for (int row = 0; row < grid.model()->rowCount(); ++row) out << grid.model()->index(row, column).data().toString();
  return out;
}

}  // namespace

class OtherClerksTest : public QObject {
  Q_OBJECT

 private slots:
  void okOnAReceiptAnotherProgramChanged_data();
  void okOnAReceiptAnotherProgramChanged();
  void okOnAReceiptAnotherProgramDeleted_data();
  void okOnAReceiptAnotherProgramDeleted();
  void twoCreatesAtOnceGetDifferentNumbers();
  void directoryEntryChangedAndNumberTaken();
  void idleWindowsShowAnotherProgramsChanges();
};

void OtherClerksTest::okOnAReceiptAnotherProgramChanged_data() {
  QTest::addColumn<bool>("samePurpose");  // the other program changes the purpose too
  QTest::newRow("other fields") << false;
  QTest::newRow("the same field") << true;
}

// With receipt 1's dialog open the other program sets its amount (and
// perhaps its purpose); the clerk has typed a new purpose.  "ОК" writes
// nothing and asks; No keeps everything as typed, Yes loads the other's
// values around what was typed; the second "ОК" stores both.
void OtherClerksTest::okOnAReceiptAnotherProgramChanged() {
  QFETCH(bool, samePurpose);
  ReceiptFiles files;
  AddReceipt(1, "Иванов", 1240.50, "Оплата за газ");
  Run run(files);
  auto& dialog = run.forms->Pd4Dialog();
  run.prompts.answers = {false, true};  // the first offer to reload: No; the second: Yes
  run.prompts.Then([&](QDialog&) {
    Retype(dialog.Editor("NaznPlat"), QStringLiteral("Оплата за свет"));
    QVERIFY(OtherChanges("formix.tdb", "formix", 1, [samePurpose](tdb::TDataSet& t) {
      t.FieldByName("Summa").SetAsCurrency(tdb::TCurrency::FromDouble(7777.77));
      if (samePurpose) SetText(t, "NaznPlat", "Оплата за воду");
    }));

    Click(dialog.OkButton);  // No
    QVERIFY(dialog.isVisible());
    QCOMPARE(run.prompts.questions.size(), 1);
    QVERIFY2(run.prompts.questions[0].startsWith(
                 QStringLiteral("Квитанцию №1 (Иванов) изменил другой пользователь, пока она была открыта у вас.")),
             qPrintable(run.prompts.questions[0]));
    QCOMPARE(static_cast<QLineEdit*>(dialog.Editor("NaznPlat"))->text(), QStringLiteral("Оплата за свет"));
    QCOMPARE(run.Stored(1)->table.FieldByName("Summa").AsCurrency().ToDouble(), 7777.77);  // nothing written over it

    Click(dialog.OkButton);  // Yes: reloaded, still open
    QVERIFY(dialog.isVisible());
    QCOMPARE(run.receipts().FieldByName("Summa").AsCurrency().ToDouble(), 7777.77);
    QVERIFY(static_cast<QLineEdit*>(dialog.Editor("Summa"))->text().remove(' ').startsWith(QStringLiteral("7777")));
    QCOMPARE(static_cast<QLineEdit*>(dialog.Editor("NaznPlat"))->text(), QStringLiteral("Оплата за свет"));
    QCOMPARE(run.prompts.messages.size(), 1);
    const QString& told = run.prompts.messages[0];
    QVERIFY2(told.contains(QStringLiteral("Сумма:")), qPrintable(told));
    QCOMPARE(told.contains(QStringLiteral("у другого пользователя: «Оплата за воду»")), samePurpose);

    Click(dialog.OkButton);  // stored
    QVERIFY(!dialog.isVisible());
  });
  run.forms->registerWindow->Edit();
  QVERIFY(run.prompts.errors.isEmpty());
  auto stored = run.Stored(1);
  QCOMPARE(stored->table.FieldByName("Summa").AsCurrency().ToDouble(), 7777.77);
  QCOMPARE(Text(stored->table, "NaznPlat"), std::string("Оплата за свет"));
  QCOMPARE(Text(stored->table, "Platel"), std::string("Иванов"));
}

void OtherClerksTest::okOnAReceiptAnotherProgramDeleted_data() {
  QTest::addColumn<bool>("store");  // the clerk presses "ОК" again, or "Отмена"
  QTest::newRow("stored as new") << true;
  QTest::newRow("cancelled") << false;
}

// The other program deletes receipt 2 while its dialog is open: "ОК" says so
// and keeps what was typed; "ОК" again stores it as a new receipt (told its
// number when it is not its old one), "Отмена" drops it.
void OtherClerksTest::okOnAReceiptAnotherProgramDeleted() {
  QFETCH(bool, store);
  ReceiptFiles files;
  AddReceipt(1, "Петров", 10, "Взнос");
  AddReceipt(2, "Иванов", 1240.50, "Оплата за газ");
  Run run(files);
  run.receipts().Last();
  auto& dialog = run.forms->Pd4Dialog();
  run.prompts.Then([&](QDialog&) {
    Retype(dialog.Editor("NaznPlat"), QStringLiteral("Оплата за свет"));
    QVERIFY(OtherDeletes("formix.tdb", "formix", 2));
    Click(dialog.OkButton);

    QVERIFY(dialog.isVisible());
    QCOMPARE(run.prompts.messages.size(), 1);
    QVERIFY2(run.prompts.messages[0].startsWith(QStringLiteral("Квитанцию №2 (Иванов) удалил другой пользователь")),
             qPrintable(run.prompts.messages[0]));
    QCOMPARE(static_cast<QLineEdit*>(dialog.Editor("NaznPlat"))->text(), QStringLiteral("Оплата за свет"));
    QCOMPARE(OtherClerkTable("formix.tdb", "formix").table.RecordCount(), 1);
    Click(store ? dialog.OkButton : dialog.CancelButton);
    QVERIFY(!dialog.isVisible());
  });
  run.forms->registerWindow->Edit();
  QVERIFY2(run.prompts.errors.isEmpty(), qPrintable(run.prompts.errors.join('\n')));
  QCOMPARE(run.receipts().State(), tdb::dsBrowse);
  OtherClerkTable stored("formix.tdb", "formix");
  QCOMPARE(stored.table.RecordCount(), store ? 2 : 1);
  if (!store) return;
  stored.table.Last();
  const int number = stored.table.FieldByName("nomer").AsInteger();
  QVERIFY(number >= 2);
  QCOMPARE(Text(stored.table, "NaznPlat"), std::string("Оплата за свет"));
  QCOMPARE(Text(stored.table, "Platel"), std::string("Иванов"));
  QCOMPARE(stored.table.FieldByName("Summa").AsCurrency().ToDouble(), 1240.50);
  if (number != 2)
    QCOMPARE(run.prompts.messages.value(1), QStringLiteral("Квитанция сохранена под номером %1.").arg(number));
  else
    QCOMPARE(run.prompts.messages.size(), 1);
}

// Both programs press "Создать" on a register of two: both dialogs offer 3.
// The other stores first; the clerk's receipt goes under 4, and is told.
void OtherClerksTest::twoCreatesAtOnceGetDifferentNumbers() {
  ReceiptFiles files;
  AddReceipt(1, "Петров", 10, "Взнос");
  AddReceipt(2, "Иванов", 20, "Взнос");
  Run run(files);
  run.prompts.Then([](QDialog& chooser) { QTest::keyClick(chooser.focusWidget(), Qt::Key_Return); });  // ПД-4
  run.prompts.Then([&](QDialog&) {
    QCOMPARE(run.receipts().FieldByName("nomer").AsInteger(), 3);
    QVERIFY(InOtherProgram([] {
      OtherClerkTable other("formix.tdb", "formix");
      receipts::InsertNumbered(other.table);
      SetText(other.table, "Platel", "Сидоров");
      other.table.Post();
      if (other.table.StoredNumber() != 3) throw std::runtime_error("the other program did not get 3");
    }));
    Retype(run.forms->Pd4Dialog().Editor("NaznPlat"), QStringLiteral("Штраф"));
    Click(run.forms->Pd4Dialog().OkButton);
  });
  run.forms->registerWindow->Create();
  QVERIFY(run.prompts.errors.isEmpty());
  QCOMPARE(run.prompts.messages,
           QStringList{QStringLiteral("Номер 3 уже занят другим пользователем; квитанция сохранена под номером 4.")});
  QCOMPARE(Text(run.Stored(3)->table, "Platel"), std::string("Сидоров"));
  QCOMPARE(Text(run.Stored(4)->table, "NaznPlat"), std::string("Штраф"));
  QCOMPARE(OtherClerkTable("formix.tdb", "formix").table.RecordCount(), 4);
}

// The payers directory: an entry the other program changed while its dialog
// was open (the clerk's name and the other's address both stored), then a
// new entry whose offered code the other program took meanwhile.
void OtherClerksTest::directoryEntryChangedAndNumberTaken() {
  ReceiptFiles files;
  AddRecord("platel.tdb", "platel", {{"nomer", "1"}, {"Platel", "Иванов"}, {"AdresPlat", "Москва"}});
  Run run(files);
  auto& payers = run.forms->Payers();
  auto& entry = run.forms->EntryDialog(app::ProgramWindows::DirectoryKind::Payers);
  run.prompts.Then([&](QDialog&) {
    payers.actChange->trigger();  // the entry's dialog: the next script
    payers.actCreate->trigger();  // a new entry's dialog: the one after
    Click(payers.CloseButton);
  });
  run.prompts.Then([&](QDialog&) {
    Retype(entry.Editor("Platel"), QStringLiteral("Иванов Иван"));
    QVERIFY(OtherChanges("platel.tdb", "platel", 1, [](tdb::TDataSet& t) { SetText(t, "AdresPlat", "Тверь"); }));
    Click(entry.OkButton());
    QVERIFY(entry.isVisible());
    QVERIFY2(run.prompts.questions.value(0).startsWith(
                 QStringLiteral("Запись «Иванов» (код 1) изменил другой пользователь")),
             qPrintable(run.prompts.questions.value(0)));
    QCOMPARE(static_cast<QLineEdit*>(entry.Editor(receipts::payer_table::kAddress))->text(), QStringLiteral("Тверь"));
    Click(entry.OkButton());
    QVERIFY(!entry.isVisible());
  });
  run.prompts.Then([&](QDialog&) {
    QCOMPARE(payers.Logic().Table().FieldByName("nomer").AsInteger(), 2);
    QVERIFY(InOtherProgram([] {
      OtherClerkTable other("platel.tdb", "platel");
      receipts::InsertNumbered(other.table);
      SetText(other.table, "Platel", "Сидоров");
      other.table.Post();
    }));
    Retype(entry.Editor("Platel"), QStringLiteral("Петров"));
    Click(entry.OkButton());
    QVERIFY(!entry.isVisible());
  });
  payers.Execute();
  QVERIFY2(run.prompts.errors.isEmpty(), qPrintable(run.prompts.errors.join('\n')));
  QCOMPARE(run.prompts.messages.value(1),
           QStringLiteral("Код 2 уже занят другим пользователем; запись сохранена под кодом 3."));
  auto stored = std::make_unique<OtherClerkTable>("platel.tdb", "platel");
  QCOMPARE(stored->table.RecordCount(), 3);
  QCOMPARE(Text(stored->table, "Platel"), std::string("Иванов Иван"));
  QCOMPARE(Text(stored->table, "AdresPlat"), std::string("Тверь"));
  stored->table.Last();
  QCOMPARE(stored->table.FieldByName("nomer").AsInteger(), 3);
  QCOMPARE(Text(stored->table, "Platel"), std::string("Петров"));
}

// While the register waits, the other program rewrites receipt 2 and deletes
// receipt 3: the next tick shows both, with receipt 2 still current.  An
// open directory window follows its file the same way.
void OtherClerksTest::idleWindowsShowAnotherProgramsChanges() {
  ManualTimers timers;
  ReceiptFiles files;
  AddReceipt(1, "Петров", 10, "Взнос");
  AddReceipt(2, "Иванов", 20, "Взнос");
  AddReceipt(3, "Сидоров", 30, "Взнос");
  AddRecord("platel.tdb", "platel", {{"nomer", "1"}, {"Platel", "Иванов"}});
  Run run(files);
  widgets::DataGrid& grid = *run.forms->registerWindow->grid;
  run.receipts().SetRecNo(2);
  QCOMPARE(GridColumn(grid, 3), (QStringList{"Петров", "Иванов", "Сидоров"}));

  QVERIFY(OtherChanges("formix.tdb", "formix", 2, [](tdb::TDataSet& t) { SetText(t, "Platel", "Иванова"); }));
  QVERIFY(OtherDeletes("formix.tdb", "formix", 3));
  timers.TickAll();
  QCOMPARE(GridColumn(grid, 3), (QStringList{"Петров", "Иванова"}));
  QCOMPARE(run.receipts().FieldByName("nomer").AsInteger(), 2);
  QCOMPARE(grid.currentIndex().row(), 1);

  auto& payers = run.forms->Payers();
  run.prompts.Then([&](QDialog&) {
    QVERIFY(OtherChanges("platel.tdb", "platel", 1, [](tdb::TDataSet& t) { SetText(t, "Platel", "Иванов И. И."); }));
    timers.TickAll();
    QCOMPARE(GridColumn(*payers.grid, 1), QStringList{"Иванов И. И."});
    Click(payers.CloseButton);
  });
  payers.Execute();
  QVERIFY(run.prompts.errors.isEmpty());
}

QTEST_MAIN(OtherClerksTest)
#include "other_clerks_test.moc"
