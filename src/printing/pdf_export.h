// Rendering a filled form to PDF with a headless LibreOffice, and the
// "Сохранить в PDF…" command built on it.
//
// LibreOffice runs as `soffice --headless --convert-to pdf` with a profile
// folder of ours (so that it neither waits for nor disturbs a LibreOffice the
// user has open), in a process group of its own, under a time limit: when it
// does not finish in time the whole group is killed, and after every run the
// group is cleared, so no process of ours is left behind.  The PDF reaches its
// place in one rename: the user's folder never holds half a file.  The
// calls block the user-interface thread while LibreOffice works and show the
// waiting cursor meanwhile.
#pragma once

#include <QString>
#include <functional>

#include "data/receipt_values.h"
#include "printing/receipt_forms.h"

namespace printing {

struct PdfRenderer {
  QString soffice = QStringLiteral("soffice");
  // LibreOffice's profile folder; created on first use.
  QString profileDir;
  int timeoutMs = 60000;
};

// The renderer the program uses: its profile under the user's cache folder.
PdfRenderer DefaultPdfRenderer();

// Renders the workbook `workbook` to the PDF file `pdf`, replacing it.
// Raises PrintError when LibreOffice is missing, fails or runs out of time.
void RenderPdf(const PdfRenderer& renderer, const QString& workbook, const QString& pdf);

// "Сохранить в PDF…": the receipt's form (chosen as for printing) filled and
// rendered into the PDF file that `askPath` names; an empty name ends the
// command quietly.  The filled copy is removed afterwards.
void SaveReceiptPdf(const receipts::ReceiptValues& receipt, const QString& programDir, const FormChooser& choose,
                    const std::function<QString()>& askPath, const PdfRenderer& renderer,
                    const PrintOptions& options = {});

// Fills `layout` from `receipt` as the print does and answers the path of
// the filled copy, in a new folder of its own under `tempRoot` (the caller
// removes the folder).  Raises PrintError as PrintLayout does.
QString FillWorkbook(const receipts::ReceiptValues& receipt, ReceiptLayout layout, const QString& programDir,
                     const PrintOptions& options, const QString& tempRoot);

}  // namespace printing
