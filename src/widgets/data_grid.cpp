// The data grid: title buttons and the sort marker, the record indicator,
// incremental search, the drawing hook, the popup menu and Ctrl+Delete.
#include "widgets/data_grid.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>

#include "engine/dataset/dataset.h"

namespace widgets {

// Draws a cell normally, then hands it to the window's hook.
class DataGrid::Delegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  CellPainter hook;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    if (!hook) return;
    painter->save();
    hook(*painter, option.rect, index.row(), index.column(), option);
    painter->restore();
  }
};

// The narrow column left of the rows with a triangle at the current record,
// and, when a window marks rows, a warning sign on each marked row.
class DataGrid::RecordIndicator : public QHeaderView {
 public:
  explicit RecordIndicator(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setHighlightSections(false);
  }
  int current = -1;
  RowMark mark;

  QSize sizeHint() const override {
    return QSize(mark ? kWidth + kSignWidth : kWidth, QHeaderView::sizeHint().height());
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QHeaderView::paintEvent(event);
    QPainter painter(viewport());
    if (mark) PaintSigns(painter, event->rect());
    if (current < 0 || current >= count()) return;
    const int top = sectionViewportPosition(current);
    const QRect rect(0, top, kWidth, sectionSize(current));
    if (!rect.intersects(event->rect())) return;
    const int h = std::min(rect.height() - 6, 8);
    const QPoint mid = rect.center();
    const QPoint corners[3] = {QPoint(mid.x() - h / 4, mid.y() - h / 2), QPoint(mid.x() - h / 4 + h / 2, mid.y()),
                               QPoint(mid.x() - h / 4, mid.y() + h / 2)};
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::WindowText));
    painter.drawPolygon(corners, 3);
  }

  bool viewportEvent(QEvent* event) override {
    if (event->type() != QEvent::ToolTip || !mark) return QHeaderView::viewportEvent(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const int row = logicalIndexAt(help->pos());
    const QString text = row >= 0 ? mark(row) : QString();
    if (text.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), text, viewport());
    }
    return true;
  }

 private:
  void PaintSigns(QPainter& painter, const QRect& area) {
    const int first = logicalIndexAt(area.top());
    int last = logicalIndexAt(area.bottom());
    if (first < 0) return;
    if (last < 0) last = count() - 1;
    const int side = std::min(kSignWidth - 2, defaultSectionSize() - 2);
    const QPixmap sign = style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(side, side);
    for (int row = first; row <= last; ++row) {
      if (mark(row).isEmpty()) continue;
      const int top = sectionViewportPosition(row);
      const QRect cell(kWidth, top, kSignWidth, sectionSize(row));
      painter.drawPixmap(QRect(QPoint(0, 0), QSize(side, side)).translated(cell.center() - QPoint(side / 2, side / 2)),
                         sign);
    }
  }

  static constexpr int kWidth = 14;
  static constexpr int kSignWidth = 14;
};

DataGrid::DataGrid(QWidget* parent)
    : QTableView(parent), model_(new DataSetTableModel(this)), delegate_(new Delegate(this)),
      indicator_(new RecordIndicator(this)) {
  setVerticalHeader(indicator_);
  setModel(model_);
  setItemDelegate(delegate_);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setShowGrid(true);
  setWordWrap(false);
  setTabKeyNavigation(false);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  const int row_height = fontMetrics().height() + 4;
  indicator_->setMinimumSectionSize(row_height);
  indicator_->setDefaultSectionSize(row_height);

  QHeaderView* titles = horizontalHeader();
  titles->setSectionResizeMode(QHeaderView::Interactive);
  titles->setSectionsClickable(true);
  titles->setHighlightSections(false);
  titles->setSortIndicatorShown(false);
  titles->setStretchLastSection(false);
  // A title is a button or nothing: it never selects its column (nor moves
  // the current record to the first row, as the view would where several
  // rows may be selected).
  disconnect(titles, &QHeaderView::sectionPressed, this, nullptr);
  disconnect(titles, &QHeaderView::sectionEntered, this, nullptr);
  connect(titles, &QHeaderView::sectionClicked, this, [this](int column) {
    search_text_.clear();
    const auto& columns = model_->columns();
    if (column >= 0 && static_cast<size_t>(column) < columns.size() && columns[static_cast<size_t>(column)].titleButton)
      emit titleClicked(column);
  });
  // A click on a title would turn the marker round: it stays where the window put it.
  connect(titles, &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
    const Qt::SortOrder marked = sort_descending_ ? Qt::DescendingOrder : Qt::AscendingOrder;
    if (sort_marker_ >= 0 && (column != sort_marker_ || order != marked))
      horizontalHeader()->setSortIndicator(sort_marker_, marked);
  });
  connect(model_, &DataSetTableModel::currentRowChanged, this, &DataGrid::followDataSetRow);

  confirmDelete = [](QWidget* parent_widget, const QString& question) {
    return QMessageBox::question(parent_widget, QString(), question, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Ok;
  };
}

