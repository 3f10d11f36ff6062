// The data grid with real widgets offscreen: title buttons and the marker,
// the current row, incremental search, the drawing hook, the popup's
// shortcuts, double-clicks and Ctrl+Delete.
#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <set>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QMainWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include "widget_fixture.h"
#include "widgets/data_grid.h"

using widgets::DataGrid;
using widgets::GridColumn;
using widgets_test::PaymentsTable;

class DataGridTest : public QObject {
  Q_OBJECT

  // Five payments sorted by name: Abramov 5, ivanov 2, Ivanov 3, Petrov 1, Sidorov 4.
  static void Fill(PaymentsTable& p) {
    const char* names[] = {"Petrov", "ivanov", "Ivanov", "Sidorov", "Abramov"};
    for (int i = 0; i < 5; ++i) p.Add(i + 1, names[i], (i + 1) * 10.0, i == 2);
    p.table.First();
  }

  static void Bind(DataGrid& grid, PaymentsTable& p) {
    grid.setColumns({{"Номер", "nomer", 60, true}, {"Имя", "name", 120, true}, {"Сумма", "summa", 80, false}});
    grid.setDataSource(&p.source);
    grid.resize(400, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
  }

 private slots:
  void titlesActAsButtonsAndTheMarkerStays() {
    PaymentsTable p;
    Fill(p);
    DataGrid grid;
    Bind(grid, p);
    grid.setSortMarker(0);
    QSignalSpy clicked(&grid, &DataGrid::titleClicked);
    QHeaderView* titles = grid.horizontalHeader();
    for (int column : {1, 2, 1}) {
      QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                        QPoint(titles->sectionViewportPosition(column) + 5, titles->height() / 2));
    }
    QCOMPARE(clicked.count(), 2);  // "Сумма" is no button
    QCOMPARE(clicked[0][0].toInt(), 1);
    // Only the window moves the marker, and it never turns round.
    QCOMPARE(titles->sortIndicatorSection(), 0);
    QCOMPARE(titles->sortIndicatorOrder(), Qt::AscendingOrder);
    grid.setSortMarker(1);
    QCOMPARE(titles->sortIndicatorSection(), 1);
    QCOMPARE(grid.model()->headerData(1, Qt::Horizontal, Qt::AccessibleTextRole).toString(), QStringLiteral("Имя"));
    // Columns keep their widths and the user may change them.
    QCOMPARE(grid.columnWidth(1), 120);
    QCOMPARE(titles->sectionResizeMode(1), QHeaderView::Interactive);
  }

