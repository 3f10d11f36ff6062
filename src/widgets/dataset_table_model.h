// DataSetTableModel: a Qt table model over a table dataset, for grids.
//
// The model is bound to a data source (tdb::TDataSource) whose dataset is a
// table dataset (a file's or a server's); each column shows one field.  It
// answers for the rows a view asks about and nothing more: rows are read a
// block at a time with TDataSet::ReadRows (one hold of the file lock, or one
// query, per block) into
// a small cache of a few blocks, so memory does not grow with the table (the
// model keeps no per-row state; the dataset's view list is the only list of
// rows).  It follows the dataset through its data link:
//   - a new view (open, close, another order, a filter, a refresh, a source
//     enabled again) resets the model;
//   - a row a post or a delete inserted, removed, moved or changed is passed
//     on as that row's insertion, removal, move or data change;
//   - a move of the current record emits currentRowChanged, and
//     setCurrentRow moves the dataset's current record, so the view's
//     current row and the dataset's current record stay in step both ways.
// A pending insert or edit is not shown in the rows: they show what is stored.
// Amounts (currency fields) show as a clerk reads them, "1 240,50"; their
// edit text stays the plain number.
//
// A read that fails (a damaged file, a lost medium) shows empty cells for
// that block and emits readFailed once, queued, so that painting never raises;
// the signal carries the failure itself for the window to tell the user.  The
// failed block is not read again until the model resets (a new view), so a
// failure is reported once for every new view, not once for every paint.
//
// Ownership: the source and its dataset are not owned; unbind (or destroy the
// model) before they go.  User-interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "engine/dataset/dataset.h"

namespace tdb {
class TDataSource;
}  // namespace tdb

namespace widgets {

// One column of a grid: its title and the field it shows.
struct GridColumn {
  QString title;
  QString fieldName;         // matched without regard to letter case
  int width = -1;            // pixels; -1 keeps the grid's default
  bool titleButton = false;  // the title acts as a button (DataGrid::titleClicked)
  // Names an integer field's values show as: value n shows valueNames[n]
  // (a value without a name shows as stored).  The edit text stays the value.
  QStringList valueNames = {};
};

class DataSetTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // Roles beyond Qt's own.
  enum Role {
    EditTextRole = Qt::UserRole + 1,  // QString: the field's edit text (numbers unformatted, short dates)
    ValueRole,                        // the typed value (qint64, double, bool, QDateTime, QString)
    BookmarkRole,                     // int: the row's record number
  };

  // Rows are read this many at a time, and this many blocks are kept.
  static constexpr int kBlockRows = 64;
  static constexpr int kCachedBlocks = 8;

  explicit DataSetTableModel(QObject* parent = nullptr);
  ~DataSetTableModel() override;

  // Binds the model to `source` (nullptr unbinds); the model resets.
  void setDataSource(tdb::TDataSource* source);
  tdb::TDataSource* dataSource() const;
  // The bound table dataset while it is open; null otherwise.
  tdb::TDataSet* dataSet() const;

  // The columns; the model resets.  A field name the dataset lacks shows an
  // empty column.
  void setColumns(std::vector<GridColumn> columns);
  const std::vector<GridColumn>& columns() const { return columns_; }
  // Fields read with every row without a column of their own, for
  // fieldValue (a deletion mark a drawing hook looks at, for instance).
  void setExtraFields(const QStringList& names);

  // The typed value of a column's or an extra field's field in `row` (an
  // invalid QVariant for another field or a row outside the view).
  QVariant fieldValue(int row, const QString& fieldName) const;
  // The edit text of `column` in `row`.
  QString editText(int row, int column) const;
  // The field a column shows, while the dataset is open; null otherwise.
  tdb::TField* columnField(int column) const;

  // The dataset's current record as a row; -1 when there is none.
  int currentRow() const;
  // Makes `row` the dataset's current record (ending a pending edit as any
  // move does).  Rows outside the view and the current row are ignored, and
  // so is every call while the model passes on a change of the dataset (a
  // view moving its current index off a removed row must not move the
  // dataset: the dataset says where its current record went).
  void setCurrentRow(int row);