DataGrid::~DataGrid() {
  // The model outlives this part of the grid: it must not call back into it.
  disconnect(model_, nullptr, this, nullptr);
}

void DataGrid::setDataSource(tdb::TDataSource* source) { model_->setDataSource(source); }

void DataGrid::setColumns(std::vector<GridColumn> columns) {
  const std::vector<GridColumn> copy = columns;
  model_->setColumns(std::move(columns));
  for (size_t c = 0; c < copy.size(); ++c)
    if (copy[c].width >= 0) setColumnWidth(static_cast<int>(c), copy[c].width);
  if (sort_marker_ >= static_cast<int>(copy.size())) setSortMarker(-1);
}

void DataGrid::setRowMark(RowMark mark) {
  indicator_->mark = std::move(mark);
  indicator_->updateGeometry();
  updateGeometries();
  indicator_->viewport()->update();
}

void DataGrid::setSortMarker(int column, bool descending) {
  sort_marker_ = column;
  sort_descending_ = descending;
  QHeaderView* titles = horizontalHeader();
  titles->setSortIndicatorShown(column >= 0);
  if (column >= 0) titles->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void DataGrid::setCellPainter(CellPainter painter) {
  delegate_->hook = std::move(painter);
  viewport()->update();
}

void DataGrid::setMarkedRows(const QString& markField) {
  setCellPainter([this, markField](QPainter& painter, const QRect& rect, int row, int column,
                                   const QStyleOptionViewItem& option) {
    const DataSetTableModel& model = *dataModel();
    if (!model.fieldValue(row, markField).toBool()) return;
    // The cell's text again (as every row shows it), grey and italic on white.
    painter.setClipRect(rect);
    painter.fillRect(rect, Qt::white);
    QFont italic = option.font;
    italic.setItalic(true);
    painter.setFont(italic);
    painter.setPen(markedTextColour());
    // Cut short with "…" where it does not fit, as the other rows' texts are.
    const QString text = QFontMetrics(italic).elidedText(model.data(model.index(row, column)).toString(),
                                                         textElideMode(), rect.width() - 4);
    const int alignment = model.data(model.index(row, column), Qt::TextAlignmentRole).toInt();
    const int width = QFontMetrics(italic).horizontalAdvance(text);
    const int left = (alignment & Qt::AlignRight) ? rect.right() - 2 - width : rect.left() + 2;
    painter.drawText(QRect(left, rect.top() + 2, qMax(width, rect.right() - left), rect.height() - 2),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  });
}

// ---- the current row ----

void DataGrid::followDataSetRow(int row) {
  following_ = true;
  indicator_->current = row;
  if (row < 0) {
    setCurrentIndex(QModelIndex());
  } else {
    const int column = std::max(currentIndex().column(), 0);
    const QModelIndex index = model_->index(row, column);
    // The view's own move (a click, a key) has set its current cell and
    // makes its own selection; a move onto a selected row (a window visiting
    // the selected records) keeps the selection.
    const bool several = selectionMode() == QAbstractItemView::ExtendedSelection;
    if (several && (currentIndex().row() == row || selectionModel()->isSelected(index))) {
      if (currentIndex().row() != row) selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    } else {
      setCurrentIndex(index);
    }
    scrollTo(currentIndex());
  }
  following_ = false;
  indicator_->viewport()->update();
}

void DataGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (current.column() != previous.column()) search_text_.clear();
  if (following_ || !current.isValid() || current.row() == previous.row()) return;
  indicator_->current = current.row();
  indicator_->viewport()->update();
  model_->setCurrentRow(current.row());
}

void DataGrid::setMultiSelection(bool on) {
  setSelectionMode(on ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

std::vector<int> DataGrid::selectedRecordRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : selectionModel()->selectedIndexes()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  if (rows.empty() && model_->currentRow() >= 0) rows.push_back(model_->currentRow());
  return rows;
}

QItemSelectionModel::SelectionFlags DataGrid::selectionCommand(const QModelIndex& index, const QEvent* event) const {
  // Qt leaves the current cell where it is on Ctrl with a move key while
  // several rows may be selected; here it moves as the key alone moves it.
  if (event && event->type() == QEvent::KeyPress && selectionMode() == QAbstractItemView::ExtendedSelection) {
    const auto* key = static_cast<const QKeyEvent*>(event);
    const bool move = key->key() == Qt::Key_Home || key->key() == Qt::Key_End || key->key() == Qt::Key_Up ||
                      key->key() == Qt::Key_Down || key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown ||
                      key->key() == Qt::Key_Left || key->key() == Qt::Key_Right;
    if (move && (key->modifiers() & Qt::ControlModifier) && !(key->modifiers() & Qt::ShiftModifier))
      return QItemSelectionModel::ClearAndSelect;
  }
  return QTableView::selectionCommand(index, event);
}

// ---- keys ----

QAction* DataGrid::popupActionFor(const QKeyEvent* event) const {
  if (!popup_) return nullptr;
  const QKeySequence pressed(event->keyCombination());
  for (QAction* action : popup_->actions()) {
    if (!action->isEnabled() || action->isSeparator()) continue;
    for (const QKeySequence& key : action->shortcuts())
      if (key.matches(pressed) == QKeySequence::ExactMatch) return action;
  }
  return nullptr;
}

bool DataGrid::event(QEvent* event) {
  // The popup's shortcuts win over the window's while the grid has the focus:
  // taking the override turns the key into a plain key press for the grid.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (popupActionFor(key) || (key->key() == Qt::Key_Delete && key->modifiers() == Qt::ControlModifier)) {
      event->accept();
      return true;
    }
  }
  return QTableView::event(event);
}

