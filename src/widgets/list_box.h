// ListBox: the single-selection list of a chooser dialog.
//
// A double-click on an item, or Enter, chooses the selected item (chosen).
// selectFirst puts the selection on the first item, as a chooser does each
// time it is shown.  Items keep their text as their accessible name.
// User-interface thread only.
#pragma once

#include <QListWidget>

namespace widgets {

class ListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit ListBox(QWidget* parent = nullptr);
  // Selects the first item (none when empty) and makes it current.
  void selectFirst();
  // The selected position, -1 when none.
  int selectedRow() const;

 signals:
  // The user chose the item at `row` (double-click or Enter).
  void chosen(int row);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace widgets
