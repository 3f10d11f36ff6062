// Finding and totalling receipts: the filter bar over a real receipts file,
// the filter text it builds from what is typed, the messages for values that
// are no dates or amounts, and the totals in the status bar.
#include <QLineEdit>
#include <QStatusBar>

#include "register/receipt_filter.h"
#include "register_fixture.h"

namespace {

// One stored receipt with the fields the filter looks at.  `tax` and
// `marked` of -1 leave the flag unwritten, as old files have it.
struct Stored {
  QString payer, recipient;
  QDate date;
  double amount;
  int tax, marked;
};

// Six receipts that tell the bar's fields apart.
const std::vector<Stored>& Fixture() {
  static const std::vector<Stored> rows = {
      {"Иванов Пётр", "УФК по Москве", QDate(2024, 1, 15), 1000.00, 0, 0},
      {"ИВАНОВА ОЛЬГА", "ООО \"Вода\"", QDate(2024, 2, 1), 240.50, 1, 0},
      {"О'Нил Джон", "УФК по Москве", QDate(2024, 2, 29), 0.01, 1, 1},
      {"Петров", "ТСЖ \"Дом\"", QDate(2024, 3, 31), 1240.50, -1, -1},
      {"Smith", "ООО \"Вода\"", QDate(2023, 12, 31), 99.99, 0, 1},
      {"петрова", "ТСЖ \"Дом\"", QDate(2024, 3, 1), 5000.00, 0, 0},
  };
  return rows;
}

void Append(tdb::TDataSet& t, int number, const Stored& r) {
  t.Append();
  t.FieldByName("nomer").SetAsInteger(number);
  t.FieldByName("Platel").SetAsString(Cp(r.payer));
  t.FieldByName("Poluchat").SetAsString(Cp(r.recipient));
  t.FieldByName("DatePlat").SetAsDateTime(QDate(1899, 12, 30).daysTo(r.date));
  t.FieldByName("Summa").SetAsCurrency(tdb::TCurrency::FromDouble(r.amount));
  if (r.tax >= 0) t.FieldByName("naloglog").SetAsBoolean(r.tax == 1);
  if (r.marked >= 0) t.FieldByName("slugebnoe").SetAsBoolean(r.marked == 1);
  t.Post();
}

}  // namespace

class RegisterFilterTest : public QObject {
  Q_OBJECT

  std::unique_ptr<DataFolder> data_;
  std::unique_ptr<Program> p_;

  Program& Start() {
    data_ = std::make_unique<DataFolder>();
    data_->CreateReceipts();
    p_ = std::make_unique<Program>(data_->Dir());
    p_->Start();
    tdb::TDataSet& t = p_->table();
    for (size_t i = 0; i < Fixture().size(); ++i) Append(t, int(i) + 1, Fixture()[i]);
    t.First();
    return *p_;
  }

  static void Type(QLineEdit* edit, const QString& text) {
    edit->clear();
    edit->insert(text);
  }

 private slots:
  void cleanup() {
    p_.reset();
    data_.reset();
  }

