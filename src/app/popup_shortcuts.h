// Gives the shortcuts of a widget's popup menu precedence over the window's.
//
// Qt refuses a key that two active shortcuts share (neither runs).  A menu
// that pops up over a widget should instead win while that widget has the
// focus: this filter, installed on the widget, claims such a key before the
// window's shortcuts see it (ShortcutOverride) and runs the popup's action
// itself.  Keys that no enabled action of the menu has pass on untouched.
//
// Owned by the widget it filters (its parent); the menu must outlive it.
// User-interface thread only.
#pragma once

#include <QMenu>
#include <QObject>

namespace app {

class PopupShortcuts : public QObject {
 public:
  // Installs itself on `widget` for the actions of `menu`.
  PopupShortcuts(QWidget* widget, const QMenu* menu);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QAction* Match(const QKeyEvent& key) const;
  const QMenu* menu_;
};

}  // namespace app
