// Popup shortcuts that win while their widget has the focus.
#include "app/popup_shortcuts.h"

#include <QKeyEvent>

namespace app {

PopupShortcuts::PopupShortcuts(QWidget* widget, const QMenu* menu) : QObject(widget), menu_(menu) {
  widget->installEventFilter(this);
}

QAction* PopupShortcuts::Match(const QKeyEvent& key) const {
  // The keypad's Enter counts as Enter, as the menus show it.
  const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
  const int code = key.key() == Qt::Key_Enter ? Qt::Key_Return : key.key();
  const QKeySequence pressed(QKeyCombination(modifiers, Qt::Key(code)));
  for (QAction* action : menu_->actions()) {
    if (action->isEnabled() && !action->shortcut().isEmpty() &&
        action->shortcut().matches(pressed) == QKeySequence::ExactMatch) {
      return action;
    }
  }
  return nullptr;
}

bool PopupShortcuts::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress) {
    return QObject::eventFilter(watched, event);
  }
  QAction* action = Match(*static_cast<QKeyEvent*>(event));
  if (!action) return false;
  if (event->type() == QEvent::ShortcutOverride) {
    event->accept();
    return true;
  }
  action->trigger();
  return true;
}

}  // namespace app
