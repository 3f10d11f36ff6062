// From "Создать" to a stored receipt through the program's real windows,
// from the keyboard: the form chooser, the PD-4 dialog, the payers directory
// with a new payer created in it, the recipients directory likewise, the
// amounts and the purpose, "Ok"; then the record is read back from
// "formix.tdb" by the engine, and the new directory entries from theirs.
#include <QTest>

#include "app/program_windows.h"
#include "support/receipt_files.h"
#include "support/scripted_prompts.h"

class EndToEndTest : public QObject {
  Q_OBJECT

 private slots:
  void createAPd4ReceiptFromScratch();
};

namespace {

// Types into the focused widget and moves on with Tab.
void TypeAndTab(QWidget* dialog, const QString& text) {
  QWidget* editor = dialog->focusWidget();
  QVERIFY(editor);
  TypeText(editor, text);
  QTest::keyClick(editor, Qt::Key_Tab);
}

// The edit dialog of a new directory entry: type each field in tab order
// after the proposed number, then Enter stores it.
ScriptedPrompts::Script NewEntry(const QStringList& values) {
  return [values](QDialog& dialog) {
    QWidget* number = dialog.focusWidget();
    QCOMPARE(number->objectName(), QStringLiteral("nomer"));
    QTest::keyClick(number, Qt::Key_Tab);
    for (const QString& v : values) TypeAndTab(&dialog, v);
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
  };
}

// A directory window: Insert creates an entry (the next script fills it in),
// Enter picks it.
ScriptedPrompts::Script CreateAndPick() {
  return [](QDialog& dialog) {
    QWidget* list = dialog.focusWidget();
    QVERIFY(list);
    QTest::keyClick(list, Qt::Key_Insert);
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
  };
}

}  // namespace

void EndToEndTest::createAPd4ReceiptFromScratch() {
  ReceiptFiles files;
  ScriptedPrompts prompts;
  auto forms = app::CreateProgramWindows(ui::AppContext{files.Path(QString()) + '/', &prompts});
  forms->registerWindow->show();
  QTRY_VERIFY(forms->registerWindow->StartupStarted());
  tdb::TDataSet& receipts = forms->registerWindow->Receipts();

  prompts.Then([](QDialog& chooser) { QTest::keyClick(chooser.focusWidget(), Qt::Key_Return); });  // "Форма № ПД-4"
  prompts.Then([&](QDialog& dialog) {
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Квитанция *Новая"));
    QCOMPARE(dialog.focusWidget()->objectName(), QStringLiteral("nomer"));
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);  // to the date
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);  // into the empty payer: the directory opens
    QTRY_COMPARE(Text(receipts, "Platel"), std::string("Иванов Иван Иванович"));
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.focusWidget()->objectName(), QStringLiteral("Platel"));
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);  // into the empty recipient: its directory opens
    QTRY_COMPARE(Text(receipts, "Poluchat"), std::string("УФК по г. Москве"));
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);  // to the amount
    TypeAndTab(&dialog, QStringLiteral("1500"));
    TypeAndTab(&dialog, QStringLiteral("15"));
    TypeText(dialog.focusWidget(), QStringLiteral("Оплата за обучение"));
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);  // to "Ok"
    QCOMPARE(dialog.focusWidget(), static_cast<QWidget*>(forms->Pd4Dialog().OkButton));
    QTest::keyClick(dialog.focusWidget(), Qt::Key_Space);
  });
  prompts.Then(CreateAndPick());
  prompts.Then(NewEntry({"Иванов Иван Иванович", "г. Москва, ул. Ленина, 1", "770100000001", "12345"}));
  prompts.Then(CreateAndPick());
  prompts.Then(NewEntry({"УФК по г. Москве", "7701000000", "770101001", "40101810800000010041", "ГУ Банка России",
                         "044583001", "30101810000000000001", "ИФНС № 1"}));
  forms->registerWindow->Create();
  QCOMPARE(prompts.modalTitles,
           (QStringList{QStringLiteral("Выбор вида документа"), QStringLiteral("Квитанция *Новая"),
                        QStringLiteral("Список плательщиков (Выбор)"), QStringLiteral("Плательщик *Новый"),
                        QStringLiteral("Список получателей (Выбор)"), QStringLiteral("Получатель *Новый")}));
  QVERIFY(prompts.errors.isEmpty());

  auto stored = OpenTable("formix.tdb", "formix", "inomer");
  QCOMPARE(stored->RecordCount(), 1);
  QCOMPARE(stored->FieldByName("nomer").AsInteger(), 1);
  QCOMPARE(Text(*stored, "document"), std::string("Форма № ПД-4 "));
  QVERIFY(!stored->FieldByName("naloglog").AsBoolean());
  QCOMPARE(Text(*stored, "Platel"), std::string("Иванов Иван Иванович"));
  QCOMPARE(Text(*stored, "AdresPlat"), std::string("г. Москва, ул. Ленина, 1"));
  QCOMPARE(Text(*stored, "InnPlat"), std::string("770100000001"));
  QCOMPARE(Text(*stored, "LschPlat"), std::string("12345"));
  QCOMPARE(stored->FieldByName("nomerPlat").AsInteger(), 1);
  QCOMPARE(Text(*stored, "Poluchat"), std::string("УФК по г. Москве"));
  QCOMPARE(Text(*stored, "KppPoluch"), std::string("770101001"));
  QCOMPARE(Text(*stored, "SchetPoluch"), std::string("40101810800000010041"));
  QCOMPARE(Text(*stored, "Bik"), std::string("044583001"));
  QCOMPARE(Text(*stored, "imns"), std::string("ИФНС № 1"));
  QCOMPARE(stored->FieldByName("nomerPoluch").AsInteger(), 1);
  QCOMPARE(stored->FieldByName("Summa").AsCurrency().ToDouble(), 1500.0);
  QCOMPARE(stored->FieldByName("SummaUslug").AsCurrency().ToDouble(), 15.0);
  QCOMPARE(Text(*stored, "NaznPlat"), std::string("Оплата за обучение"));
  QCOMPARE(OpenTable("platel.tdb", "platel", "inomer")->RecordCount(), 1);
  QCOMPARE(OpenTable("Poluchat.tdb", "Poluchat", "inomer")->RecordCount(), 1);

  forms->registerWindow->close();
}

QTEST_MAIN(EndToEndTest)
#include "end_to_end_test.moc"
