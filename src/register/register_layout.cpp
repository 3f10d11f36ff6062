// The register layout's column widths as text.
#include "register/register_layout.h"

#include <QStringList>

namespace reg {

QString WidthsText(const std::vector<int>& widths) {
  QStringList parts;
  for (int w : widths) parts << QString::number(w);
  return parts.join(QLatin1Char(','));
}

std::vector<int> ReadWidths(const QString& text) {
  std::vector<int> widths;
  if (text.trimmed().isEmpty()) return widths;
  for (const QString& part : text.split(QLatin1Char(','))) {
    bool ok = false;
    const int w = part.trimmed().toInt(&ok);
    // A width a screen could show; anything else means the value is not ours.
    if (!ok || w < 0 || w > 10000) return {};
    widths.push_back(w);
  }
  return widths;
}

}  // namespace reg
