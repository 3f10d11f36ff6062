// The register's order: a second click on a title turns it round (the grid
// counts the rows from the other end, the dataset keeps its index), the rows
// follow changes in that order, the purge numbers in it, and the order, the
// column widths and the window's size outlive the run in formix.ini.
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>

#include "register_fixture.h"

namespace {

// Clicks the title of grid column `column`.
void ClickTitle(widgets::DataGrid& grid, int column) {
  QHeaderView* header = grid.horizontalHeader();
  const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

// What the grid shows in `column`, top to bottom.
QStringList Shown(widgets::DataGrid& grid, int column) {
  QStringList out;
  for (int r = 0; r < grid.model()->rowCount(); ++r) out << grid.model()->index(r, column).data().toString();
  return out;
}

QString CurrentPayer(tdb::TDataSet& t) { return Qs(t.FieldByName("Platel").AsString()); }

}  // namespace

class RegisterOrderTest : public QObject {
  Q_OBJECT

  std::unique_ptr<DataFolder> data_;
  std::unique_ptr<Program> p_;

  Program& Start(const std::vector<Receipt>& receipts, bool newFolder = true) {
    if (newFolder) {
      data_ = std::make_unique<DataFolder>();
      data_->CreateReceipts();
      OtherProcess().Append(receipts);
    }
    p_ = std::make_unique<Program>(data_->Dir());
    p_->Start();
    return *p_;
  }

  static std::vector<Receipt> Five() {
    return {{1, "Сидоров", 30}, {2, "Андреев", 10}, {3, "Петров", 20}, {4, "Борисов", 50}, {5, "Павлов", 40}};
  }

 private slots:
  void cleanup() {
    p_.reset();
    data_.reset();
  }

  void secondClickTurnsTheOrderRound() {
    Program& p = Start(Five());
    reg::RegisterWindow& m = *p.main();
    widgets::DataGrid& grid = *m.grid;
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    p.table().SetRecNo(3);  // Петров
    ClickTitle(grid, 0);    // "Номер", the order already shown
    QCOMPARE(Shown(grid, 3), (QStringList{"Павлов", "Борисов", "Петров", "Андреев", "Сидоров"}));
    QCOMPARE(grid.sortMarker(), 0);
    QVERIFY(grid.sortDescending());
    QCOMPARE(grid.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    // The same index, walked from the other end.
    QCOMPARE(p.table().IndexName(), std::string("inomer"));
    QCOMPARE(CurrentPayer(p.table()), QStringLiteral("Петров"));
    QCOMPARE(grid.currentIndex().row(), 2);
    // Moving in the grid moves the dataset the same way round.
    QTest::keyClick(&grid, Qt::Key_Down);
    QCOMPARE(CurrentPayer(p.table()), QStringLiteral("Андреев"));
    QTest::keyClick(&grid, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(CurrentPayer(p.table()), QStringLiteral("Павлов"));

    ClickTitle(grid, 0);  // round again
    QVERIFY(!grid.sortDescending());
    QCOMPARE(Shown(grid, 0), (QStringList{"1", "2", "3", "4", "5"}));
    QCOMPARE(CurrentPayer(p.table()), QStringLiteral("Павлов"));

    ClickTitle(grid, 4);  // "Сумма": another column starts ascending
    ClickTitle(grid, 4);
    QCOMPARE(Shown(grid, 3), (QStringList{"Борисов", "Павлов", "Сидоров", "Петров", "Андреев"}));
    QCOMPARE(m.Register().OrderName(), QStringLiteral("по сумме, по убыванию"));
    ClickTitle(grid, 3);  // "Плательщик"
    QVERIFY(!grid.sortDescending());
    QCOMPARE(Shown(grid, 3), (QStringList{"Андреев", "Борисов", "Павлов", "Петров", "Сидоров"}));
    // A title that sorts nothing leaves the order alone.
    ClickTitle(grid, 2);
    ClickTitle(grid, 2);
    QVERIFY(!grid.sortDescending());
    QCOMPARE(grid.sortMarker(), 3);
  }

  // Turned round, the rows follow a new receipt, a mark and a deletion at
  // the right place, and typing a name lands on the first row shown with it.
  void rowsFollowChangesBottomUp() {
    Program& p = Start(Five());
    reg::RegisterWindow& m = *p.main();
    widgets::DataGrid& grid = *m.grid;
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    ClickTitle(grid, 3);
    ClickTitle(grid, 3);  // payers, Я to А
    QCOMPARE(Shown(grid, 3), (QStringList{"Сидоров", "Петров", "Павлов", "Борисов", "Андреев"}));
    p.dialogs->payer = "Ильин";
    p.prompts.Then(Choose(0));
    m.Create();
    QCOMPARE(Shown(grid, 3), (QStringList{"Сидоров", "Петров", "Павлов", "Ильин", "Борисов", "Андреев"}));
    QCOMPARE(grid.currentIndex().row(), 3);
    QCOMPARE(CurrentPayer(p.table()), QStringLiteral("Ильин"));

    p.dialogs->answer = [](tdb::TDataSet& t) {
      t.FieldByName("Platel").SetAsString(Cp("Яковлев"));
      t.Post();
    };
    m.Edit();  // Ильин becomes Яковлев and moves to the top
    QCOMPARE(Shown(grid, 3), (QStringList{"Яковлев", "Сидоров", "Петров", "Павлов", "Борисов", "Андреев"}));
    QCOMPARE(grid.currentIndex().row(), 0);

    grid.setCurrentIndex(grid.model()->index(4, 3));  // Борисов
    QCOMPARE(CurrentPayer(p.table()), QStringLiteral("Борисов"));
    p.prompts.answerYes = true;
    m.Mark();
    QVERIFY(grid.dataModel()->fieldValue(4, "slugebnoe").toBool());
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);  // the grid's deletion for good
    QCOMPARE(Shown(grid, 3), (QStringList{"Яковлев", "Сидоров", "Петров", "Павлов", "Андреев"}));

    // Typing searches the sorted column from the top of what is shown.
    grid.setCurrentIndex(grid.model()->index(4, 3));
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("П"));
    QApplication::sendEvent(&grid, &typed);
    QCOMPARE(grid.currentIndex().row(), 2);  // Петров, above Павлов
    QCOMPARE(CurrentPayer(p.table()), QStringLiteral("Петров"));
    QVERIFY(p.prompts.errors.isEmpty());
  }

