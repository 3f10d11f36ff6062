// What every window of the program is given at creation: where the program
// lives and how it asks the user things.  Copied freely; `prompts` is not
// owned and must outlive every window.
#pragma once

#include <QString>

#include "ui/ui_prompts.h"

namespace ui {

struct AppContext {
  // The program directory, ending with a separator, or empty (then files are
  // looked up in the current directory).  Holds "formix.ini" and the
  // spreadsheet templates.
  QString programDir;
  UiPrompts* prompts = nullptr;
};

// The application's title, also the main window's caption.
inline const QString& ApplicationTitle() {
  static const QString title = QStringLiteral("Квитанции [ПД-4 ПД-(налог)]");
  return title;
}

}  // namespace ui
