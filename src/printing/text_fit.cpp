// Lays a value out the way the spreadsheet wraps it in a cell.
#include "printing/text_fit.h"

#include <QFont>
#include <QTextLayout>
#include <QTextOption>

namespace printing {
namespace {

// Text is laid out at ten pixels a point, large enough that hinting and
// pixel rounding do not change the breaks.
constexpr double kPixelsPerPoint = 10.0;
constexpr double kPointsPerMm = 72.0 / 25.4;
// The cell's padding on both sides together, and a share of the width kept
// free for the renderer's own rounding of advances.
constexpr double kCellPaddingMm = 0.8;
constexpr double kWidthReserve = 0.96;

int CountLines(const QString& text, const TextFrame& frame) {
  if (text.isEmpty()) return 0;
  QFont font(kFormFontFamily);
  font.setPixelSize(static_cast<int>(frame.pointSize * kPixelsPerPoint + 0.5));
  font.setHintingPreference(QFont::PreferNoHinting);
  QTextLayout layout(text, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  const double width = ((frame.widthMm - kCellPaddingMm) * kWidthReserve) * kPointsPerMm * kPixelsPerPoint;
  int lines = 0;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    ++lines;
  }
  layout.endLayout();
  return lines;
}

}  // namespace

int LinesNeeded(const QString& text, const TextFrame& frame) {
  QString flat = text;
  flat.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
  return CountLines(flat, frame);
}

FittedText FitText(const QString& text, const TextFrame& frame) {
  if (LinesNeeded(text, frame) <= frame.lines) return {text, false};
  static const QString kEllipsis = QStringLiteral("…");
  // The longest start that fits with the ellipsis, found by halving; then
  // the cut moves back to the word break before it, when there is one.
  int fits = 0, tooLong = static_cast<int>(text.size());
  while (tooLong - fits > 1) {
    const int middle = (fits + tooLong) / 2;
    if (LinesNeeded(text.left(middle).trimmed() + kEllipsis, frame) <= frame.lines)
      fits = middle;
    else
      tooLong = middle;
  }
  QString start = text.left(fits);
  const int space = static_cast<int>(start.lastIndexOf(QLatin1Char(' ')));
  if (space > fits / 2 && fits < text.size() && !text.at(fits).isSpace()) start.truncate(space);
  return {start.trimmed() + kEllipsis, true};
}

}  // namespace printing
