// The general error handler's one way of telling the user about a failure.
//
// The program's event dispatch (FormixApplication), the register's commands
// and the engine's timers all end a failed piece of work here, so the user
// sees every failure the same way: in an error box, the Russian account of
// an engine failure (data/failure_text.h: what happened, to which file, what
// to do), or the text of any other exception.  The silent abort (tdb::EAbort, a
// cancelled login for instance) shows nothing.  Without prompts the text goes
// to stderr.  User-interface thread only.
#pragma once

#include <QString>
#include <exception>

#include "ui/ui_prompts.h"

namespace ui {

// The text of an exception as the user reads it.  An engine error is told by
// its kind and the names it carries, never by its English message; any other
// exception's text is UTF-8 and shown as it is.
QString ErrorText(const std::exception& e);

// The text to show for `error`; empty for the silent abort.  A damaged file
// shown without the offer to repair it is told to go to whoever looks after
// the program (no button to press there).
QString ErrorText(const std::exception_ptr& error);
// The text beside the offer to repair a damaged file: its advice names the
// "Восстановить…" button.
QString RepairOfferText(const std::exception_ptr& error);

// Shows the text of `error` through `prompts` (stderr when null); an engine
// error's English message goes to stderr as well.
void ReportError(const std::exception_ptr& error, UiPrompts* prompts);

}  // namespace ui
