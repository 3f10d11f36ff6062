// The table model over a table dataset: the block cache of rows, the link
// that follows the dataset, and the current row kept in step.
#include "widgets/dataset_table_model.h"

#include <QDateTime>
#include <QTimeZone>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <numeric>
#include <optional>

#include "engine/base/database_error.h"
#include "engine/compare/collation.h"
#include "engine/dataset/data_source.h"
#include "engine/locale/format_settings.h"
#include "widgets/data_text.h"

namespace widgets {
namespace {

bool IsNumeric(tdb::TFieldType type) {
  switch (type) {
    case tdb::ftSmallint:
    case tdb::ftInteger:
    case tdb::ftWord:
    case tdb::ftAutoInc:
    case tdb::ftLargeint:
    case tdb::ftFloat:
    case tdb::ftCurrency: return true;
    default: return false;
  }
}

bool IsDateTime(tdb::TFieldType type) {
  return type == tdb::ftDate || type == tdb::ftTime || type == tdb::ftDateTime;
}

QVariant ToQVariant(const tdb::TVariant& value, tdb::TFieldType type) {
  if (const bool* b = std::get_if<bool>(&value)) return *b;
  if (const int64_t* i = std::get_if<int64_t>(&value)) return static_cast<qint64>(*i);
  if (const double* d = std::get_if<double>(&value)) {
    if (!IsDateTime(type)) return *d;
    // Days since 30 December 1899, the time of day as the fraction.
    const double days = std::floor(*d);
    const qint64 ms = std::llround((*d - days) * 86400000.0);
    QDateTime at(QDate(1899, 12, 30).addDays(static_cast<qint64>(days)), QTime(0, 0), QTimeZone::utc());
    return at.addMSecs(ms);
  }
  if (const std::string* s = std::get_if<std::string>(&value)) return FromCp1251(*s);
  return QVariant();
}

// An amount as a clerk reads it: the roubles in groups of three digits, the
// two kopeck digits after the decimal separator ("1 240,50").
QString AmountText(double amount) {
  QString text = QString::number(amount, 'f', 2);
  const qsizetype point = text.indexOf(QLatin1Char('.'));
  const qsizetype digits = text.startsWith(QLatin1Char('-')) ? 1 : 0;
  for (qsizetype at = point - 3; at > digits; at -= 3) text.insert(at, QLatin1Char(' '));
  return text.replace(QLatin1Char('.'), QLatin1Char(tdb::CurrentFormatSettings()->decimal_separator));
}

// -1, 0 or 1 as `a` sorts before, with or after `b`: texts by the engine's
// order without regard to letter case, numbers, dates and truth by value,
// an empty value first.
int CompareValues(const tdb::TVariant& a, const tdb::TVariant& b) {
  const std::string* ta = std::get_if<std::string>(&a);
  const std::string* tb = std::get_if<std::string>(&b);
  if (ta && tb) return tdb::CompareText(*ta, *tb, tdb::TCaseSensitivity::kInsensitive);
  auto number = [](const tdb::TVariant& v) -> std::optional<double> {
    if (const bool* x = std::get_if<bool>(&v)) return *x ? 1.0 : 0.0;
    if (const int64_t* x = std::get_if<int64_t>(&v)) return static_cast<double>(*x);
    if (const double* x = std::get_if<double>(&v)) return *x;
    return std::nullopt;
  };
  const std::optional<double> na = number(a), nb = number(b);
  if (na && nb) return *na < *nb ? -1 : *na > *nb ? 1 : 0;
  // Unlike kinds (no value against one): the empty one first.
  return a.index() < b.index() ? -1 : a.index() > b.index() ? 1 : 0;
}

}  // namespace

// Turns the dataset's news into the model's.
class DataSetTableModel::Link : public tdb::TDataLink {
 public:
  explicit Link(DataSetTableModel& model) : model_(model) {}

 protected:
  void ActiveChanged() override { model_.resetFromDataSet(); }
  void DataSetChanged() override { model_.resetFromDataSet(); }
  void LayoutChanged() override { model_.resetFromDataSet(); }
  void DataSetScrolled(int) override { model_.followCurrent(false); }
  void ViewRowChanged(const tdb::TViewChange& change) override { model_.applyRowChange(change); }

