// The receipt dialogs over a real receipts file with their real directory
// windows, offscreen: the tax dialog's drop-down boxes (loaded at showing,
// written at "Ok", dropped by "Отмена"), the period list by a set clock, the
// rules document, the directories opened by entering an empty editor, and
// a receipt the engine refuses.
#include <QApplication>
#include <QComboBox>
#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "support/receipt_files.h"
#include "support/scripted_prompts.h"
#include "directories/directory_window.h"
#include "engine/dataset/data_source.h"
#include "entry/receipt_dialog.h"

using namespace entry;

namespace {

// The dialogs and directories wired as the program wires them, over the
// receipts table of the current folder.
struct Windows {
  explicit Windows(const std::string& receiptsPath = "formix.tdb")
      : receipts(OpenTable(receiptsPath, "formix", "inomer")),
        pd4(prompts),
        tax(prompts),
        payers(directories::PayersConfig(), prompts),
        payerEditor(directories::PayersConfig(), prompts),
        recipients(directories::RecipientsConfig(), prompts),
        codes(directories::CodesConfig(), prompts) {
    source.SetDataSet(receipts.get());
    for (ReceiptDialog* d : {static_cast<ReceiptDialog*>(&pd4), static_cast<ReceiptDialog*>(&tax)}) {
      d->SetSource(&source);
      d->SetPayers([this] { return &payers; });
      d->SetRecipients([this] { return &recipients; });
    }
    tax.SetCodes([this] { return &codes; });
    tax.SetClock([] { return QDate(2026, 5, 15); });
    payers.SetEditDialog(&payerEditor);
    for (directories::DirectoryWindow* d : {&payers, &recipients, &codes})
      d->SetReceipt(receipts.get());
  }
  // As the register does: the dialog over the current record, then a cancel.
  bool Show(ReceiptDialog& dialog, bool focusNumber = false) {
    const bool stored = dialog.Execute(focusNumber);
    receipts->Cancel();
    return stored;
  }

  ScriptedPrompts prompts;
  std::unique_ptr<tdb::TDataSet> receipts;
  tdb::TDataSource source;
  Pd4ReceiptDialog pd4;
  TaxReceiptDialog tax;
  directories::DirectoryWindow payers;
  directories::DirectoryEntryDialog payerEditor;
  directories::DirectoryWindow recipients;
  directories::DirectoryWindow codes;
};

void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

}  // namespace

class ReceiptDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void taxBoxesShowWhatIsStoredAndOkWritesThem();
  void cancelDropsTheBoxesChanges();
  void rulesDocumentIsAskedForAndNothingShown();
  void tabIntoEmptyEditorsOpensTheirDirectories();
  void refusedReceiptStaysOpenWithEverythingTyped();
  void escStoresNothingAndOkWritesWhatIsBeingTyped();
  void tabOrders();
  void enterPressesOkOutsideMultiLineAndDropDownEditors_data();
  void enterPressesOkOutsideMultiLineAndDropDownEditors();
};

