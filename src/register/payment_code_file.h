// Finding a bill's payment code in a file: a picture (PNG, JPEG, or any
// other format Qt reads) or a PDF document.
//
// Pictures are read with Qt's image reader, the format told by the file's
// content, not its name.  PDF pages are rasterised by poppler's `pdftoppm`
// in a child process under a time limit: a hostile or broken document can
// at worst make that process fail or be killed, never this one.  Only the
// first pages are looked at, at about 300 dpi for an A4 page.  QR symbols are
// found with zbar, which is told to hand over the symbol's bytes untouched:
// the payload's own character-set digit decides how they are decoded, which
// a guess at the encoding would undo for Windows-1251 and KOI8-R.
//
// Blocks the calling thread while it works (a PDF: until pdftoppm has
// finished or been killed).  Any thread; Qt's image classes only.
#pragma once

#include <QImage>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "data/payment_qr_reader.h"

namespace reg {

struct CodeScanLimits {
  QString pdftoppm = QStringLiteral("pdftoppm");
  int timeoutMs = 30000;   // for rasterising a PDF
  int maxPages = 5;        // PDF pages looked at
  int pageSide = 3500;     // pixels on a page's long side (about 300 dpi on A4)
};

// The raw bytes of every QR symbol in `image`, in the order found.
std::vector<std::string> QrSymbolsIn(const QImage& image);

// The outcome of reading a file: the payment code, or why there is none.
struct PaymentCodeRead {
  std::optional<receipts::ParsedQrPayload> payload;
  QString message;  // set when there is no payload; Russian
};

// Finds the payment code in the file at `path`.  When the file holds several
// symbols, the first that is a sound payment code is taken.  No payload and
// a message for a file that cannot be read, one that is neither a picture nor
// a PDF, a file without a QR symbol, symbols that are no payment code, or a
// damaged payment code (the reader's explanation).
PaymentCodeRead ReadPaymentCodeFile(const QString& path, const CodeScanLimits& limits = {});

// Whether a dropped file is worth trying: a name ending in an extension of a
// picture Qt reads or ".pdf".
bool LooksLikeCodeFile(const QString& path);

}  // namespace reg