 private:
  DataSetTableModel& model_;
};

DataSetTableModel::DataSetTableModel(QObject* parent) : QAbstractTableModel(parent), link_(std::make_unique<Link>(*this)) {}

DataSetTableModel::~DataSetTableModel() {
  // Views may be half destroyed by now: unbinding tells no one.
  blockSignals(true);
  link_->SetDataSource(nullptr);
}

void DataSetTableModel::setDataSource(tdb::TDataSource* source) {
  if (source == link_->DataSource()) return;
  link_->SetDataSource(source);
  resetFromDataSet();
}

tdb::TDataSource* DataSetTableModel::dataSource() const { return link_->DataSource(); }

tdb::TDataSet* DataSetTableModel::dataSet() const {
  if (!link_->Active()) return nullptr;
  return link_->DataSet();
}

void DataSetTableModel::setColumns(std::vector<GridColumn> columns) {
  beginResetModel();
  columns_ = std::move(columns);
  if (sort_column_ >= static_cast<int>(columns_.size())) sort_column_ = -1;
  resolveFields();
  dropCache();
  sortRows();
  endResetModel();
}

void DataSetTableModel::setExtraFields(const QStringList& names) {
  beginResetModel();
  extra_names_ = names;
  resolveFields();
  dropCache();
  sortRows();
  endResetModel();
}

void DataSetTableModel::resolveFields() {
  read_fields_.clear();
  column_slot_.assign(columns_.size(), -1);
  extra_slot_.assign(static_cast<size_t>(extra_names_.size()), -1);
  tdb::TDataSet* ds = dataSet();
  if (!ds) return;
  auto slot_of = [&](const QString& name) {
    tdb::TField* field = ds->FindField(ToCp1251(name));
    if (!field) return -1;
    int index = -1;
    for (int i = 0; i < ds->FieldCount(); ++i)
      if (&ds->Field(i) == field) index = i;
    auto at = std::find(read_fields_.begin(), read_fields_.end(), index);
    if (at != read_fields_.end()) return static_cast<int>(at - read_fields_.begin());
    read_fields_.push_back(index);
    return static_cast<int>(read_fields_.size()) - 1;
  };
  for (size_t c = 0; c < columns_.size(); ++c) column_slot_[c] = slot_of(columns_[c].fieldName);
  for (qsizetype e = 0; e < extra_names_.size(); ++e) extra_slot_[static_cast<size_t>(e)] = slot_of(extra_names_[e]);
}

tdb::TField* DataSetTableModel::columnField(int column) const {
  tdb::TDataSet* ds = dataSet();
  if (!ds || column < 0 || static_cast<size_t>(column) >= column_slot_.size()) return nullptr;
  int slot = column_slot_[static_cast<size_t>(column)];
  return slot < 0 ? nullptr : &ds->Field(read_fields_[static_cast<size_t>(slot)]);
}

// ---- following the dataset ----

void DataSetTableModel::resetFromDataSet() {
  if (signalsBlocked()) return;
  struct Passing {
    bool& flag;
    bool outer;
    ~Passing() {
      if (outer) flag = false;
    }
  } passing{passing_on_, !passing_on_};
  passing_on_ = true;
  beginResetModel();
  resolveFields();
  dropCache();
  read_error_reported_ = false;
  tdb::TDataSet* ds = dataSet();
  rows_ = ds ? ds->RecordCount() : 0;
  sortRows();
  endResetModel();
  if (passing.outer) passing_on_ = false;
  followCurrent(true);
}

void DataSetTableModel::applyRowChange(const tdb::TViewChange& change) {
  tdb::TDataSet* ds = dataSet();
  if (!ds) return;
  if (sort_column_ >= 0) {
    // A changed row may stand elsewhere in the sorted order: sort afresh.
    resetFromDataSet();
    return;
  }
  // Positions are the dataset's; rows count from the other end when reversed.
  const int p = change.position;
  const int n = rows_;
  dropCache();
  {
    // Cleared however the views' handlers end.
    struct Passing {
      bool& flag;
      ~Passing() { flag = false; }
    } passing{passing_on_};
    passing_on_ = true;
    switch (change.kind) {
      case tdb::TViewChange::kInserted: {
        if (p < 0 || p > n) break;
        remap_ = [p](int position) { return position < p ? position : position + 1; };
        const int row = reversed_ ? n - p : p;
        beginInsertRows(QModelIndex(), row, row);
        remap_ = nullptr;
        ++rows_;
        endInsertRows();
        break;
      }
      case tdb::TViewChange::kRemoved: {
        if (p < 0 || p >= n) break;
        remap_ = [p](int position) { return position < p ? position : position == p ? -1 : position - 1; };
        const int row = reversed_ ? n - 1 - p : p;
        beginRemoveRows(QModelIndex(), row, row);
        remap_ = nullptr;
        --rows_;
        endRemoveRows();
        break;
      }
      case tdb::TViewChange::kMoved: {
        const int to = change.to;
        if (p < 0 || p >= n || to < 0 || to >= n || p == to) break;
        remap_ = [p, to](int position) {
          if (position == p) return to;
          const int without = position > p ? position - 1 : position;
          return without >= to ? without + 1 : without;
        };
        const int from_row = reversed_ ? n - 1 - p : p;
        const int to_row = reversed_ ? n - 1 - to : to;
        // Qt counts the destination before the move: past the row when moving down.
        const bool moving =
            beginMoveRows(QModelIndex(), from_row, from_row, QModelIndex(), to_row > from_row ? to_row + 1 : to_row);
        remap_ = nullptr;
        if (moving) endMoveRows();
        break;
      }
      case tdb::TViewChange::kChanged: {
        if (p < 0 || p >= n) break;
        const int row = reversed_ ? n - 1 - p : p;
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
        break;
      }
    }
  }
  // A row change missed (a handler that failed on an earlier one) must not
  // leave the view counting rows the dataset does not have.
  if (rows_ != ds->RecordCount()) resetFromDataSet();
}

void DataSetTableModel::followCurrent(bool always) {
  int row = currentRow();
  if (!always && row == current_) return;
  current_ = row;
  emit currentRowChanged(row);
}

int DataSetTableModel::currentRow() const {
  tdb::TDataSet* ds = dataSet();
  if (!ds || ds->RecordCount() == 0) return -1;
  const int position = std::clamp(ds->RecNo() - 1, 0, ds->RecordCount() - 1);
  const int row = static_cast<size_t>(position) < sorted_place_.size() ? sorted_place_[static_cast<size_t>(position)]
                                                                      : position;
  return reversed_ ? ds->RecordCount() - 1 - row : row;
}

void DataSetTableModel::setCurrentRow(int row) {
  tdb::TDataSet* ds = dataSet();
  if (passing_on_ || !ds || row < 0 || row >= ds->RecordCount() || row == currentRow()) return;
  ds->SetRecNo(positionOfRow(row) + 1);
}

void DataSetTableModel::setReversed(bool reversed) {
  if (reversed == reversed_) return;
  beginResetModel();
  reversed_ = reversed;
  dropCache();
  endResetModel();
  followCurrent(true);
}

void DataSetTableModel::setSortColumn(int column) {
  if (column < -1 || column >= columnCount()) column = -1;
  if (column == sort_column_) return;
  beginResetModel();
  sort_column_ = column;
  dropCache();
  sortRows();
  endResetModel();
  followCurrent(true);
}

bool DataSetTableModel::sortRows() {
  sorted_.clear();
  sorted_position_.clear();
  sorted_place_.clear();
  tdb::TDataSet* ds = dataSet();
  if (!ds || sort_column_ < 0 || static_cast<size_t>(sort_column_) >= column_slot_.size()) return false;
  const int slot = column_slot_[static_cast<size_t>(sort_column_)];
  if (slot < 0) return false;
  std::vector<tdb::TRowValues> rows;
  try {
    constexpr int kStep = 1024;
    for (int first = 0; first < rows_; first += kStep) {
      std::vector<tdb::TRowValues> part = ds->ReadRows(first, std::min(kStep, rows_ - first), read_fields_);
      std::move(part.begin(), part.end(), std::back_inserter(rows));
    }
  } catch (const std::exception&) {
    reportReadFailure(std::current_exception());
    return false;
  }
  if (static_cast<int>(rows.size()) != rows_) return false;
  std::vector<int> order(rows.size());
  std::iota(order.begin(), order.end(), 0);
  const size_t at = static_cast<size_t>(slot);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return CompareValues(rows[static_cast<size_t>(a)].Values[at], rows[static_cast<size_t>(b)].Values[at]) < 0;
  });
  sorted_.reserve(rows.size());
  sorted_position_ = order;
  sorted_place_.assign(rows.size(), 0);
  for (size_t r = 0; r < order.size(); ++r) {
    sorted_.push_back(std::move(rows[static_cast<size_t>(order[r])]));
    sorted_place_[static_cast<size_t>(order[r])] = static_cast<int>(r);
  }
  return true;
}

