// The requisite checks reach the editors they belong to: found by object
// name, explained in Russian, and rechecked when the field they read changes.
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "support/receipt_files.h"
#include "support/scripted_prompts.h"
#include "directories/directory_window.h"
#include "ui/requisite_warnings.h"
#include "engine/dataset/data_source.h"
#include "entry/receipt_dialog.h"

namespace {

QLineEdit* Line(QWidget* parent, const char* name) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QString::fromLatin1(name));
  return e;
}

QComboBox* Box(QWidget* parent, const char* name) {
  auto* b = new QComboBox(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setEditable(true);
  return b;
}

void SetText(QWidget* editor, const QString& text) {
  if (auto* line = qobject_cast<QLineEdit*>(editor)) line->setText(text);
  else qobject_cast<QComboBox*>(editor)->setEditText(text);
}

QString ProblemOf(const std::vector<widgets::FieldWarning*>& warnings, QWidget* editor) {
  for (widgets::FieldWarning* w : warnings)
    if (w->Editor() == editor) return w->Problem();
  return QStringLiteral("<no warning>");
}

}  // namespace

class RequisiteWarningsTest : public QObject {
  Q_OBJECT

 private slots:
  void everyEditDialogWarnsOnItsRequisites() {
    ScriptedPrompts prompts;
    auto warned = [](QDialog& dialog) {
      QStringList names;
      for (widgets::FieldWarning* w : dialog.findChildren<widgets::FieldWarning*>()) names << w->Editor()->objectName();
      names.sort();
      return names;
    };
    directories::DirectoryEntryDialog payers(directories::PayersConfig(), prompts);
    directories::DirectoryEntryDialog recipients(directories::RecipientsConfig(), prompts);
    directories::DirectoryEntryDialog codes(directories::CodesConfig(), prompts);
    entry::Pd4ReceiptDialog bank(prompts);
    entry::TaxReceiptDialog tax(prompts);
    QCOMPARE(warned(payers), QStringList{QStringLiteral("InnPlat")});
    QCOMPARE(warned(recipients), (QStringList{"Bik", "InnPoluch", "KppPoluch", "korSchet", "schetpoluch"}));
    QCOMPARE(warned(codes), QStringList{QStringLiteral("kodBK")});
    QCOMPARE(warned(bank), QStringList{});
    QCOMPARE(warned(tax), (QStringList{"indexdoc", "kodklass", "okato", "srok", "status"}));
  }

  // The recipient's edit dialog: the mark while typing, the question on
  // "Ok" with both answers, and none for empty values.
  void recipientEditDialogAsksOnceOnOk() {
    ReceiptFiles files;
    ScriptedPrompts prompts;
    directories::DirectoryEntryDialog dialog(directories::RecipientsConfig(), prompts);
    auto table = OpenTable("Poluchat.tdb", "Poluchat", "inomer");
    tdb::TDataSource source;
    source.SetDataSet(table.get());
    auto* inn = dialog.findChild<QLineEdit*>(QStringLiteral("InnPoluch"));
    auto* summary = dialog.findChild<widgets::WarningSummary*>();
    QVERIFY(inn && summary);

    table->Insert();
    prompts.Then([&](QDialog&) {
      QVERIFY(summary->Shown().isEmpty());
      inn->setFocus();
      TypeText(inn, QStringLiteral("583412345"));
      QCOMPARE(summary->Shown(), QStringList{QStringLiteral("ИНН: нужно 10 или 12 цифр")});
      TypeText(inn, QStringLiteral("0"));
      QCOMPARE(summary->Shown(), QStringList{QStringLiteral("ИНН: неверная контрольная цифра")});
      prompts.answers = {false};
      dialog.OkButton()->click();
      QVERIFY(dialog.isVisible());  // No: back to the field, nothing stored
      QCOMPARE(table->State(), tdb::dsInsert);
      QTRY_VERIFY(inn->hasFocus());
      prompts.answers = {true};
      dialog.OkButton()->click();  // Yes: stored as typed
    });
    dialog.Execute(source);
    const QString question = QStringLiteral("ИНН: неверная контрольная цифра\nСохранить всё равно?");
    QCOMPARE(prompts.questions, (QStringList{question, question}));  // once for each "Ok"
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(table->RecordCount(), 1);

    // Empty requisites: no question.
    table->Insert();
    prompts.Then([&](QDialog&) {
      inn->clear();
      dialog.OkButton()->click();
    });
    dialog.Execute(source);
    QCOMPARE(prompts.questions.size(), 2);
    QCOMPARE(table->RecordCount(), 2);
  }

