// The receipt dialogs' shared rules: period suggestions by date, storing a
// receipt that the engine refuses, and a directory opened once on entering
// an empty editor.
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include "support/receipt_files.h"
#include "support/scripted_prompts.h"
#include "entry/receipt_entry.h"

class ReceiptEntryTest : public QObject {
  Q_OBJECT

 private slots:
  void periodSuggestions_data();
  void periodSuggestions();
  void refusedReceiptKeepsEverythingTyped();
  void emptyEditorOpensItsDirectoryOnce();
};

void ReceiptEntryTest::periodSuggestions_data() {
  QTest::addColumn<QDate>("today");
  QTest::addColumn<QStringList>("items");
  QTest::newRow("15 May") << QDate(2026, 5, 15)
                          << QStringList{"МС.05.2026", "КВ.02.2026", "ПЛ.01.2026", "ГД.00.2026"};
  QTest::newRow("1 October") << QDate(2025, 10, 1)
                             << QStringList{"МС.10.2025", "КВ.04.2025", "ПЛ.02.2025", "ГД.00.2025"};
  QTest::newRow("31 March") << QDate(2027, 3, 31)
                            << QStringList{"МС.03.2027", "КВ.01.2027", "ПЛ.01.2027", "ГД.00.2027"};
  QTest::newRow("1 July") << QDate(2026, 7, 1)
                          << QStringList{"МС.07.2026", "КВ.03.2026", "ПЛ.02.2026", "ГД.00.2026"};
}

void ReceiptEntryTest::periodSuggestions() {
  QFETCH(QDate, today);
  QFETCH(QStringList, items);
  QCOMPARE(entry::PeriodSuggestions(today), items);
}

void ReceiptEntryTest::refusedReceiptKeepsEverythingTyped() {
  // A receipts file whose number index is unique, so that a duplicate is refused.
  QTemporaryDir dir;
  receipts::DatabaseSchema schema = receipts::ReceiptFiles().front().schema;
  schema.tables[0].indexes[0].options = tdb::tiUnique;
  const std::string path = dir.filePath("formix.tdb").toStdString();
  receipts::CreateDatabaseFile(path, schema);
  auto receipts = OpenTable(path, "formix", "inomer");
  AddRecord(*receipts, {{"nomer", "1"}});

  ScriptedPrompts prompts;
  receipts->Insert();
  receipts->FieldByName("nomer").SetAsInteger(1);
  receipts->FieldByName("Platel").SetAsString("Ivanov");
  QVERIFY(!entry::StoreReceipt(*receipts, prompts));
  QCOMPARE(prompts.errors.size(), 1);
  QCOMPARE(receipts->State(), tdb::dsInsert);
  QCOMPARE(Text(*receipts, "Platel"), std::string("Ivanov"));

  receipts->FieldByName("nomer").SetAsInteger(2);
  QVERIFY(entry::StoreReceipt(*receipts, prompts));
  QCOMPARE(receipts->RecordCount(), 2);
}

void ReceiptEntryTest::emptyEditorOpensItsDirectoryOnce() {
  QDialog dialog;
  auto* before = new QLineEdit(&dialog);
  auto* payer = new QLineEdit(&dialog);
  auto* after = new QLineEdit(&dialog);
  auto* layout = new QVBoxLayout(&dialog);
  for (QWidget* w : {static_cast<QWidget*>(before), static_cast<QWidget*>(payer), static_cast<QWidget*>(after)})
    layout->addWidget(w);
  int opened = 0;
  QString pick;  // what the directory writes, empty: closed without a pick
  auto* rule = new entry::OpenOnEntry(
      payer, [&] { return payer->text().isEmpty(); },
      [&] {
        ++opened;
        // A modal window takes the focus away meanwhile.
        QDialog directory(&dialog);
        QTimer::singleShot(0, &directory, [&] {
          payer->setText(pick);
          directory.accept();
        });
        directory.exec();
      });
  dialog.show();
  QVERIFY(QTest::qWaitForWindowActive(&dialog));
  before->setFocus();

  auto tab = [&](QWidget* from) {
    QTest::keyClick(from, Qt::Key_Tab);
    QCoreApplication::processEvents();
  };
  tab(before);  // into the empty payer: the directory opens; closed without a pick
  QTRY_COMPARE(opened, 1);
  QTRY_COMPARE(dialog.focusWidget(), payer);
  dialog.activateWindow();  // as the window system does when the directory has gone
  QVERIFY(QTest::qWaitForWindowActive(&dialog));
  QTest::qWait(20);
  QCOMPARE(opened, 1);  // the focus coming back opens nothing

  tab(payer);  // away ...
  QTest::keyClick(after, Qt::Key_Backtab);  // ... and back: opens again, this time with a pick
  pick = QStringLiteral("Иванов");
  QTRY_COMPARE(opened, 2);
  QTRY_COMPARE(dialog.focusWidget(), payer);
  QCOMPARE(payer->text(), pick);
  dialog.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&dialog));

  tab(payer);
  QTest::keyClick(after, Qt::Key_Backtab);  // filled in: nothing opens
  QTest::qWait(20);
  QCOMPARE(opened, 2);

  rule->Open();  // "..." opens whatever the editor holds
  QCOMPARE(opened, 3);
  QCOMPARE(dialog.focusWidget(), payer);
}

QTEST_MAIN(ReceiptEntryTest)
#include "receipt_entry_test.moc"
