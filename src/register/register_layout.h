// RegisterLayout: how the clerk left the register window, kept between runs:
// the order (the column sorted and its direction), the columns' widths and
// the window's size.  The settings file stores it; the window applies it.
#pragma once

#include <QSize>
#include <QString>
#include <vector>

namespace reg {

struct RegisterLayout {
  int sortColumn = -1;     // the grid column sorted by; -1: the opening order
  bool descending = false;
  std::vector<int> widths;  // pixels per grid column; empty: the designed ones
  QSize size;               // the window's normal size; invalid: the first size

  bool operator==(const RegisterLayout&) const = default;
};

// The widths as the settings file writes them ("40,71,119"), and read back;
// a value that is not such a list reads as no widths.
QString WidthsText(const std::vector<int>& widths);
std::vector<int> ReadWidths(const QString& text);

}  // namespace reg
