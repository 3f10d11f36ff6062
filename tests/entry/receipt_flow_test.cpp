// The receipt dialogs reached from the register of a whole program run, with
// the real directories: "Отмена" after a pick keeps the stored payer, a copy
// of a tax receipt, a code pick replacing the purpose, and Tab from the fine
// into the empty code editor.
#include <QLineEdit>
#include <QTest>

#include "support/receipt_files.h"
#include "support/scripted_prompts.h"
#include "app/program_windows.h"

namespace {

struct Run {
  explicit Run(const ReceiptFiles& files) {
    forms = app::CreateProgramWindows(ui::AppContext{files.Path(QString()) + '/', &prompts});
    forms->TaxDialog().SetClock([] { return QDate(2026, 10, 1); });
    forms->registerWindow->show();
    QTRY_VERIFY(forms->registerWindow->StartupStarted());
  }
  ~Run() {
    forms->registerWindow->close();
    forms.reset();
  }
  tdb::TDataSet& receipts() { return forms->registerWindow->Receipts(); }
  // The stored receipt with this number, read afresh from the file.
  std::unique_ptr<tdb::TDataSet> Stored(int nomer) {
    auto t = OpenTable("formix.tdb", "formix", "inomer");
    t->Locate("nomer", {tdb::TVariant(int64_t{nomer})}, 0);
    return t;
  }

  ScriptedPrompts prompts;
  std::unique_ptr<app::ProgramWindows> forms;
};

void Click(QWidget* button) { QTest::mouseClick(button, Qt::LeftButton); }

}  // namespace

class ReceiptFlowTest : public QObject {
  Q_OBJECT

 private slots:
  void cancelAfterAPickKeepsTheStoredPayer();
  void copyOfATaxReceipt();
  void codePickReplacesThePurposeAndTabFromTheFineOpensCodes();
};

void ReceiptFlowTest::cancelAfterAPickKeepsTheStoredPayer() {
  ReceiptFiles files;
  AddRecord("platel.tdb", "platel", {{"nomer", "1"}, {"Platel", "Иванов"}});
  AddRecord("platel.tdb", "platel", {{"nomer", "2"}, {"Platel", "Петров"}, {"LschPlat", "555"}});
  AddRecord("formix.tdb", "formix", {{"nomer", "12"}, {"Platel", "Иванов"}, {"nomerPlat", "1"}});
  Run run(files);
  run.prompts.Then([&](QDialog& dialog) {
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Квитанция №12 (Иванов)"));
    Click(run.forms->Pd4Dialog().PayerButton);  // "..." although a payer is filled in
    QCOMPARE(Text(run.receipts(), "Platel"), std::string("Петров"));
    QCOMPARE(Text(run.receipts(), "LschPlat"), std::string("555"));
    Click(run.forms->Pd4Dialog().CancelButton);
  });
  run.prompts.Then([&](QDialog&) {
    auto& payers = run.forms->Payers();
    QCOMPARE(payers.Logic().Table().FieldByName("nomer").AsInteger(), 1);  // placed on the stored payer
    TypeText(payers.grid, QStringLiteral("п"));
    QTest::keyClick(payers.grid, Qt::Key_Return);
  });
  run.forms->registerWindow->Edit();
  QCOMPARE(run.prompts.modalTitles.size(), 2);
  QCOMPARE(Text(*run.Stored(12), "Platel"), std::string("Иванов"));
  QCOMPARE(run.Stored(12)->FieldByName("nomerPlat").AsInteger(), 1);
}

