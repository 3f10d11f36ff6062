// The general error handler's one way of telling the user about a failure.
//
// The program's event dispatch (FormixApplication), the register's commands
// and the engine's timers all end a failed piece of work here, so the user
// sees every failure the same way: the text of the engine's error (or of any
// other exception) in an error box.  The silent abort (tdb::EAbort, a
// cancelled login for instance) shows nothing.  Without prompts the text goes
// to stderr.  User-interface thread only.
#pragma once

#include <QString>
#include <exception>

#include "ui/ui_prompts.h"

namespace ui {

// The text of an exception as the user reads it.  An engine error's message
// is Windows-1251, as every text of the engine is: the field, table and index
// names and the values it quotes are stored text, and the program names its
// files in ASCII.  Any other exception's text is UTF-8.
QString ErrorText(const std::exception& e);

// The text to show for `error`; empty for the silent abort.
QString ErrorText(const std::exception_ptr& error);

// Shows the text of `error` through `prompts` (stderr when null).
void ReportError(const std::exception_ptr& error, UiPrompts* prompts);

}  // namespace ui