  // With several rows selectable, Ctrl with a move key still moves the
  // record (Qt alone would leave it); Shift and Ctrl+click make a selection,
  // which a move of the dataset onto a selected row keeps.
  void severalRowsSelectedAndTheKeysStillMove() {
    PaymentsTable p;
    Fill(p);
    DataGrid grid;
    Bind(grid, p);
    grid.setMultiSelection(true);
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(p.table.RecNo(), 5);
    QCOMPARE(grid.selectedRecordRows(), (std::vector<int>{4}));
    QTest::keyClick(&grid, Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(&grid, Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(p.table.RecNo(), 3);
    QCOMPARE(grid.selectedRecordRows(), (std::vector<int>{2, 3, 4}));
    p.table.SetRecNo(4);
    QCOMPARE(grid.currentIndex().row(), 3);
    QCOMPARE(grid.selectedRecordRows(), (std::vector<int>{2, 3, 4}));
    QTest::keyClick(&grid, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(p.table.RecNo(), 1);
    QCOMPARE(grid.selectedRecordRows(), (std::vector<int>{0}));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier,
                      grid.visualRect(grid.model()->index(3, 0)).center());
    QCOMPARE(grid.selectedRecordRows(), (std::vector<int>{0, 3}));
    QCOMPARE(p.table.RecNo(), 4);
    QTest::keyClick(&grid, Qt::Key_PageDown, Qt::ControlModifier);
    QCOMPARE(grid.selectedRecordRows().size(), size_t{1});
    // A click on a title selects no column and leaves the record alone.
    const int recNo = p.table.RecNo();
    QHeaderView* titles = grid.horizontalHeader();
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                      QPoint(titles->sectionViewportPosition(1) + 5, titles->height() / 2));
    QCOMPARE(p.table.RecNo(), recNo);
    QCOMPARE(grid.selectedRecordRows().size(), size_t{1});
  }

  void currentRowFollowsBothWaysAndNothingIsEditedInPlace() {
    PaymentsTable p;
    Fill(p);
    DataGrid grid;
    Bind(grid, p);
    QCOMPARE(grid.currentIndex().row(), 0);
    p.table.Last();
    QCOMPARE(grid.currentIndex().row(), 4);
    const QRect cell = grid.visualRect(grid.model()->index(2, 1));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(p.table.RecNo(), 3);
    QTest::keyClick(&grid, Qt::Key_Down);
    QCOMPARE(p.table.RecNo(), 4);
    QSignalSpy doubled(&grid, &DataGrid::recordDoubleClicked);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(doubled.count(), 1);
    QCOMPARE(p.table.RecNo(), 3);
    QVERIFY(!grid.indexWidget(grid.model()->index(2, 1)) && !grid.findChild<QLineEdit*>());
    QCOMPARE(p.table.State(), tdb::dsBrowse);
  }

  void typingSearchesTheCurrentColumn() {
    PaymentsTable p("iname");
    Fill(p);
    DataGrid grid;
    Bind(grid, p);
    grid.setCurrentIndex(grid.model()->index(0, 1));
    QTest::keyClicks(&grid, "IV");
    QCOMPARE(grid.searchText(), QStringLiteral("IV"));
    QCOMPARE(p.table.RecNo(), 2);  // the first of ivanov and Ivanov
    QTest::keyClick(&grid, Qt::Key_A);  // "iva" still matches both: stays on the first
    QCOMPARE(p.table.RecNo(), 2);
    QTest::keyClick(&grid, Qt::Key_Backspace);
    QCOMPARE(grid.searchText(), QStringLiteral("IV"));
    QTest::keyClick(&grid, Qt::Key_Down);  // a move starts a new search
    QVERIFY(grid.searchText().isEmpty());
    QTest::keyClicks(&grid, "s");
    QCOMPARE(p.table.FieldByName("name").AsString(), std::string("Sidorov"));
    // In a column that does not order the view: the next row whose text begins so.
    grid.setCurrentIndex(grid.model()->index(0, 0));
    QTest::qWait(DataGrid::kSearchPause + 100);
    QTest::keyClicks(&grid, "1");
    QCOMPARE(p.table.FieldByName("nomer").AsInteger(), 1);
  }

  void drawingHookRunsAfterTheNormalDrawing() {
    PaymentsTable p;
    Fill(p);
    DataGrid grid;
    Bind(grid, p);
    grid.setExtraFields({"mark"});
    std::vector<std::pair<int, int>> painted;
    grid.setCellPainter([&](QPainter& painter, const QRect& rect, int row, int column, const QStyleOptionViewItem&) {
      painted.emplace_back(row, column);
      if (grid.dataModel()->fieldValue(row, "mark").toBool()) painter.fillRect(rect, Qt::red);
    });
    QImage image = grid.viewport()->grab().toImage();
    QVERIFY(!painted.empty());
    const QRect marked = grid.visualRect(grid.model()->index(2, 1));  // receipt 3 is marked
    const QRect plain = grid.visualRect(grid.model()->index(1, 1));
    QCOMPARE(image.pixelColor(marked.center()), QColor(Qt::red));
    QVERIFY(image.pixelColor(plain.center()) != QColor(Qt::red));
  }

  void markedRowsCarryASignWithTheirTextAsTooltip() {
    PaymentsTable p;
    Fill(p);
    DataGrid grid;
    Bind(grid, p);
    const int plain_width = grid.verticalHeader()->width();
    grid.setExtraFields({"mark"});
    std::set<int> asked;
    grid.setRowMark([&](int row) {
      asked.insert(row);
      return grid.dataModel()->fieldValue(row, "mark").toBool() ? QStringLiteral("ИНН: неверная контрольная цифра")
                                                                : QString();
    });
    QTRY_VERIFY(grid.verticalHeader()->width() > plain_width);  // room beside the current-record triangle
    QHeaderView* indicator = grid.verticalHeader();
    QImage image = indicator->viewport()->grab().toImage();
    QVERIFY(asked.count(2) && asked.count(1));
    // Row 2 (Ivanov) is marked: its sign's cell differs from row 1's, which
    // holds neither the sign nor the triangle.
    auto signCell = [&](int row) {
      return image.copy(QRect(plain_width, indicator->sectionViewportPosition(row),
                              indicator->width() - plain_width, indicator->sectionSize(row)));
    };
    QVERIFY(signCell(2) != signCell(1));
    QCOMPARE(signCell(1), signCell(3));

    auto tooltipAt = [&](int row) {
      const QPoint at(indicator->width() - 4, indicator->sectionViewportPosition(row) + 2);
      QHelpEvent help(QEvent::ToolTip, at, indicator->viewport()->mapToGlobal(at));
      QApplication::sendEvent(indicator->viewport(), &help);
      return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    QCOMPARE(tooltipAt(2), QStringLiteral("ИНН: неверная контрольная цифра"));
    QTRY_COMPARE(tooltipAt(1), QString());
  }

  void popupShortcutsWinWhileTheGridHasTheFocus() {
    PaymentsTable p;
    Fill(p);
    QMainWindow window;
    auto* grid = new DataGrid;
    window.setCentralWidget(grid);
    grid->setColumns({{"Номер", "nomer"}});
    grid->setDataSource(&p.source);
    QAction* window_delete = new QAction("Удалить", &window);
    window_delete->setShortcut(Qt::Key_Delete);
    window.addAction(window_delete);
    QMenu popup;
    QAction* popup_delete = popup.addAction("Пометить на удаление");
    popup_delete->setShortcut(Qt::Key_Delete);
    grid->setPopupMenu(&popup);
    QSignalSpy from_window(window_delete, &QAction::triggered);
    QSignalSpy from_popup(popup_delete, &QAction::triggered);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Delete);
    QCOMPARE(from_popup.count(), 1);
    QCOMPARE(from_window.count(), 0);
    popup_delete->setEnabled(false);  // a disabled popup item leaves the key to the window
    QTest::keyClick(grid, Qt::Key_Delete);
    QCOMPARE(from_window.count(), 1);
  }

  void ctrlDeleteAsksAndDeletesForGood() {
    PaymentsTable p;
    Fill(p);
    DataGrid grid;
    Bind(grid, p);
    QStringList asked;
    bool answer = false;
    grid.confirmDelete = [&](QWidget*, const QString& question) {
      asked << question;
      return answer;
    };
    p.table.SetRecNo(2);
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(asked, QStringList{"Удалить запись?"});
    QCOMPARE(p.table.RecordCount(), 5);  // Cancel
    QCOMPARE(p.table.RecNo(), 2);
    answer = true;
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(p.table.RecordCount(), 4);
    QCOMPARE(grid.model()->rowCount(), 4);
    QCOMPARE(p.table.FieldByName("nomer").AsInteger(), 3);  // the next record is current
    // Gone from the file, not marked.
    tdb::TDadaTable again;
    again.SetDatabaseName(p.path);
    again.SetTableName("t");
    again.SetIndexName("inomer");
    again.Open();
    QCOMPARE(again.RecordCount(), 4);
    QVERIFY(!again.Locate("nomer", {tdb::TVariant{int64_t{2}}}, 0));
  }
};

QTEST_MAIN(DataGridTest)
#include "data_grid_test.moc"