void ReceiptFlowTest::copyOfATaxReceipt() {
  ReceiptFiles files;
  AddRecord("formix.tdb", "formix",
            {{"nomer", "1"}, {"naloglog", "1"}, {"document", "Форма № ПД-(налог)"}, {"Platel", "Иванов"},
             {"status", "09"}, {"srok", "МС.01.2026"}, {"osnovanie", "ТП"}, {"tipplat", "НС"}, {"indexdoc", "77"},
             {"peni", "5"}, {"straf", "3"}, {"okato", "45286"}, {"kodklass", "182"}});
  Run run(files);
  run.prompts.Then([&](QDialog& dialog) {
    auto& tax = run.forms->TaxDialog();
    QCOMPARE(&dialog, static_cast<QDialog*>(&tax));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Квитанция №2 (Иванов)"));
    QCOMPARE(tax.statusBox->currentText(), QStringLiteral("09"));
    QCOMPARE(tax.reasonBox->currentText(), QStringLiteral("ТП"));
    QCOMPARE(tax.periodBox->currentText(), QStringLiteral("МС.01.2026"));
    QCOMPARE(tax.paymentTypeBox->currentText(), QStringLiteral("НС"));
    QCOMPARE(tax.periodBox->itemText(0), QStringLiteral("МС.10.2026"));
    Click(tax.OkButton);
  });
  run.forms->registerWindow->Copy();
  auto copy = run.Stored(2);
  QCOMPARE(copy->FieldByName("nomer").AsInteger(), 2);
  QVERIFY(copy->FieldByName("naloglog").AsBoolean());
  QCOMPARE(Text(*copy, "status"), std::string("09"));
  QCOMPARE(Text(*copy, "okato"), std::string("45286"));
  // The form and the tax fields come along; the document index and the penalty belong to one payment.
  QCOMPARE(Text(*copy, "document"), std::string("Форма № ПД-(налог)"));
  QCOMPARE(Text(*copy, "srok"), std::string("МС.01.2026"));
  QCOMPARE(Text(*copy, "osnovanie"), std::string("ТП"));
  QCOMPARE(Text(*copy, "tipplat"), std::string("НС"));
  QCOMPARE(Text(*copy, "indexdoc"), std::string());
  QCOMPARE(copy->FieldByName("peni").AsCurrency().ToDouble(), 0.0);
}

void ReceiptFlowTest::codePickReplacesThePurposeAndTabFromTheFineOpensCodes() {
  ReceiptFiles files;
  AddRecord("sprkodBK.tdb", "sprkodBK",
            {{"nomer", "4"}, {"kodBK", "18210102010011000110"}, {"naim", "НДФЛ"}, {"tip", "0"}});
  AddRecord("formix.tdb", "formix", {{"nomer", "1"}, {"naloglog", "1"}, {"NaznPlat", "набранное"}});
  Run run(files);
  run.prompts.Then([&](QDialog& dialog) {
    auto& tax = run.forms->TaxDialog();
    QWidget* fine = tax.Editor("straf");
    fine->setFocus();
    QTest::keyClick(fine, Qt::Key_Tab);  // into the empty code editor: the codes open (a pick)
    QTRY_COMPARE(run.prompts.modalTitles.size(), 2);
    QTRY_COMPARE(dialog.focusWidget(), tax.Editor("kodklass"));
    QCOMPARE(Text(run.receipts(), "NaznPlat"), std::string("НДФЛ"));
    Click(tax.OkButton);
  });
  run.prompts.Then([&](QDialog&) {
    QCOMPARE(run.forms->Codes().KindFilter->currentIndex(), 0);
    QTest::keyClick(run.forms->Codes().grid, Qt::Key_Return);
  });
  run.forms->registerWindow->Edit();
  QCOMPARE(run.prompts.modalTitles.at(1), QStringLiteral("Код бюджетной классификации"));
  auto stored = run.Stored(1);
  QCOMPARE(Text(*stored, "kodklass"), std::string("18210102010011000110"));
  QCOMPARE(stored->FieldByName("nomerBK").AsInteger(), 4);
  QCOMPARE(Text(*stored, "NaznPlat"), std::string("НДФЛ"));

  // A purpose being typed when "..." is pressed gives way to the code's name;
  // typed again after the pick, it is what is stored.
  for (const QString& after : {QString(), QStringLiteral(" за май")}) {
    run.prompts.Then([&](QDialog&) {
      auto& tax = run.forms->TaxDialog();
      QWidget* purpose = tax.Editor("NaznPlat");
      purpose->setFocus();
      static_cast<QLineEdit*>(purpose)->selectAll();
      TypeText(purpose, QStringLiteral("набираемое"));
      Click(tax.CodeButton);
      QCOMPARE(static_cast<QLineEdit*>(purpose)->text(), QStringLiteral("НДФЛ"));
      if (!after.isEmpty()) {
        purpose->setFocus();
        static_cast<QLineEdit*>(purpose)->end(false);
        TypeText(purpose, after);
      }
      Click(tax.OkButton);
    });
    run.prompts.Then([&](QDialog&) { QTest::keyClick(run.forms->Codes().grid, Qt::Key_Return); });
    run.forms->registerWindow->Edit();
    QCOMPARE(Text(*run.Stored(1), "NaznPlat"), (QStringLiteral("НДФЛ") + after).toStdString());
  }
}

QTEST_MAIN(ReceiptFlowTest)
#include "receipt_flow_test.moc"
