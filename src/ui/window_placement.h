// Where the program's dialogs appear: centred on the screen or over a window;
// and how wide a small dialog must be for its caption.
// User-interface thread only.
#pragma once

class QFont;
class QString;
class QWidget;

namespace ui {

// Moves `window` so that it is centred on the available area of its screen.
void CentreOnScreen(QWidget& window);

// Moves `window` so that it is centred over `over`; on the screen when `over`
// is null.
void CentreOver(QWidget& window, const QWidget* over);

// The width `window` needs for its whole caption in the title bar: the title
// in bold (as window managers draw it) beside the window's icon and its
// three buttons.
int CaptionWidth(const QWidget& window);
// The same for a caption `title` drawn from `font` (bolded here).
int CaptionWidth(const QFont& font, const QString& title);

}  // namespace ui
