// The program speaks Russian whatever LANG says: Qt's own texts (standard
// buttons, file dialogs, the calendar, the names of keys in menus) come from
// Qt's Russian translations, and every widget formats numbers and dates with
// a Russian locale (decimal comma, Russian month and day names).
#pragma once

class QCoreApplication;

namespace ui {

// Installs the Russian translations of Qt into `application` and makes the
// Russian locale the default.  Returns false when Qt's translations are not
// installed (the texts of Qt's own widgets then stay English).  Call once,
// before any window is created.
bool UseRussian(QCoreApplication& application);

}  // namespace ui