void DataGrid::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
    search_text_.clear();
    deleteCurrentRecord();
    return;
  }
  if (QAction* action = popupActionFor(event)) {
    search_text_.clear();
    action->trigger();
    return;
  }
  const Qt::KeyboardModifiers mods = event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
  if (event->key() == Qt::Key_Backspace && mods == Qt::NoModifier) {
    if (!search_text_.isEmpty()) {
      search_text_.chop(1);
      if (!search_text_.isEmpty()) searchTyped(QString());
    }
    return;
  }
  const QString text = event->text();
  if (mods == Qt::NoModifier && !text.isEmpty() && text.at(0).isPrint()) {
    searchTyped(text);
    return;
  }
  search_text_.clear();
  QTableView::keyPressEvent(event);
}

void DataGrid::searchTyped(const QString& text) {
  if (!last_typed_.isValid() || last_typed_.elapsed() > kSearchPause) {
    if (!text.isEmpty()) search_text_.clear();
  }
  last_typed_.start();
  search_text_ += text;
  const int column = std::max(currentIndex().column(), 0);
  const int row = model_->searchRow(column, search_text_, std::max(currentIndex().row(), 0));
  if (row < 0) return;
  setCurrentIndex(model_->index(row, column));
  scrollTo(currentIndex());
}

void DataGrid::deleteCurrentRecord() {
  tdb::TDataSet* ds = model_->dataSet();
  if (!ds || ds->RecordCount() == 0) return;
  if (!confirmDelete || !confirmDelete(this, QStringLiteral("Удалить запись?"))) return;
  ds->Delete();
}

// ---- mouse ----

void DataGrid::mousePressEvent(QMouseEvent* event) {
  search_text_.clear();
  QTableView::mousePressEvent(event);
}

void DataGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableView::mouseDoubleClickEvent(event);
  const QModelIndex at = indexAt(event->position().toPoint());
  if (!at.isValid()) return;
  if (at != currentIndex()) setCurrentIndex(at);
  emit recordDoubleClicked();
}

void DataGrid::contextMenuEvent(QContextMenuEvent* event) {
  if (!popup_) return;
  // A right click on a row makes it current first, as a left click would.
  if (event->reason() == QContextMenuEvent::Mouse) {
    QModelIndex at = indexAt(event->pos());
    if (at.isValid()) setCurrentIndex(at);
  }
  popup_->popup(event->globalPos());
}

}  // namespace widgets
