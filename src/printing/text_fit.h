// Fitting a value into the frame the printed form gives it.
//
// A frame is a cell (or merged cells) of a template that wraps its text onto
// a fixed number of lines at a fixed type size, never smaller: the blanks are
// read by a bank clerk, so a long value may take the lines the blank gives it
// but must not shrink into an unreadable size.  FitText lays the value out as
// the spreadsheet will (the same face's metrics, line breaks between words,
// a word longer than a line broken inside) and, when even all the lines do
// not hold it, cuts it at a word with "…" so that the clerk sees the print
// is incomplete.  The measure leaves a margin for the cell's own padding and
// for the renderer's rounding, so that what fits here fits on paper.
//
// Needs a QGuiApplication (font metrics); user-interface thread.
#pragma once

#include <QString>

namespace printing {

// The face the templates name ("Arial") is rendered with this one, which
// has the same metrics and is installed with the program's dependencies.
inline const QString kFormFontFamily = QStringLiteral("Liberation Sans");

// The smallest type a value is ever printed in, in points.
inline constexpr double kSmallestPrintedPoints = 7.0;

struct TextFrame {
  double widthMm;     // inner width of the cell or merged cells
  int lines;          // lines the frame holds
  double pointSize;   // size of the template's type in the frame
};

struct FittedText {
  QString text;  // what to write: the value, or its start and "…"
  bool cut = false;
};

// The number of lines `text` takes in `frame`'s width at its size.
int LinesNeeded(const QString& text, const TextFrame& frame);

// `text` as it fits in `frame`: whole when it takes at most frame.lines
// lines, otherwise cut (at the last word break that leaves room for "…").
FittedText FitText(const QString& text, const TextFrame& frame);

}  // namespace printing
