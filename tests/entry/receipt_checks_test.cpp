// The checks at "ОК" beyond the requisites: what a receipt lacks (payer,
// recipient, amount, date), a date far from today and the payer's INN of a
// PD-4, asked about in the requisites' one question; warnings, never
// refusals.
#include <QTest>

#include "support/receipt_files.h"
#include "support/scripted_prompts.h"
#include "engine/dataset/data_source.h"
#include "entry/receipt_dialog.h"
#include "entry/receipt_entry.h"
#include "widgets/data_text.h"

using namespace entry;

namespace {

const QDate kToday(2026, 5, 15);

double Day(const QDate& d) { return double(QDate(1899, 12, 30).daysTo(d)); }

}  // namespace

class ReceiptChecksTest : public QObject {
  Q_OBJECT

 private slots:
  void omissions_data() {
    QTest::addColumn<QString>("payer");
    QTest::addColumn<QString>("recipient");
    QTest::addColumn<double>("amount");
    QTest::addColumn<double>("date");
    QTest::addColumn<QString>("inn");
    QTest::addColumn<bool>("pd4");
    QTest::addColumn<QStringList>("said");
    const double today = Day(kToday);
    QTest::newRow("a whole receipt") << "Иванов" << "УФК" << 10.0 << today << "" << true << QStringList{};
    QTest::newRow("nothing filled in")
        << "" << " " << 0.0 << 0.0 << "" << true
        << QStringList{"Не указан плательщик.", "Не указан получатель.", "Сумма равна нулю.", "Не указана дата."};
    QTest::newRow("a year and a day ahead") << "И" << "У" << 1.0 << Day(kToday.addDays(366)) << "" << false
                                           << QStringList{"Дата 16.05.2027 отстоит от сегодняшней больше чем на год."};
    QTest::newRow("a year and a day back") << "И" << "У" << 1.0 << Day(kToday.addDays(-366)) << "" << false
                                          << QStringList{"Дата 14.05.2025 отстоит от сегодняшней больше чем на год."};
    QTest::newRow("within a year") << "И" << "У" << 1.0 << Day(kToday.addDays(-365)) << "" << false << QStringList{};
    QTest::newRow("a kopeck is an amount") << "И" << "У" << 0.01 << today << "" << false << QStringList{};
    QTest::newRow("PD-4, a wrong payer's INN") << "И" << "У" << 1.0 << today << "500100732250" << true
                                               << QStringList{"ИНН плательщика: "};
    QTest::newRow("PD-4, a sound payer's INN") << "И" << "У" << 1.0 << today << "500100732259" << true << QStringList{};
    QTest::newRow("PD-4, no INN said with 0") << "И" << "У" << 1.0 << today << "0" << true << QStringList{};
    QTest::newRow("tax: the INN has its own editor") << "И" << "У" << 1.0 << today << "123" << false << QStringList{};
  }
  void omissions() {
    QFETCH(QString, payer);
    QFETCH(QString, recipient);
    QFETCH(double, amount);
    QFETCH(double, date);
    QFETCH(QString, inn);
    QFETCH(bool, pd4);
    QFETCH(QStringList, said);
    ReceiptFiles files;
    auto receipts = OpenTable("formix.tdb", "formix", "inomer");
    receipts->Insert();
    widgets::SetFieldText(receipts->FieldByName("Platel"), payer);
    widgets::SetFieldText(receipts->FieldByName("Poluchat"), recipient);
    receipts->FieldByName("Summa").SetAsCurrency(tdb::TCurrency::FromDouble(amount));
    receipts->FieldByName("DatePlat").SetAsDateTime(date);
    widgets::SetFieldText(receipts->FieldByName("InnPlat"), inn);
    const QStringList got = ReceiptOmissions(*receipts, pd4, kToday);
    QCOMPARE(got.size(), said.size());
    for (qsizetype i = 0; i < said.size(); ++i) QVERIFY2(got[i].startsWith(said[i]), qPrintable(got[i]));
  }

  // "ОК" on a PD-4 with no payer asks; No keeps the dialog open with nothing
  // stored, Yes stores it.
  void okAsksAndYesStores() {
    ReceiptFiles files;
    auto receipts = OpenTable("formix.tdb", "formix", "inomer");
    tdb::TDataSource source;
    source.SetDataSet(receipts.get());
    ScriptedPrompts prompts;
    Pd4ReceiptDialog dialog(prompts);
    dialog.SetSource(&source);
    receipts->Insert();
    receipts->FieldByName("nomer").SetAsInteger(1);
    widgets::SetFieldText(receipts->FieldByName("Poluchat"), QStringLiteral("УФК"));
    receipts->FieldByName("Summa").SetAsCurrency(tdb::TCurrency::FromDouble(5));
    prompts.answers = {false, true};
    prompts.Then([&](QDialog& d) {
      dialog.OkButton->click();
      QVERIFY(d.isVisible());
      QCOMPARE(receipts->RecordCount(), 0);
      dialog.OkButton->click();
    });
    QVERIFY(dialog.Execute(false));
    QCOMPARE(prompts.questions.size(), 2);
    QCOMPARE(prompts.questions[0], QStringLiteral("Не указан плательщик.\nСохранить всё равно?"));
    QCOMPARE(receipts->RecordCount(), 1);
  }
};

QTEST_MAIN(ReceiptChecksTest)
#include "receipt_checks_test.moc"