void ReceiptDialogTest::taxBoxesShowWhatIsStoredAndOkWritesThem() {
  ReceiptFiles files;
  Windows w;
  AddRecord(*w.receipts, {{"nomer", "1"}, {"naloglog", "1"}, {"status", "01"}, {"srok", "ГД.00.2019"},
                          {"osnovanie", "ТП"}});
  w.receipts->Edit();
  w.prompts.Then([&](QDialog&) {
    QCOMPARE(w.tax.statusBox->currentText(), QStringLiteral("01"));  // typed by hand once, not in the list
    QCOMPARE(w.tax.periodBox->currentText(), QStringLiteral("ГД.00.2019"));
    QCOMPARE(w.tax.reasonBox->currentText(), QStringLiteral("ТП"));
    QCOMPARE(w.tax.paymentTypeBox->currentText(), QString());
    QStringList periods;
    for (int i = 0; i < w.tax.periodBox->count(); ++i) periods << w.tax.periodBox->itemText(i);
    QCOMPARE(periods, (QStringList{"МС.05.2026", "КВ.02.2026", "ПЛ.01.2026", "ГД.00.2026"}));
    QCOMPARE(w.tax.statusBox->count(), 8);
    // The lists say what their codes mean; the receipt keeps the code.
    QCOMPARE(w.tax.statusBox->itemText(6), QStringLiteral("13 — физическое лицо"));
    QCOMPARE(w.tax.reasonBox->itemText(0), QStringLiteral("ТП — платежи текущего года"));
    QCOMPARE(w.tax.paymentTypeBox->itemText(9), QStringLiteral("ИШ — иной штраф"));
    for (QComboBox* box : {w.tax.statusBox, w.tax.reasonBox, w.tax.paymentTypeBox})
      for (int i = 0; i < box->count(); ++i) QVERIFY2(box->itemText(i).contains(QStringLiteral(" — ")), qPrintable(box->itemText(i)));
    // Picking a line from the list leaves the code alone in the box.
    w.tax.statusBox->setFocus();
    QTest::keyClick(w.tax.statusBox, Qt::Key_Down, Qt::AltModifier);
    QTRY_VERIFY(w.tax.statusBox->view()->isVisible());
    QTest::keyClick(w.tax.statusBox->view(), Qt::Key_Home);
    for (int i = 0; i < 6; ++i) QTest::keyClick(w.tax.statusBox->view(), Qt::Key_Down);
    QTest::keyClick(w.tax.statusBox->view(), Qt::Key_Return);
    QCOMPARE(w.tax.statusBox->currentText(), QStringLiteral("13"));
    // The closed box says what its code means too; a code without a meaning
    // shows alone.
    auto meaning = [](QComboBox* box) {
      const QLabel* mark = box->lineEdit()->findChild<QLabel*>(QStringLiteral("meaning"));
      return mark && !mark->isHidden() ? mark->text() : QString();
    };
    QCOMPARE(meaning(w.tax.statusBox), QStringLiteral("— физическое лицо"));
    QCOMPARE(w.tax.statusBox->toolTip(), QStringLiteral("физическое лицо"));
    QVERIFY(meaning(w.tax.reasonBox).startsWith(QStringLiteral("— плат")));  // "ТП", as stored
    QCOMPARE(meaning(w.tax.periodBox), QString());
    w.tax.statusBox->setEditText(QStringLiteral("01"));
    QCOMPARE(meaning(w.tax.statusBox), QString());
    w.tax.statusBox->setEditText(QStringLiteral("13"));

    w.tax.paymentTypeBox->setFocus();
    TypeText(w.tax.paymentTypeBox, QStringLiteral("ПЕ"));
    w.tax.reasonBox->setFocus();
    w.tax.reasonBox->lineEdit()->clear();
    TypeText(w.tax.reasonBox, QStringLiteral("ЗДX"));  // the basis holds two letters
    Click(w.tax.OkButton);
  });
  QVERIFY(w.Show(w.tax));
  auto stored = OpenTable("formix.tdb", "formix", "inomer");
  QCOMPARE(Text(*stored, "status"), std::string("13"));
  QCOMPARE(Text(*stored, "srok"), std::string("ГД.00.2019"));
  QCOMPARE(Text(*stored, "tipplat"), std::string("ПЕ"));
  QCOMPARE(Text(*stored, "osnovanie"), std::string("ЗД"));
}

void ReceiptDialogTest::cancelDropsTheBoxesChanges() {
  ReceiptFiles files;
  Windows w;
  AddRecord(*w.receipts, {{"nomer", "1"}, {"naloglog", "1"}, {"status", "02"}});
  w.receipts->Edit();
  w.prompts.Then([&](QDialog&) {
    w.tax.statusBox->setCurrentIndex(7);
    QCOMPARE(w.tax.statusBox->currentText(), QStringLiteral("14"));
    Click(w.tax.CancelButton);
  });
  QVERIFY(!w.Show(w.tax));
  QCOMPARE(Text(*OpenTable("formix.tdb", "formix", "inomer"), "status"), std::string("02"));

  // Shown again over the same receipt, the box holds the stored text again.
  w.receipts->Edit();
  w.prompts.Then([&](QDialog& d) {
    QCOMPARE(w.tax.statusBox->currentText(), QStringLiteral("02"));
    d.close();
  });
  w.Show(w.tax);
}

void ReceiptDialogTest::rulesDocumentIsAskedForAndNothingShown() {
  ReceiptFiles files;
  Windows w;
  QStringList asked;
  w.tax.SetDocumentOpener([&](const QString& path) { asked << path; });
  w.receipts->Insert();
  w.prompts.Then([&](QDialog& d) {
    Click(w.tax.RulesButton);
    QVERIFY(d.isVisible());
    d.close();
  });
  w.Show(w.tax);
  QCOMPARE(asked, QStringList{QDir::current().absoluteFilePath(QStringLiteral("prav.doc"))});
  QVERIFY(w.prompts.messages.isEmpty() && w.prompts.errors.isEmpty());
}

