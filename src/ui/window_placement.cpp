// Positions dialogs before they are shown.
#include "ui/window_placement.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace ui {
namespace {
void CentreIn(QWidget& window, const QRect& area) {
  const QSize size = window.frameGeometry().size();
  window.move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}
}  // namespace

void CentreOnScreen(QWidget& window) {
  QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (screen) CentreIn(window, screen->availableGeometry());
}

void CentreOver(QWidget& window, const QWidget* over) {
  if (!over) {
    CentreOnScreen(window);
    return;
  }
  CentreIn(window, over->frameGeometry());
}

int CaptionWidth(const QFont& font, const QString& title) {
  QFont bold = font;
  bold.setBold(true);
  const QFontMetrics metrics(bold);
  // The icon, the three buttons and the gaps: about seven text lines' height.
  return metrics.horizontalAdvance(title) + 7 * metrics.height();
}

int CaptionWidth(const QWidget& window) { return CaptionWidth(window.font(), window.windowTitle()); }

}  // namespace ui