int DataSetTableModel::positionOfRow(int row) const {
  if (reversed_) row = rows_ - 1 - row;
  return row >= 0 && static_cast<size_t>(row) < sorted_position_.size() && !sorted_.empty()
             ? sorted_position_[static_cast<size_t>(row)]
             : row;
}

int DataSetTableModel::rowOfPosition(int position) const {
  if (position >= 0 && static_cast<size_t>(position) < sorted_place_.size())
    position = sorted_place_[static_cast<size_t>(position)];
  return reversed_ ? rows_ - 1 - position : position;
}

// ---- the cache ----

void DataSetTableModel::dropCache() const { cache_.clear(); }

int DataSetTableModel::cachedRows() const {
  int rows = 0;
  for (const Block& block : cache_) rows += static_cast<int>(block.rows.size());
  return rows;
}

void DataSetTableModel::dropBlockOf(int row) const {
  const int first = row - row % kBlockRows;
  cache_.erase(std::remove_if(cache_.begin(), cache_.end(), [&](const Block& b) { return b.first == first; }),
               cache_.end());
}

const tdb::TRowValues* DataSetTableModel::rowValues(int row) const {
  tdb::TDataSet* ds = dataSet();
  if (!ds || row < 0 || row >= rows_) return nullptr;
  if (reversed_) row = rows_ - 1 - row;
  if (!sorted_.empty()) return static_cast<size_t>(row) < sorted_.size() ? &sorted_[static_cast<size_t>(row)] : nullptr;
  if (remap_) row = remap_(row);
  if (row < 0 || row >= ds->RecordCount()) return nullptr;
  const int first = row - row % kBlockRows;
  auto found = std::find_if(cache_.begin(), cache_.end(), [&](const Block& b) { return b.first == first; });
  if (found == cache_.end()) {
    Block block;
    block.first = first;
    try {
      block.rows = ds->ReadRows(first, kBlockRows, read_fields_);
    } catch (const std::exception&) {
      block.failed = true;
      reportReadFailure(std::current_exception());
    }
    if (static_cast<int>(cache_.size()) >= kCachedBlocks)
      cache_.erase(std::min_element(cache_.begin(), cache_.end(),
                                    [](const Block& a, const Block& b) { return a.used < b.used; }));
    cache_.push_back(std::move(block));
    found = cache_.end() - 1;
  }
  found->used = ++clock_;
  const size_t at = static_cast<size_t>(row - first);
  if (found->failed || at >= found->rows.size()) return nullptr;
  return &found->rows[at];
}