  // Each field of the bar alone and together, as the clerk would fill them.
  void filterShowsTheAskedReceipts_data() {
    QTest::addColumn<reg::ReceiptFilter>("filter");
    QTest::addColumn<QStringList>("payers");
    auto f = [](auto setup) {
      reg::ReceiptFilter filter;
      setup(filter);
      return filter;
    };
    const QStringList all = {"Иванов Пётр", "ИВАНОВА ОЛЬГА", "О'Нил Джон", "Петров", "Smith", "петрова"};
    QTest::newRow("nothing asked") << reg::ReceiptFilter{} << all;
    QTest::newRow("period, both ends in")
        << f([](auto& r) { r.dateFrom = "01.02.2024"; r.dateTo = "31.03.2024"; })
        << QStringList{"ИВАНОВА ОЛЬГА", "О'Нил Джон", "Петров", "петрова"};
    QTest::newRow("period from, short forms") << f([](auto& r) { r.dateFrom = "1.3.24"; })
                                              << QStringList{"Петров", "петрова"};
    QTest::newRow("period to") << f([](auto& r) { r.dateTo = "31.12.2023"; }) << QStringList{"Smith"};
    QTest::newRow("payer in small letters finds every spelling")
        << f([](auto& r) { r.payer = "иванов"; }) << QStringList{"Иванов Пётр", "ИВАНОВА ОЛЬГА"};
    QTest::newRow("payer in capitals") << f([](auto& r) { r.payer = "ПЕТРОВ"; }) << QStringList{"Петров", "петрова"};
    QTest::newRow("payer in mixed case, across words")
        << f([](auto& r) { r.payer = "нОв пЁ"; }) << QStringList{"Иванов Пётр"};
    QTest::newRow("payer with a quote") << f([](auto& r) { r.payer = "о'нил"; }) << QStringList{"О'Нил Джон"};
    QTest::newRow("payer, Latin letters") << f([](auto& r) { r.payer = "SMI"; }) << QStringList{"Smith"};
    QTest::newRow("a quote cannot end the constant")
        << f([](auto& r) { r.payer = "x' OR Platel LIKE '%"; }) << QStringList{};
    QTest::newRow("control characters are dropped")
        << f([](auto& r) { r.payer = QStringLiteral("Петров"); r.payer.insert(3, QChar(1)); r.payer.insert(3, QChar(0)); })
        << QStringList{"Петров", "петрова"};
    QTest::newRow("recipient") << f([](auto& r) { r.recipient = "уфк"; })
                               << QStringList{"Иванов Пётр", "О'Нил Джон"};
    QTest::newRow("recipient with a double quote") << f([](auto& r) { r.recipient = "\"вода\""; })
                                                   << QStringList{"ИВАНОВА ОЛЬГА", "Smith"};
    QTest::newRow("kind tax") << f([](auto& r) { r.kind = reg::ReceiptKind::Tax; })
                              << QStringList{"ИВАНОВА ОЛЬГА", "О'Нил Джон"};
    QTest::newRow("kind PD-4, a receipt without the flag too")
        << f([](auto& r) { r.kind = reg::ReceiptKind::Pd4; })
        << QStringList{"Иванов Пётр", "Петров", "Smith", "петрова"};
    QTest::newRow("amount bounds hold exactly")
        << f([](auto& r) { r.amountFrom = "240,5"; r.amountTo = "1 240,50"; })
        << QStringList{"Иванов Пётр", "ИВАНОВА ОЛЬГА", "Петров"};
    QTest::newRow("amount of one kopeck") << f([](auto& r) { r.amountTo = "0.01"; }) << QStringList{"О'Нил Джон"};
    QTest::newRow("marked hidden, unflagged shown")
        << f([](auto& r) { r.showMarked = false; })
        << QStringList{"Иванов Пётр", "ИВАНОВА ОЛЬГА", "Петров", "петрова"};
    QTest::newRow("everything at once")
        << f([](auto& r) {
             r.dateFrom = "01.01.2024";
             r.payer = "петров";
             r.recipient = "дом";
             r.kind = reg::ReceiptKind::Pd4;
             r.amountFrom = "1000";
             r.showMarked = false;
           })
        << QStringList{"Петров", "петрова"};
  }
  void filterShowsTheAskedReceipts() {
    QFETCH(reg::ReceiptFilter, filter);
    QFETCH(QStringList, payers);
    Program& p = Start();
    reg::RegisterWindow& m = *p.main();
    m.filterBar->SetValue(filter);
    QVERIFY(m.ApplyFilter());
    QVERIFY2(p.prompts.messages.isEmpty(), qPrintable(p.prompts.messages.join('\n')));
    QVERIFY(p.prompts.errors.isEmpty());
    QCOMPARE(PayersOf(p.table()), payers);
    QCOMPARE(m.grid->model()->rowCount(), payers.size());
  }

