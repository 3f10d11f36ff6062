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

#include "app/ui_prompts.h"

namespace app {

// The text to show for `error`; empty for the silent abort.
QString ErrorText(const std::exception_ptr& error);

// Shows the text of `error` through `prompts` (stderr when null).
void ReportError(const std::exception_ptr& error, UiPrompts* prompts);

}  // namespace app
