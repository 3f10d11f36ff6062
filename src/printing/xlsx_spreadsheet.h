// The spreadsheet application of this platform: the template is filled as an
// .xlsx file in memory, and the filled copy is handed to the user.
//
// Open loads the template (XlsxWorkbook); cells and pictures are written in
// memory.  The filled copy is made once the application is visible and a
// worksheet has been activated, which is the end of every print: it is saved
// in a fresh temporary folder of its own, under the template's file name, and
// given to the presenter, which by default opens it, detached, with the
// desktop's application for spreadsheets.  The copy is never written into
// the template's folder or over an earlier copy, and the template is never
// changed.  Copies of prints more than a week old are removed then.  Failures raise PrintError or XlsxError.  User-interface thread.
#pragma once

#include <QDir>
#include <QString>
#include <functional>

#include "printing/spreadsheet.h"

namespace printing {

// What is done with a filled copy at `path`.
using Presenter = std::function<void(const QString& path)>;

// Whether the desktop has an application for .xlsx workbooks.
bool DesktopOpensSpreadsheets();

// Opens `path` with the desktop's handler for its type; raises PrintError
// when the desktop has none or cannot start it.
void OpenWithDesktop(const QString& path);

// Starts an .xlsx application whose filled copies go to `present`, each in a
// new folder under `tempRoot`.
SpreadsheetStarter XlsxStarter(Presenter present = OpenWithDesktop, QString tempRoot = QDir::tempPath());

}  // namespace printing
