// Where the program's dialogs appear: centred on the screen or over a window.
// User-interface thread only.
#pragma once

class QWidget;

namespace ui {

// Moves `window` so that it is centred on the available area of its screen.
void CentreOnScreen(QWidget& window);

// Moves `window` so that it is centred over `over`; on the screen when `over`
// is null.
void CentreOver(QWidget& window, const QWidget* over);

}  // namespace ui
