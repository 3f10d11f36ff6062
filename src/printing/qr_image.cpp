// Draws the payment code with libqrencode.
#include "printing/qr_image.h"

#include <qrencode.h>

#include <QBuffer>
#include <QImage>
#include <cstring>
#include <memory>

namespace printing {

QByteArray QrCodePng(const std::string& bytes, int moduleSize) {
  if (bytes.empty() || bytes.size() > 2953) return {};
  std::unique_ptr<QRcode, void (*)(QRcode*)> code(
      QRcode_encodeData(static_cast<int>(bytes.size()), reinterpret_cast<const unsigned char*>(bytes.data()), 0,
                        QR_ECLEVEL_M),
      QRcode_free);
  if (!code) return {};
  constexpr int kQuietZone = 4;
  const int modules = code->width + 2 * kQuietZone;
  QImage image(modules * moduleSize, modules * moduleSize, QImage::Format_Mono);
  image.setColor(0, qRgb(255, 255, 255));
  image.setColor(1, qRgb(0, 0, 0));
  image.fill(0);
  for (int y = 0; y < code->width; ++y) {
    // One pixel row of the module row, copied to the module's other rows.
    const int top = (y + kQuietZone) * moduleSize;
    for (int x = 0; x < code->width; ++x) {
      // The low bit of each module's byte is its colour.
      if ((code->data[y * code->width + x] & 1) == 0) continue;
      for (int dx = 0; dx < moduleSize; ++dx) image.setPixel((x + kQuietZone) * moduleSize + dx, top, 1);
    }
    for (int dy = 1; dy < moduleSize; ++dy)
      std::memcpy(image.scanLine(top + dy), image.constScanLine(top), static_cast<size_t>(image.bytesPerLine()));
  }
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return png;
}

}  // namespace printing