void ReceiptDialogTest::tabIntoEmptyEditorsOpensTheirDirectories() {
  ReceiptFiles files;
  AddRecord("platel.tdb", "platel", {{"nomer", "1"}, {"Platel", "Иванов"}, {"adresPlat", "Москва"}});
  AddRecord("Poluchat.tdb", "Poluchat", {{"nomer", "1"}, {"Poluchat", "УФК"}});
  Windows w;
  w.receipts->Insert();
  QWidget* date = w.pd4.Editor("DatePlat");
  QWidget* payer = w.pd4.Editor("Platel");
  QWidget* recipient = w.pd4.Editor("Poluchat");
  w.prompts.Then([&](QDialog& dialog) {
    QCOMPARE(dialog.focusWidget(), w.pd4.Editor("nomer"));
    date->setFocus();
    QTest::keyClick(date, Qt::Key_Tab);  // the payers directory opens by itself: a pick (next script)
    QTRY_COMPARE(w.prompts.modalTitles.size(), 2);
    QTRY_COMPARE(dialog.focusWidget(), payer);
    QCOMPARE(Text(*w.receipts, "Platel"), std::string("Иванов"));
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    QTest::keyClick(payer, Qt::Key_Tab);  // the recipients directory: closed without a pick
    QTRY_COMPARE(w.prompts.modalTitles.size(), 3);
    QTRY_COMPARE(dialog.focusWidget(), recipient);
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::qWait(20);
    QCOMPARE(w.prompts.modalTitles.size(), 3);  // not again while the focus stays

    QTest::keyClick(recipient, Qt::Key_F4);  // the keyboard's "...": opens even when empty
    QCOMPARE(w.prompts.modalTitles.size(), 4);
    QCOMPARE(Text(*w.receipts, "Poluchat"), std::string("УФК"));
    dialog.close();
  });
  w.prompts.Then([&](QDialog&) { QTest::keyClick(w.payers.grid, Qt::Key_Return); });
  w.prompts.Then([&](QDialog&) { QTest::keyClick(w.recipients.grid, Qt::Key_Escape); });
  w.prompts.Then([&](QDialog&) { QTest::keyClick(w.recipients.grid, Qt::Key_Return); });
  QVERIFY(!w.Show(w.pd4, /*focusNumber=*/true));
  QCOMPARE(w.prompts.modalTitles,
           (QStringList{QString(), QStringLiteral("Список плательщиков (Выбор)"),
                        QStringLiteral("Список получателей (Выбор)"), QStringLiteral("Список получателей (Выбор)")}));
  QCOMPARE(w.receipts->RecordCount(), 0);  // closed: nothing stored
}