  // A value that is no date or no amount is said so, naming the field; the
  // register keeps showing what it showed.
  void badValuesAreSaidSo_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("no such day") << "dateFrom" << "31.02.2024" << "«31.02.2024» в поле «Дата с» не дата";
    QTest::newRow("letters for a date") << "dateTo" << "вчера" << "«вчера» в поле «Дата по» не дата";
    QTest::newRow("letters for an amount") << "amountFrom" << "сто" << "«сто» в поле «Сумма от» не сумма";
    QTest::newRow("three kopeck digits") << "amountTo" << "1,005" << "«1,005» в поле «Сумма до» не сумма";
    QTest::newRow("a negative amount") << "amountFrom" << "-5" << "«-5» в поле «Сумма от» не сумма";
    QTest::newRow("period the wrong way") << "dateTo" << "01.01.2024" << "Дата «с» (01.02.2024) позже даты «по» (01.01.2024)";
    QTest::newRow("amounts the wrong way") << "amountTo" << "1" << "Сумма «от» больше суммы «до»";
  }
  void badValuesAreSaidSo() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    Program& p = Start();
    reg::RegisterWindow& m = *p.main();
    // A filter in force first: a bad value must not undo it.
    Type(m.filterBar->payerEdit, "иванов");
    QVERIFY(m.ApplyFilter());
    QCOMPARE(p.table().RecordCount(), 2);
    reg::FilterBar& bar = *m.filterBar;
    Type(bar.dateFromEdit, "01.02.2024");
    Type(bar.amountFromEdit, "10");
    QLineEdit* edit = field == "dateFrom" ? bar.dateFromEdit
                      : field == "dateTo" ? bar.dateToEdit
                      : field == "amountFrom" ? bar.amountFromEdit
                                              : bar.amountToEdit;
    Type(edit, text);
    QVERIFY(!m.ApplyFilter());
    QCOMPARE(p.prompts.messages.size(), 1);
    QVERIFY2(p.prompts.messages[0].startsWith(message), qPrintable(p.prompts.messages[0]));
    QVERIFY(p.prompts.errors.isEmpty());
    QCOMPARE(PayersOf(p.table()), (QStringList{"Иванов Пётр", "ИВАНОВА ОЛЬГА"}));
  }

  // The status bar shows the count and the sum of the receipts shown, and
  // follows a filter, a new receipt and a changed amount.
  void statusBarTotals() {
    Program& p = Start();
    reg::RegisterWindow& m = *p.main();
    QTRY_COMPARE(m.totalsLabel->text(), QStringLiteral("Квитанций: 6, на сумму 7 581,00"));
    QVERIFY(m.statusBar()->isAncestorOf(m.totalsLabel));
    Type(m.filterBar->payerEdit, "петров");
    QTest::keyClick(m.filterBar->payerEdit, Qt::Key_Return);
    QTRY_COMPARE(m.totalsLabel->text(), QStringLiteral("Отобрано квитанций: 2, на сумму 6 240,50"));
    // Enter in a field applied the filter and opened no receipt.
    QVERIFY(p.dialogs->shown.empty());
    p.dialogs->answer = [](tdb::TDataSet& t) {
      t.FieldByName("Summa").SetAsCurrency(tdb::TCurrency::FromDouble(0.5));
      t.Post();
    };
    p.table().First();
    m.Edit();
    QTRY_COMPARE(m.totalsLabel->text(), QStringLiteral("Отобрано квитанций: 2, на сумму 5 000,50"));
    QTest::mouseClick(m.filterBar->clearButton, Qt::LeftButton);
    QCOMPARE(m.filterBar->payerEdit->text(), QString());
    QTRY_COMPARE(m.totalsLabel->text(), QStringLiteral("Квитанций: 6, на сумму 6 341,00"));
  }

  // The purge lifts the filter while it works: every receipt is numbered,
  // not only those shown, and the filter is back afterwards.
  void purgeNumbersEveryReceiptAndKeepsTheFilter() {
    Program& p = Start();
    reg::RegisterWindow& m = *p.main();
    m.filterBar->SetValue([] {
      reg::ReceiptFilter f;
      f.kind = reg::ReceiptKind::Pd4;
      return f;
    }());
    QVERIFY(m.ApplyFilter());
    m.Purge();
    QVERIFY(p.prompts.questions.value(0).contains(QStringLiteral("Отбор на это время снимается")));
    QCOMPARE(PayersOf(p.table()), (QStringList{"Иванов Пётр", "Петров", "петрова"}));
    QCOMPARE(NumbersOf(p.table()), (QList<int>{1, 3, 4}));
    QVERIFY(p.table().Filtered());
    QTRY_COMPARE(m.totalsLabel->text(), QStringLiteral("Отобрано квитанций: 3, на сумму 7 240,50"));
    QVERIFY(p.prompts.errors.isEmpty());
  }

  void everyControlHasItsCaption() {
    Program& p = Start();
    for (QWidget* w : p.main()->filterBar->findChildren<QWidget*>()) {
      if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w)) {
        if (w->parent() != p.main()->filterBar) continue;  // a line edit's own clear button
        QVERIFY2(!w->accessibleName().isEmpty(), w->metaObject()->className());
      }
    }
  }
};

QTEST_MAIN(RegisterFilterTest)
#include "register_filter_test.moc"