void DataSetTableModel::reportReadFailure(std::exception_ptr error) const {
  if (read_error_reported_) return;
  read_error_reported_ = true;
  auto* self = const_cast<DataSetTableModel*>(this);
  QMetaObject::invokeMethod(self, [self, error] { emit self->readFailed(error); }, Qt::QueuedConnection);
}

// ---- values ----

QVariant DataSetTableModel::fieldValue(int row, const QString& fieldName) const {
  auto slot_value = [&](int slot) -> QVariant {
    const tdb::TRowValues* values = slot >= 0 ? rowValues(row) : nullptr;
    if (!values) return QVariant();
    tdb::TDataSet* ds = dataSet();
    return ToQVariant(values->Values[static_cast<size_t>(slot)],
                      ds->Field(read_fields_[static_cast<size_t>(slot)]).DataType());
  };
  const std::string name = ToCp1251(fieldName);
  for (qsizetype e = 0; e < extra_names_.size(); ++e)
    if (tdb::SameTextIgnoringCase(ToCp1251(extra_names_[e]), name)) return slot_value(extra_slot_[static_cast<size_t>(e)]);
  for (size_t c = 0; c < columns_.size(); ++c)
    if (tdb::SameTextIgnoringCase(ToCp1251(columns_[c].fieldName), name)) return slot_value(column_slot_[c]);
  return QVariant();
}

QString DataSetTableModel::editText(int row, int column) const {
  if (column < 0 || static_cast<size_t>(column) >= column_slot_.size()) return QString();
  const int slot = column_slot_[static_cast<size_t>(column)];
  const tdb::TRowValues* values = slot >= 0 ? rowValues(row) : nullptr;
  return values ? FromCp1251(values->Texts[static_cast<size_t>(slot)]) : QString();
}

int DataSetTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int DataSetTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant DataSetTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.column() >= columnCount()) return QVariant();
  const int row = index.row();
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole: {
      tdb::TField* field = columnField(column);
      if (const QStringList& names = columns_[static_cast<size_t>(column)].valueNames; !names.isEmpty()) {
        const QVariant value = fieldValue(row, columns_[static_cast<size_t>(column)].fieldName);
        bool integer = false;
        const qlonglong n = value.toLongLong(&integer);
        if (value.typeId() == QMetaType::LongLong && integer && n >= 0 && n < names.size())
          return names[static_cast<qsizetype>(n)];
      }
      if (field && field->DataType() == tdb::ftCurrency) {
        QVariant value = fieldValue(row, columns_[static_cast<size_t>(column)].fieldName);
        if (!value.isValid()) return QString();
        return AmountText(value.toDouble());
      }
      return editText(row, column);
    }
    case EditTextRole:
    case Qt::ToolTipRole: return editText(row, column);
    case ValueRole: return fieldValue(row, columns_[static_cast<size_t>(column)].fieldName);
    case BookmarkRole: {
      const tdb::TRowValues* values = rowValues(row);
      return values ? QVariant(values->Bookmark) : QVariant();
    }
    case Qt::TextAlignmentRole: {
      tdb::TField* field = columnField(column);
      // Numbers to the right; values shown by name read as text.
      bool right = field && IsNumeric(field->DataType()) && columns_[static_cast<size_t>(column)].valueNames.isEmpty();
      return QVariant::fromValue(Qt::Alignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    }
    default: return QVariant();
  }
}

QVariant DataSetTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return QVariant();
  if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
    return columns_[static_cast<size_t>(section)].title;
  return QVariant();
}

Qt::ItemFlags DataSetTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

// ---- incremental search ----

int DataSetTableModel::searchRow(int column, const QString& text, int from, bool* match) const {
  bool dummy = false;
  bool& matched = match ? *match : dummy;
  matched = false;
  tdb::TDataSet* ds = dataSet();
  tdb::TField* field = columnField(column);
  if (!ds || !field || rows_ == 0 || text.isEmpty()) return -1;

  // The column orders the view: a nearest-key search of the order.
  if (const std::string fields = ds->IndexFields(); !fields.empty() && sort_column_ < 0) {
    const std::string first_field = fields.substr(0, fields.find_first_of(",;"));
    if (tdb::SameTextIgnoringCase(first_field, field->FieldName())) return nearestRow(column, text, &matched);
  }

  // Any other column: the next row whose text begins with the typed text;
  // in rows sorted by the column, the first of them.
  const int start = sort_column_ == column ? 0 : std::clamp(from, 0, rows_ - 1);
  for (int i = 0; i < rows_; ++i) {
    const int row = (start + i) % rows_;
    if (editText(row, column).startsWith(text, Qt::CaseInsensitive)) {
      matched = true;
      return row;
    }
  }
  return -1;
}

int DataSetTableModel::nearestRow(int column, const QString& text, bool* match) const {
  tdb::TDataSet* table = dataSet();
  tdb::TField* field = columnField(column);
  const bool is_text = tdb::IsStringFieldType(field->DataType());
  try {
    tdb::TNearest found = table->FindNearest(*field, tdb::TVariant{ToCp1251(is_text ? text : text.trimmed())},
                                             /*partial=*/is_text, /*case_insensitive=*/true);
    *match = found.Match;
    if (found.Position < 0 || !reversed_) return found.Position;
    // Bottom up, the rows holding the key end where the search landed: the
    // first of them shown is the last in the order.
    if (!found.Match) return rows_ - 1 - std::max(0, found.Position - 1);
    const QVariant key = fieldValue(rows_ - 1 - found.Position, columns_[static_cast<size_t>(column)].fieldName);
    auto holds = [&](int position) {
      const int row = rows_ - 1 - position;
      return is_text ? editText(row, column).startsWith(text, Qt::CaseInsensitive)
                     : fieldValue(row, columns_[static_cast<size_t>(column)].fieldName) == key;
    };
    // The run of rows holding it is sorted together: halve it.
    int lo = found.Position, hi = rows_ - 1;
    while (lo < hi) {
      const int mid = lo + (hi - lo + 1) / 2;
      if (holds(mid)) lo = mid;
      else hi = mid - 1;
    }
    return rows_ - 1 - lo;
  } catch (const tdb::EDatabaseError&) {
    // Text that is no value of the field yet (half a date, a letter in a number).
    return -1;
  }
}

}  // namespace widgets