void ReceiptDialogTest::refusedReceiptStaysOpenWithEverythingTyped() {
  SKIP_ON_SERVER("a unique index the program's own tables do not have");
  ReceiptFiles files;
  // A receipts file whose number index is unique, so that a duplicate is refused.
  receipts::DatabaseSchema schema = receipts::ReceiptFiles().front().schema;
  schema.tables[0].indexes[0].options = tdb::tiUnique;
  const std::string path = files.Path("unique.tdb").toStdString();
  receipts::CreateDatabaseFile(path, schema);
  Windows w(path);
  AddRecord(*w.receipts, {{"nomer", "1"}});
  w.receipts->Insert();
  w.receipts->FieldByName("nomer").SetAsInteger(1);
  w.receipts->FieldByName("NaznPlat").SetAsString("typed");
  w.prompts.Then([&](QDialog& dialog) {
    Click(w.pd4.OkButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(w.prompts.errors.size(), 1);
    QCOMPARE(w.receipts->State(), tdb::dsInsert);
    QCOMPARE(Text(*w.receipts, "NaznPlat"), std::string("typed"));
    w.receipts->FieldByName("nomer").SetAsInteger(2);
    Click(w.pd4.OkButton);
    QVERIFY(!dialog.isVisible());
  });
  QVERIFY(w.Show(w.pd4));
  QCOMPARE(w.receipts->RecordCount(), 2);
}

void ReceiptDialogTest::escStoresNothingAndOkWritesWhatIsBeingTyped() {
  ReceiptFiles files;
  Windows w;
  w.receipts->Insert();
  w.prompts.Then([&](QDialog& dialog) {
    QWidget* purpose = w.tax.Editor("NaznPlat");
    purpose->setFocus();
    TypeText(purpose, QStringLiteral("налог"));
    QTest::keyClick(purpose, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
  });
  QVERIFY(!w.Show(w.tax));
  QCOMPARE(w.receipts->RecordCount(), 0);

  w.receipts->Insert();
  w.prompts.Then([&](QDialog&) {
    QWidget* okato = w.tax.Editor("okato");
    okato->setFocus();
    TypeText(okato, QStringLiteral("452860000001234"));  // longer than the field's 11 characters
    w.tax.OkButton->click();  // the focus never left the editor
  });
  QVERIFY(w.Show(w.tax));
  QCOMPARE(Text(*OpenTable("formix.tdb", "formix", "inomer"), "okato"), std::string("45286000000"));
}

// The chain Tab walks from the number editor, by object names and captions.
static QStringList TabChain(ReceiptDialog& dialog) {
  QStringList chain;
  QWidget* start = dialog.Editor("nomer");
  QWidget* w = start;
  do {
    // A drop-down box's own line edit is part of the box.
    if ((w->focusPolicy() & Qt::TabFocus) && !qobject_cast<QComboBox*>(w->parentWidget())) {
      auto* button = qobject_cast<QPushButton*>(w);
      chain << (button ? button->text() : w->objectName());
    }
    w = w->nextInFocusChain();
  } while (w != start && chain.size() < 40);
  return chain;
}

void ReceiptDialogTest::tabOrders() {
  ReceiptFiles files;
  Windows w;
  QCOMPARE(TabChain(w.pd4), (QStringList{"nomer", "DatePlat", "Platel", "Poluchat", "Summa", "SummaUslug",
                                         "NaznPlat", "ОК", "Отмена"}));
  QCOMPARE(TabChain(w.tax),
           (QStringList{"nomer", "DatePlat", "indexdoc", "Platel", "Poluchat", "Summa", "peni", "straf", "kodklass",
                        "status", "okato", "srok", "tipplat", "osnovanie", "NaznPlat", "ОК", "Отмена",
                        "Правила заполнения формы № ПД (налог)"}));
}

void ReceiptDialogTest::enterPressesOkOutsideMultiLineAndDropDownEditors_data() {
  QTest::addColumn<QString>("focus");  // an editor's field, or a button's text
  QTest::addColumn<int>("key");
  QTest::addColumn<bool>("stored");
  QTest::newRow("one-line editor") << "okato" << int(Qt::Key_Return) << true;
  QTest::newRow("keypad Enter") << "NaznPlat" << int(Qt::Key_Enter) << true;
  QTest::newRow("number with calculator") << "Summa" << int(Qt::Key_Return) << false;
  QTest::newRow("date with calendar") << "DatePlat" << int(Qt::Key_Return) << false;
  QTest::newRow("drop-down list") << "status" << int(Qt::Key_Return) << false;
  QTest::newRow("Отмена") << "Отмена" << int(Qt::Key_Return) << false;
}

// Enter stores the receipt as "Ok" does, with what is being typed; in a
// drop-down editor it stays with the editor, on "Отмена" it cancels.
void ReceiptDialogTest::enterPressesOkOutsideMultiLineAndDropDownEditors() {
  QFETCH(QString, focus);
  QFETCH(int, key);
  QFETCH(bool, stored);
  ReceiptFiles files;
  Windows w;
  w.receipts->Insert();
  bool stillOpen = false;
  w.prompts.Then([&](QDialog& dialog) {
    QWidget* target = focus == QStringLiteral("Отмена")   ? static_cast<QWidget*>(w.tax.CancelButton)
                      : focus == QStringLiteral("status") ? static_cast<QWidget*>(w.tax.statusBox)
                                                          : w.tax.Editor(focus.toLatin1().constData());
    QVERIFY(target);
    target->setFocus();
    QWidget* okato = w.tax.Editor("okato");
    if (target != okato) {
      okato->setFocus();
      TypeText(okato, QStringLiteral("45286"));
      target->setFocus();
    } else {
      TypeText(okato, QStringLiteral("45286"));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    stillOpen = dialog.isVisible();
    if (stillOpen) dialog.done(QDialog::Rejected);
  });
  QCOMPARE(w.Show(w.tax), stored);
  QCOMPARE(stillOpen, !stored && focus != QStringLiteral("Отмена"));
  auto table = OpenTable("formix.tdb", "formix", "inomer");
  QCOMPARE(table->RecordCount(), stored ? 1 : 0);
  if (stored) QCOMPARE(Text(*table, "okato"), std::string("45286"));
}

QTEST_MAIN(ReceiptDialogTest)
#include "receipt_dialog_test.moc"
