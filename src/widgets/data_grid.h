// DataGrid: the data grid over a table dataset.
//
// A read-only table view on a DataSetTableModel that the grid owns.  What it
// offers a window:
//   - a title row whose titles may act as buttons (titleClicked) and that
//     shows one sort marker, ascending or descending, on the column the
//     window names (setSortMarker); clicking a title never moves or turns the
//     marker by itself;
//   - a record indicator column (a triangle at the current record), which
//     can also carry a warning sign on rows a window marks (setRowMark), the
//     mark's text showing as the sign's tooltip;
//   - no in-place editing; columns the user can resize; grid lines;
//   - the grid's current row and the dataset's current record in step both
//     ways (through the model);
//   - incremental search: text typed while the grid has the focus searches
//     the current column (DataSetTableModel::searchRow) and moves there;
//     Backspace takes back a character; a move, a click or a pause of
//     kSearchPause milliseconds starts a new search;
//   - a cell drawing hook, called after a cell is drawn normally with the
//     cell's rectangle, row and column (setCellPainter);
//   - a popup menu (setPopupMenu); while the grid has the focus the
//     shortcuts of the popup's actions take precedence over the window's;
//   - recordDoubleClicked on a double-click on a row;
//   - optionally several rows selected at once (setMultiSelection): Shift
//     with a move or a click extends the selection, Ctrl with a click adds a
//     row; Ctrl with a move key moves as the key alone does, so Ctrl+Home
//     and Ctrl+End still go to the first and the last record;
//   - Ctrl+Delete asks "Удалить запись?" (OK, Cancel) through confirmDelete
//     and on OK deletes the current record from the table for good.
// The vertical scroll bar is shown when the rows do not fit: a register of
// thousands of receipts is read by scrolling, and the bar is where a user
// sees how far down the list stands and drags to a place in it.
//
// Engine errors raised by a user's action (a move that posts, a delete)
// propagate out of the event handler to the application's error handler.
// User-interface thread only.
#pragma once

#include <QElapsedTimer>
#include <QTableView>
#include <functional>
#include <vector>

#include "widgets/dataset_table_model.h"

class QMenu;

namespace tdb {
class TDataSource;
}

namespace widgets {

class DataGrid : public QTableView {
  Q_OBJECT

 public:
  // Typing resumes the same search within this many milliseconds.
  static constexpr int kSearchPause = 1500;

  explicit DataGrid(QWidget* parent = nullptr);
  ~DataGrid() override;

  // Binds the grid to a data source (nullptr: no rows).  Not owned.
  void setDataSource(tdb::TDataSource* source);
  tdb::TDataSource* dataSource() const { return model_->dataSource(); }
  // The columns: titles, fields, widths and which titles act as buttons.
  void setColumns(std::vector<GridColumn> columns);
  const std::vector<GridColumn>& gridColumns() const { return model_->columns(); }
  // Fields read with every row for the drawing hook (DataSetTableModel::fieldValue).
  void setExtraFields(const QStringList& names) { model_->setExtraFields(names); }
  DataSetTableModel* dataModel() const { return model_; }

  // Shows the sort marker on `column` only (-1: none), pointing down for a
  // descending order.
  void setSortMarker(int column, bool descending = false);
  int sortMarker() const { return sort_marker_; }
  bool sortDescending() const { return sort_descending_; }

  // Called after a cell has been drawn normally; the painter is restored
  // afterwards.  `option` is the cell's style option (its state tells
  // whether the cell is selected).
  using CellPainter =
      std::function<void(QPainter& painter, const QRect& rect, int row, int column, const QStyleOptionViewItem& option)>;
  void setCellPainter(CellPainter painter);

  // Draws the rows whose boolean field `markField` (a column or an extra
  // field of the model) is true in markedTextColour() italics on white, over
  // the normal drawing and the selection: how the windows show records
  // marked for deletion.  Takes the place of the cell painter.
  void setMarkedRows(const QString& markField);
  // The scroll bars' grey.
  static QColor markedTextColour() { return QColor(200, 200, 200); }

  // The text of a row's mark, or an empty string for an unmarked row; the
  // indicator column draws a warning sign on a marked row and shows the text
  // as its tooltip.  Called for the rows being painted; an empty function
  // marks nothing.
  using RowMark = std::function<QString(int row)>;
  void setRowMark(RowMark mark);

  // The popup menu shown on a right click or the menu key; not owned.
  void setPopupMenu(QMenu* menu) { popup_ = menu; }
  QMenu* popupMenu() const { return popup_; }

  // Asks whether to delete the current record; true deletes.  The default
  // asks "Удалить запись?" with the buttons OK and Cancel.
  std::function<bool(QWidget* parent, const QString& question)> confirmDelete;

  // Several rows may be selected (false: one cell at a time, the default).
  void setMultiSelection(bool on);
  // The rows with a selected cell, in view order; the current row when none
  // is selected.
  std::vector<int> selectedRecordRows() const;

  // The text typed so far in the running incremental search.
  const QString& searchText() const { return search_text_; }

 signals:
  // A title that acts as a button was clicked.
  void titleClicked(int column);
  // A row was double-clicked (it is the current record by then).
  void recordDoubleClicked();

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event = nullptr) const override;

 private:
  class Delegate;
  class RecordIndicator;

  void followDataSetRow(int row);
  QAction* popupActionFor(const QKeyEvent* event) const;
  void searchTyped(const QString& text);
  void deleteCurrentRecord();

  DataSetTableModel* model_;  // owned through the QObject tree
  Delegate* delegate_;
  RecordIndicator* indicator_;  // the vertical header; owned through the QObject tree
  QMenu* popup_ = nullptr;
  int sort_marker_ = -1;
  bool sort_descending_ = false;
  bool following_ = false;  // the current index is being set from the dataset
  QString search_text_;
  QElapsedTimer last_typed_;
};

}  // namespace widgets
