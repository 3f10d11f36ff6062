// Draws the program's pictures with QPainter.
#include "ui/pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace ui {
namespace {
QPixmap Blank(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}
}  // namespace

QPixmap ReceiptPicture(int size) {
  QPixmap pixmap = Blank(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  const QRectF sheet(s * 0.15, s * 0.05, s * 0.7, s * 0.9);
  p.setPen(QPen(QColor(60, 60, 60), std::max(1.0, s / 32)));
  p.setBrush(Qt::white);
  p.drawRect(sheet);
  p.fillRect(QRectF(sheet.left(), sheet.top(), sheet.width(), s * 0.15), QColor(30, 140, 60));
  p.setPen(QPen(QColor(120, 120, 120), std::max(1.0, s / 40)));
  for (int i = 0; i < 4; ++i) {
    const qreal y = sheet.top() + s * (0.32 + 0.14 * i);
    p.drawLine(QPointF(sheet.left() + s * 0.08, y), QPointF(sheet.right() - s * 0.08, y));
  }
  return pixmap;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) icon.addPixmap(ReceiptPicture(size));
  return icon;
}

QPixmap PrinterPicture(int size) {
  QPixmap pixmap = Blank(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  p.setPen(QPen(QColor(50, 50, 50), 1));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(s * 0.28, s * 0.08, s * 0.44, s * 0.35));  // paper in
  p.setBrush(QColor(150, 150, 160));
  p.drawRoundedRect(QRectF(s * 0.1, s * 0.38, s * 0.8, s * 0.35), s * 0.06, s * 0.06);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(s * 0.28, s * 0.62, s * 0.44, s * 0.3));  // paper out
  p.setBrush(QColor(30, 140, 60));
  p.drawEllipse(QPointF(s * 0.78, s * 0.48), s * 0.04, s * 0.04);
  return pixmap;
}

QPixmap EditPicture(int size) {
  QPixmap pixmap = ReceiptPicture(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  // A pencil from the lower left to the upper right.
  p.translate(s * 0.5, s * 0.55);
  p.rotate(-45);
  p.setPen(QPen(QColor(60, 60, 60), std::max(1.0, s / 32)));
  p.setBrush(QColor(230, 170, 40));
  p.drawRect(QRectF(-s * 0.3, -s * 0.08, s * 0.5, s * 0.16));
  QPainterPath tip;
  tip.moveTo(-s * 0.3, -s * 0.08);
  tip.lineTo(-s * 0.44, 0);
  tip.lineTo(-s * 0.3, s * 0.08);
  tip.closeSubpath();
  p.setBrush(QColor(240, 220, 180));
  p.drawPath(tip);
  return pixmap;
}

QPixmap CopyPicture(int size) {
  QPixmap pixmap = Blank(size);
  QPainter p(&pixmap);
  const int small = size * 3 / 4;
  p.drawPixmap(size - small, 0, ReceiptPicture(small));
  p.drawPixmap(0, size - small, ReceiptPicture(small));
  return pixmap;
}

QIcon IconOf(QPixmap (*picture)(int size)) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48}) icon.addPixmap(picture(size));
  return icon;
}

QList<QPixmap> CoinFrames(int size) {
  QList<QPixmap> frames;
  const qreal s = size;
  for (int i = 0; i < 6; ++i) {
    QPixmap pixmap = Blank(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // Half a turn in six steps: the coin narrows to its edge and widens again.
    const qreal width = std::max(0.08, std::abs(std::cos(i * std::numbers::pi / 6))) * s * 0.8;
    const QRectF coin(s / 2 - width / 2, s * 0.1, width, s * 0.8);
    p.setPen(QPen(QColor(140, 100, 10), 1.5));
    p.setBrush(QColor(230, 180, 40));
    p.drawEllipse(coin);
    if (width > s * 0.3) {
      QFont font = p.font();
      font.setBold(true);
      font.setPixelSize(static_cast<int>(s * 0.45));
      p.setFont(font);
      p.save();
      p.translate(coin.center());
      p.scale(width / (s * 0.8), 1.0);
      p.drawText(QRectF(-s * 0.4, -s * 0.4, s * 0.8, s * 0.8), Qt::AlignCenter,
                 QStringLiteral("₽"));
      p.restore();
    }
    frames.push_back(pixmap);
  }
  return frames;
}

}  // namespace ui
