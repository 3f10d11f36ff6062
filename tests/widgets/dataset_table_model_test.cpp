// The table model over a table dataset: what it shows, what it reads, how it
// follows the dataset's changes and keeps the current row in step.
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include "widget_fixture.h"
#include "widgets/data_text.h"
#include "widgets/dataset_table_model.h"

using widgets::DataSetTableModel;
using widgets::GridColumn;
using widgets_test::PaymentsTable;

class DataSetTableModelTest : public QObject {
  Q_OBJECT

  static std::vector<GridColumn> Columns() {
    return {{"Номер", "nomer"}, {"Имя", "NAME"}, {"Дата", "day"}, {"Сумма", "summa"}, {"Нет", "nosuch"}};
  }

 private slots:
  void showsTypedValuesAsTexts() {
    PaymentsTable p;
    p.Add(2, "\xC8\xE2\xE0\xED\xEE\xE2", 1234.5);  // "Иванов"
    p.Add(1, "", -0.01, true);
    p.table.Refresh();
    DataSetTableModel model;
    QAbstractItemModelTester tester(&model);
    model.setColumns(Columns());
    model.setExtraFields({"Mark"});
    model.setDataSource(&p.source);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.columnCount(), 5);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Имя"));
    QCOMPARE(model.headerData(1, Qt::Horizontal, Qt::AccessibleTextRole).toString(), QStringLiteral("Имя"));
    // In "inomer" order: 1 first.  Unusual values show without an error.
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("1"));
    QCOMPARE(model.index(0, 1).data().toString(), QString());
    QCOMPARE(model.index(0, 3).data().toString(), QStringLiteral("-0,01"));
    QCOMPARE(model.index(1, 1).data().toString(), QStringLiteral("Иванов"));
    QCOMPARE(model.index(1, 3).data().toString(), QStringLiteral("1 234,50"));
    QCOMPARE(model.index(1, 3).data(DataSetTableModel::EditTextRole).toString(), QStringLiteral("1234,5"));
    QCOMPARE(model.index(1, 4).data().toString(), QString());  // a field the table lacks
    QCOMPARE(model.fieldValue(0, "mark").toBool(), true);
    QCOMPARE(model.fieldValue(1, "MARK").toBool(), false);
    QCOMPARE(model.index(1, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight, Qt::AlignRight);
    QCOMPARE(model.index(1, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight, Qt::Alignment());
    // A new record's date is today; the zero date shows as the stored day.
    QCOMPARE(model.index(1, 2).data(DataSetTableModel::ValueRole).toDateTime().date(), QDate::currentDate());
    QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
  }

  // Amounts in groups of three digits, the sign never taken for a group.
  void amountsShowGrouped() {
    PaymentsTable p;
    const std::pair<double, const char*> cases[] = {
        {0, "0,00"},          {999.5, "999,50"},        {1000, "1 000,00"},           {-100, "-100,00"},
        {-1000, "-1 000,00"}, {123456.07, "123 456,07"}, {-1234567.89, "-1 234 567,89"}};
    int n = 0;
    for (const auto& [amount, shown] : cases) p.Add(++n, "", amount);
    p.table.Refresh();
    DataSetTableModel model;
    model.setColumns(Columns());
    model.setDataSource(&p.source);
    n = 0;
    for (const auto& [amount, shown] : cases) {
      QCOMPARE(model.index(n, 3).data().toString(), QString::fromUtf8(shown));
      QVERIFY(!model.index(n++, 3).data(DataSetTableModel::EditTextRole).toString().contains(QLatin1Char(' ')));
    }
  }

  void readsOnlyTheRowsAsked() {
    PaymentsTable p;
    for (int i = 1; i <= 3000; ++i) p.Add(i, "n" + std::to_string(i));
    p.table.Refresh();
    DataSetTableModel model;
    model.setColumns(Columns());
    model.setDataSource(&p.source);
    QCOMPARE(model.rowCount(), 3000);
    QCOMPARE(model.cachedRows(), 0);
    QCOMPARE(model.index(2500, 0).data().toString(), QStringLiteral("2501"));
    QCOMPARE(model.cachedRows(), DataSetTableModel::kBlockRows);
    // Walking the whole table keeps the cache at its bound.
    for (int row = 0; row < 3000; row += 7) QCOMPARE(model.index(row, 0).data().toInt(), row + 1);
    QVERIFY(model.cachedRows() <= DataSetTableModel::kBlockRows * DataSetTableModel::kCachedBlocks);
  }

  void followsPostsDeletesAndNewOrders() {
    PaymentsTable p("iname");
    p.Add(1, "b");
    p.Add(2, "d");
    p.Add(3, "f");
    p.table.Refresh();
    DataSetTableModel model;
    QAbstractItemModelTester tester(&model);
    model.setColumns(Columns());
    model.setDataSource(&p.source);
    auto names = [&] {
      QStringList out;
      for (int r = 0; r < model.rowCount(); ++r) out << model.index(r, 1).data().toString();
      return out;
    };
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy current(&model, &DataSetTableModel::currentRowChanged);
    QCOMPARE(names(), (QStringList{"b", "d", "f"}));

    p.Add(4, "c");
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted[0][1].toInt(), 1);
    QCOMPARE(names(), (QStringList{"b", "c", "d", "f"}));
    QCOMPARE(current.last()[0].toInt(), 1);  // the posted record is current

    p.table.First();
    p.table.Edit();
    p.table.FieldByName("name").SetAsString("e");
    p.table.Post();
    QCOMPARE(moved.count(), 1);
    QCOMPARE(names(), (QStringList{"c", "d", "e", "f"}));
    QCOMPARE(model.currentRow(), 2);

    p.table.Delete();
    QCOMPARE(removed.count(), 1);
    QCOMPARE(names(), (QStringList{"c", "d", "f"}));
    QCOMPARE(reset.count(), 0);  // none of it reset the model

    p.table.SetIndexName("inomer");
    QCOMPARE(reset.count(), 1);
    QCOMPARE(names(), (QStringList{"d", "f", "c"}));

    p.table.Close();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.currentRow(), -1);
  }

  void currentRowInStepBothWays() {
    PaymentsTable p;
    for (int i = 1; i <= 200; ++i) p.Add(i, "n");
    p.table.First();
    DataSetTableModel model;
    model.setColumns(Columns());
    model.setDataSource(&p.source);
    QSignalSpy current(&model, &DataSetTableModel::currentRowChanged);
    QVERIFY(p.table.Locate("nomer", {tdb::TVariant{int64_t{150}}}, 0));
    QCOMPARE(current.count(), 1);
    QCOMPARE(current[0][0].toInt(), 149);
    p.table.MoveBy(-10);
    QCOMPARE(current.last()[0].toInt(), 139);
    model.setCurrentRow(5);
    QCOMPARE(p.table.RecNo(), 6);
    QCOMPARE(current.last()[0].toInt(), 5);
    const int heard = static_cast<int>(current.count());
    model.setCurrentRow(5);      // already there
    model.setCurrentRow(1000);   // outside the view
    QCOMPARE(current.count(), heard);
    QCOMPARE(p.table.RecNo(), 6);
  }

  void incrementalSearch() {
    PaymentsTable p("iname");
    const char* names[] = {"Petrov", "ivanov", "Ivanov", "Sidorov", "Abramov"};
    int n = 1;
    for (const char* name : names) {
      p.Add(n, name, n * 10.0);
      ++n;
    }
    p.table.Refresh();  // Abramov, ivanov/Ivanov, Petrov, Sidorov
    DataSetTableModel model;
    model.setColumns(Columns());
    model.setDataSource(&p.source);
    struct Case {
      int column;
      QString text;
      int from;
      int row;
      bool match;
    };
    const Case cases[] = {
        {1, "IV", 0, 1, true},        // the order's own column: the first of the matches
        {1, "pe", 3, 3, true},
        {1, "j", 0, 3, false},        // nearest: the next name in order
        {0, "4", 0, 4, true},         // another column: the next row whose text starts so
        {0, "3", 4, 2, true},         //   wrapping round from the current row
        {0, "9", 0, -1, false},
        {2, "", 0, -1, false},
    };
    for (const Case& c : cases) {
      bool match = !c.match;
      QCOMPARE(model.searchRow(c.column, c.text, c.from, &match), c.row);
      QCOMPARE(match, c.match);
    }
    // Sorted by amount, a number typed lands on the first amount not below it.
    p.table.SetIndexName("isumma");
    bool match = false;
    QCOMPARE(model.searchRow(3, "35", 0, &match), 3);
    QVERIFY(!match);
    QCOMPARE(model.searchRow(3, "x", 0, &match), -1);
  }

  // Rows sorted by a column the table has no index for: Cyrillic names in
  // the engine's order without regard to case, amounts by value, the
  // current row kept in step both ways, a changed row re-sorted, reversal
  // on top, and back to the index's order.
  void sortedByAColumnWithoutAnIndex() {
    PaymentsTable p;
    struct Entry {
      const char* name;
      double summa;
    };
    const Entry entries[] = {{"Петров", 100}, {"иванов", -5}, {"Абрамов", 20}, {"Иванов", 3}, {"b", 1000}};
    int n = 0;
    for (const Entry& e : entries) p.Add(++n, widgets::ToCp1251(QString::fromUtf8(e.name)), e.summa);
    p.table.Refresh();
    DataSetTableModel model;
    QAbstractItemModelTester tester(&model);
    model.setColumns(Columns());
    model.setDataSource(&p.source);
    auto column = [&](int c) {
      QStringList out;
      for (int r = 0; r < model.rowCount(); ++r) out << model.index(r, c).data().toString();
      return out;
    };
    QSignalSpy current(&model, &DataSetTableModel::currentRowChanged);
    p.table.First();  // Петров, nomer 1
    model.setSortColumn(1);
    QCOMPARE(column(1), (QStringList{"b", "Абрамов", "иванов", "Иванов", "Петров"}));
    QCOMPARE(model.currentRow(), 4);
    QCOMPARE(current.last()[0].toInt(), 4);
    model.setCurrentRow(1);
    QCOMPARE(p.table.FieldByName("nomer").AsInteger(), 3);  // Абрамов
    QCOMPARE(model.positionOfRow(1), 2);
    QCOMPARE(model.rowOfPosition(2), 1);
    bool match = false;
    QCOMPARE(model.searchRow(1, QStringLiteral("ИВ"), 4, &match), 2);  // the first of the sorted run
    QVERIFY(match);

    // A changed name takes its place in the order; the current row follows it.
    p.table.Edit();
    p.table.FieldByName("name").SetAsString(widgets::ToCp1251(QStringLiteral("Яковлев")));
    p.table.Post();
    QCOMPARE(column(1), (QStringList{"b", "иванов", "Иванов", "Петров", "Яковлев"}));
    QCOMPARE(model.currentRow(), 4);

    model.setReversed(true);
    QCOMPARE(column(1), (QStringList{"Яковлев", "Петров", "Иванов", "иванов", "b"}));
    QCOMPARE(model.currentRow(), 0);
    model.setReversed(false);

    model.setSortColumn(3);  // amounts by value, not by their text
    QCOMPARE(column(3), (QStringList{"-5,00", "3,00", "20,00", "100,00", "1 000,00"}));
    QCOMPARE(model.currentRow(), 2);  // still Яковлев

    model.setSortColumn(-1);
    QCOMPARE(column(0), (QStringList{"1", "2", "3", "4", "5"}));
    QCOMPARE(model.currentRow(), 2);
  }

  // An integer column with names for its values shows the name; the edit
  // text stays the value, and a value without a name shows as stored.
  void valueNames() {
    PaymentsTable p;
    p.Add(0, "a");
    p.Add(1, "b");
    p.Add(7, "c");
    p.table.Refresh();
    DataSetTableModel model;
    model.setColumns({{"Вид", "nomer", -1, false, {"налог", "пени"}}});
    model.setDataSource(&p.source);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("налог"));
    QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("пени"));
    QCOMPARE(model.index(2, 0).data().toString(), QStringLiteral("7"));
    QCOMPARE(model.index(1, 0).data(DataSetTableModel::EditTextRole).toString(), QStringLiteral("1"));
    QCOMPARE(model.index(1, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight, Qt::Alignment());
  }
};

QTEST_MAIN(DataSetTableModelTest)
#include "dataset_table_model_test.moc"