  // The tax dialog labels the territory code for both classifiers and asks
  // before storing a failing requisite.
  void taxReceiptDialog() {
    ReceiptFiles files;
    ScriptedPrompts prompts;
    entry::TaxReceiptDialog dialog(prompts);
    auto receipts = OpenTable("formix.tdb", "formix", "inomer");
    tdb::TDataSource source;
    source.SetDataSet(receipts.get());
    dialog.SetSource(&source);
    QWidget* okato = dialog.Editor("okato");
    QVERIFY(okato);
    QStringList labels;
    for (QLabel* l : dialog.findChildren<QLabel*>())
      if (l->buddy() == okato) labels << l->text();
    QCOMPARE(labels, QStringList{QStringLiteral("ОКТМО (ОКАТО):")});

    // A stored receipt with an old mistake: marked as soon as it is shown.
    AddRecord(*receipts, {{"nomer", "1"}, {"naloglog", "1"}, {"okato", "5699900"}});
    receipts->Edit();
    auto* summary = dialog.findChild<widgets::WarningSummary*>();
    QVERIFY(summary);
    prompts.answers = {false};
    prompts.Then([&](QDialog&) {
      QCOMPARE(summary->Shown(), QStringList{QStringLiteral("ОКТМО: нужно 8 или 11 цифр")});
      const int oneLine = dialog.height();
      dialog.statusBox->setEditText(QStringLiteral("14"));
      QCOMPARE(summary->Shown().size(), 2);
      QTRY_VERIFY(dialog.height() > oneLine);  // the border is fixed, but makes room for the explanations
      const int twoLines = dialog.height();
      QVERIFY(summary->geometry().bottom() < dialog.OkButton->mapTo(&dialog, QPoint(0, 0)).y());
      dialog.OkButton->click();
      QVERIFY(dialog.isVisible());
      QTRY_VERIFY(okato->hasFocus());  // the first failing field in the form's order
      dialog.statusBox->setEditText(QStringLiteral("13"));
      qobject_cast<QLineEdit*>(okato)->setText(QStringLiteral("56999000"));
      QVERIFY(summary->Shown().isEmpty());
      QTRY_VERIFY(dialog.height() < twoLines);  // and gives it back
      dialog.reject();
    });
    QVERIFY(!dialog.Execute(false));
    // The requisites first, then what the receipt as a whole lacks, in one question.
    QCOMPARE(prompts.questions,
             QStringList{QStringLiteral("ОКТМО: нужно 8 или 11 цифр\nСтатус 14 исключён из перечня\n"
                                        "Не указан плательщик.\nНе указан получатель.\nСумма равна нулю.\n"
                                        "Сохранить всё равно?")});
  }

  void recipientDialog() {
    QDialog dialog;
    QWidget* name = Line(&dialog, "Poluchat");  // not a requisite: no warning
    QWidget* inn = Line(&dialog, "InnPoluch");
    QWidget* kpp = Line(&dialog, "KppPoluch");
    QWidget* account = Line(&dialog, "schetpoluch");
    QWidget* bik = Line(&dialog, "Bik");
    QWidget* corr = Line(&dialog, "korSchet");
    auto warnings = ui::WarnRequisites(&dialog);
    QCOMPARE(warnings.size(), size_t{5});
    QCOMPARE(ProblemOf(warnings, name), QStringLiteral("<no warning>"));

    struct Step {
      QWidget* editor;
      const char* text;
      QWidget* judged;
      const char* problem;
    } steps[] = {
        {inn, "5834123450", inn, "ИНН: неверная контрольная цифра"},
        {inn, "583412345660", inn, ""},  // an entrepreneur's INN is fine here
        {kpp, "5834010", kpp, "КПП: нужно 9 знаков"},
        {kpp, "583401001", kpp, ""},
        {account, "40702810200001234567", account, ""},  // no BIK yet: length only
        {bik, "045678000", account, "Счёт не соответствует БИК"},
        {bik, "045678000", bik, ""},
        {corr, "30101810500000000901", corr, "Корр. счёт не соответствует БИК"},
        {bik, "045678901", account, ""},
        {bik, "045678901", corr, ""},
        {bik, "04567890", bik, "БИК: нужно 9 цифр"},
        {account, "", account, ""},
    };
    for (const Step& s : steps) {
      SetText(s.editor, QString::fromUtf8(s.text));
      QCOMPARE(ProblemOf(warnings, s.judged), QString::fromUtf8(s.problem));
    }
  }

  void payerDialog() {
    QDialog dialog;
    QWidget* inn = Line(&dialog, "InnPlat");
    auto warnings = ui::WarnRequisites(&dialog);
    QCOMPARE(warnings.size(), size_t{1});
    SetText(inn, QStringLiteral("5834123457"));
    QCOMPARE(ProblemOf(warnings, inn), QStringLiteral("ИНН: нужно 12 цифр"));
    SetText(inn, QStringLiteral("0"));
    QCOMPARE(ProblemOf(warnings, inn), QString());
  }

  void taxDialog() {
    QDialog dialog;
    QWidget* code = Line(&dialog, "kodklass");
    QWidget* oktmo = Line(&dialog, "okato");
    QWidget* status = Box(&dialog, "status");
    QWidget* period = Box(&dialog, "srok");
    QWidget* index = Line(&dialog, "indexdoc");
    int date = 20210901;
    auto warnings = ui::WarnRequisites(&dialog, [&date] { return date; });
    QCOMPARE(warnings.size(), size_t{5});

    struct Step {
      QWidget* editor;
      const char* text;
      QWidget* judged;
      const char* problem;
    } steps[] = {
        {code, "1821060401202100011", code, "КБК: нужно 20 цифр"},
        {oktmo, "0", oktmo, "ОКТМО «0» ставится только в едином налоговом платеже"},
        {code, "18201061201010000510", oktmo, ""},
        {code, "18201061201010000510", code, ""},
        {status, "09", status, ""},  // before 01.10.2021
        {period, "КВ.05.2021", period, "Период: номер квартала — от 01 до 04"},
        {period, "ГД.00.2020", period, ""},
        {index, "18209965224567890125", index, "УИН: неверная контрольная цифра"},
        {index, "0", index, ""},
    };
    for (const Step& s : steps) {
      SetText(s.editor, QString::fromUtf8(s.text));
      QCOMPARE(ProblemOf(warnings, s.judged), QString::fromUtf8(s.problem));
    }
    // The same status on a later receipt fails when "Ok" checks again.
    date = 20250301;
    QString question;
    QVERIFY(!widgets::ConfirmDespiteWarnings(warnings, [&](const QString& q) {
      question = q;
      return false;
    }));
    QCOMPARE(question, QStringLiteral("Статус 09 отменён с 01.10.2021: укажите 13\nСохранить всё равно?"));
  }
};

QTEST_MAIN(RequisiteWarningsTest)
#include "requisite_warnings_test.moc"
