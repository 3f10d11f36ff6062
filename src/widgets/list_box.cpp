// The chooser's list: selection and the two ways of choosing.
#include "widgets/list_box.h"

#include <QKeyEvent>

namespace widgets {

ListBox::ListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) { emit chosen(row(item)); });
}

void ListBox::selectFirst() {
  clearSelection();
  if (count() == 0) return;
  setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
}

int ListBox::selectedRow() const {
  const QList<QListWidgetItem*> items = selectedItems();
  return items.isEmpty() ? -1 : row(items.first());
}

void ListBox::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier &&
      selectedRow() >= 0) {
    emit chosen(selectedRow());
    return;
  }
  QListWidget::keyPressEvent(event);
}

}  // namespace widgets