  // Shows the rows bottom up: row 0 is the view's last record.  The
  // dataset keeps its order; only the rows are counted from the other end
  // (no copy, no new index).  The model resets.
  void setReversed(bool reversed);
  bool reversed() const { return reversed_; }
  // Shows the rows in the order of `column`'s values (texts in the engine's
  // order of texts without regard to letter case, numbers and dates by
  // value; rows of equal values keep the view's order), or, with -1, in the
  // view's own order.  Meant for short lists whose tables have no index for
  // the column (the directories): the rows of the whole view are read at
  // once, held while the order lasts and read again with each new view and
  // each change of a row.  Reversal turns the sorted order round.  The
  // model resets.
  void setSortColumn(int column);
  int sortColumn() const { return sort_column_; }
  // The dataset's view position of `row`, and the row of a view position
  // (the same unless reversed or sorted).
  int positionOfRow(int row) const;
  int rowOfPosition(int position) const;

  // Incremental search: the row a user typing `text` in `column` lands on.
  // When the column's field orders the view (the first field of the current
  // index) the search is a nearest-key search (the first row not below the
  // text, as a prefix and without regard to letter case); when the rows are
  // sorted by the column, the first row whose text starts with it;
  // otherwise the first row from `from` on (wrapping round) whose text
  // starts with it.
  // `*match` tells whether the row found starts with the text.  -1 when
  // the view is empty or the text cannot be a value of the field.
  int searchRow(int column, const QString& text, int from, bool* match = nullptr) const;

  // Rows held in the cache now (at most kBlockRows * kCachedBlocks).
  int cachedRows() const;

  // QAbstractTableModel
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // The dataset's current record is now `row` (-1 none), whoever moved it.
  void currentRowChanged(int row);
  // Reading rows failed with `error`; the cells of those rows show empty.
  void readFailed(std::exception_ptr error);

 private:
  class Link;
  friend class Link;
  struct Block {
    int first = 0;
    unsigned long long used = 0;  // the last use, for dropping the oldest
    bool failed = false;
    std::vector<tdb::TRowValues> rows;
  };

  void resetFromDataSet();
  void applyRowChange(const tdb::TViewChange& change);
  void followCurrent(bool always);
  void resolveFields();
  void dropCache() const;
  void dropBlockOf(int row) const;
  // The row's values, read with its block when not cached; null outside the view.
  const tdb::TRowValues* rowValues(int row) const;
  int nearestRow(int column, const QString& text, bool* match) const;
  // Reads the whole view and sorts it by sort_column_; false (the view's
  // own order) when the rows cannot be read.
  bool sortRows();
  // Tells of a failed read once for the view (readFailed, queued).
  void reportReadFailure(std::exception_ptr error) const;

  std::unique_ptr<Link> link_;
  std::vector<GridColumn> columns_;
  QStringList extra_names_;
  // Resolved while open: per column and per extra field the index of the
  // field in the dataset's field list (-1 none), and where its value stands
  // in a row's values.
  std::vector<int> read_fields_;  // field indexes read with every row
  std::vector<int> column_slot_;  // per column: index into read_fields_, -1 none
  std::vector<int> extra_slot_;   // per extra name: index into read_fields_, -1 none
  int rows_ = 0;                  // rows as the view knows them
  // Between the begin and the end of a row change the view still counts the
  // rows as before it, while the dataset already holds the new view: this
  // maps a view position of the first to one of the second (-1: the row
  // removed).
  std::function<int(int)> remap_;
  int current_ = -1;              // the current row last announced
  bool reversed_ = false;         // rows counted from the view's last record
  int sort_column_ = -1;          // the column the rows are sorted by, -1 none
  // While sorted: the rows' values in the sorted order, and per view
  // position its place in it.
  std::vector<tdb::TRowValues> sorted_;
  std::vector<int> sorted_position_;  // per sorted row its view position
  std::vector<int> sorted_place_;     // per view position its sorted row
  bool passing_on_ = false;       // inside a change of the dataset being passed on
  mutable std::vector<Block> cache_;
  mutable unsigned long long clock_ = 0;
  mutable bool read_error_reported_ = false;
};

}  // namespace widgets