  // Turned round, the purge numbers from the bottom row up, so the list
  // keeps its order and the newest receipt stays on top; the question says so.
  void purgeNumbersFromTheBottomUp() {
    Program& p = Start({{1, "А"}, {2, "Б", 0, true}, {3, "В"}, {5, "Г"}});
    reg::RegisterWindow& m = *p.main();
    ClickTitle(*m.grid, 0);
    m.Purge();
    QVERIFY(p.prompts.questions.value(0).contains(
        QStringLiteral("от нижней строки списка к верхней; порядок сейчас: по номеру, по убыванию")));
    QCOMPARE(Shown(*m.grid, 3), (QStringList{"Г", "В", "А"}));
    QCOMPARE(Shown(*m.grid, 0), (QStringList{"3", "2", "1"}));
    QCOMPARE(CurrentPayer(p.table()), QStringLiteral("Г"));
    QCOMPARE(m.grid->currentIndex().row(), 0);
  }

  // The order, the widths and the size are written at the end of a run into
  // a section of their own, and the next run starts with them.
  void layoutOutlivesTheRun() {
    data_ = std::make_unique<DataFolder>();
    data_->CreateReceipts();
    OtherProcess().Append(Five());
    QFile ini(data_->Path("formix.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Main]\r\nWindowsState=0\r\n[Nastr]\r\nSumma=0\r\n; \xEA\xEE\xEC\xEC\xE5\xED\xF2\xE0\xF0\xE8\xE9\r\n");
    ini.close();
    Program& first = Start({}, false);
    reg::RegisterWindow& m = *first.main();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    ClickTitle(*m.grid, 4);
    ClickTitle(*m.grid, 4);
    m.grid->setColumnWidth(3, 222);
    const QSize size(qMax(700, m.minimumSizeHint().width()), 500);
    m.resize(size);
    m.close();
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray bytes = ini.readAll();
    ini.close();
    QVERIFY2(bytes.startsWith("[Main]\r\nWindowsState=0\r\n[Nastr]\r\nSumma=0\r\n; \xEA\xEE\xEC\xEC\xE5\xED\xF2\xE0\xF0\xE8\xE9\r\n"),
             bytes.constData());
    QVERIFY2(bytes.contains("[Register]\r\nSortColumn=4\r\nDescending=1\r\nWidths="), bytes.constData());
    QVERIFY2(bytes.contains(QStringLiteral("Width=%1\r\nHeight=500\r\n").arg(size.width()).toLatin1()), bytes.constData());
    p_.reset();

    Program& second = Start({}, false);
    reg::RegisterWindow& n = *second.main();
    QTRY_COMPARE(n.grid->sortMarker(), 4);
    QVERIFY(n.grid->sortDescending());
    QCOMPARE(second.table().IndexName(), std::string("isumma"));
    QCOMPARE(Shown(*n.grid, 3).value(0), QStringLiteral("Борисов"));
    QCOMPARE(n.grid->currentIndex().row(), 0);
    QCOMPARE(n.grid->columnWidth(3), 222);
    QCOMPARE(n.size(), size);
    QCOMPARE(second.forms->settings.summa, false);
  }

  // Values the program did not write are left out, not obeyed.
  void strangeLayoutValuesAreLeftOut_data() {
    QTest::addColumn<QByteArray>("section");
    QTest::newRow("a column that sorts nothing") << QByteArray("SortColumn=2\r\nWidths=1,2\r\n");
    QTest::newRow("no number") << QByteArray("SortColumn=x\r\nWidths=a,b,c,d,e,f,g\r\nWidth=-5\r\nHeight=q\r\n");
    QTest::newRow("out of range") << QByteArray("SortColumn=99\r\nWidths=-1,2,3,4,5,6,7\r\nWidth=0\r\nHeight=0\r\n");
  }
  void strangeLayoutValuesAreLeftOut() {
    QFETCH(QByteArray, section);
    data_ = std::make_unique<DataFolder>();
    data_->CreateReceipts();
    OtherProcess().Append(Five());
    QFile ini(data_->Path("formix.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Register]\r\n" + section);
    ini.close();
    Program& p = Start({}, false);
    reg::RegisterWindow& m = *p.main();
    QTRY_VERIFY(m.Register().IsOpen());
    QCOMPARE(m.grid->sortMarker(), 0);
    QVERIFY(!m.grid->sortDescending());
    QCOMPARE(p.table().IndexName(), std::string("inomer"));
    QVERIFY(m.grid->columnWidth(3) >= 164);
    QVERIFY(m.width() >= 696);
    QVERIFY(p.prompts.errors.isEmpty());
  }
};

QTEST_MAIN(RegisterOrderTest)
#include "register_order_test.moc"
