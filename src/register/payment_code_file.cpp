// Pictures and PDF pages searched for QR symbols with zbar.
#include "register/payment_code_file.h"

#include <zbar.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

namespace reg {
namespace {

using namespace zbar;

struct ScannerFree {
  void operator()(zbar_image_scanner_t* s) const { zbar_image_scanner_destroy(s); }
};
struct ImageFree {
  void operator()(zbar_image_t* i) const { zbar_image_destroy(i); }
};

// One pass of zbar over a grey picture.
std::vector<std::string> ScanGrey(const QImage& grey) {
  std::vector<std::string> found;
  const int width = grey.width();
  const int height = grey.height();
  if (width <= 0 || height <= 0) return found;
  // zbar wants the rows without padding.
  QByteArray pixels(static_cast<qsizetype>(width) * height, '\0');
  for (int y = 0; y < height; ++y)
    memcpy(pixels.data() + static_cast<qsizetype>(y) * width, grey.constScanLine(y), static_cast<size_t>(width));

  std::unique_ptr<zbar_image_scanner_t, ScannerFree> scanner(zbar_image_scanner_create());
  zbar_image_scanner_set_config(scanner.get(), ZBAR_NONE, ZBAR_CFG_ENABLE, 0);
  zbar_image_scanner_set_config(scanner.get(), ZBAR_QRCODE, ZBAR_CFG_ENABLE, 1);
  // The symbol's bytes as they are: no guess at their text encoding.
  zbar_image_scanner_set_config(scanner.get(), ZBAR_QRCODE, ZBAR_CFG_BINARY, 1);
  std::unique_ptr<zbar_image_t, ImageFree> image(zbar_image_create());
  zbar_image_set_format(image.get(), zbar_fourcc('Y', '8', '0', '0'));
  zbar_image_set_size(image.get(), static_cast<unsigned>(width), static_cast<unsigned>(height));
  // `pixels` outlives the image; zbar must not free it.
  zbar_image_set_data(image.get(), pixels.constData(), static_cast<unsigned long>(pixels.size()), nullptr);
  if (zbar_scan_image(scanner.get(), image.get()) <= 0) return found;
  for (const zbar_symbol_t* s = zbar_image_first_symbol(image.get()); s; s = zbar_symbol_next(s)) {
    if (zbar_symbol_get_type(s) != ZBAR_QRCODE) continue;
    found.emplace_back(zbar_symbol_get_data(s), zbar_symbol_get_data_length(s));
  }
  return found;
}

QString Quoted(const QString& path) { return QStringLiteral("«%1»").arg(QFileInfo(path).fileName()); }

// What the pictures of a file hold, the symbols in the order found.
struct Symbols {
  std::vector<std::string> payloads;
  QString failure;  // the file could not be turned into pictures
};

Symbols FromPictures(const std::vector<QImage>& pictures) {
  Symbols out;
  for (const QImage& picture : pictures) {
    for (std::string& s : QrSymbolsIn(picture)) out.payloads.push_back(std::move(s));
  }
  return out;
}

Symbols FromPdf(const QString& path, const CodeScanLimits& limits) {
  Symbols out;
  QTemporaryDir pages;
  if (!pages.isValid()) {
    out.failure = QStringLiteral("Не удалось создать временную папку для страниц документа %1.").arg(Quoted(path));
    return out;
  }
  QProcess pdftoppm;
  pdftoppm.setProcessChannelMode(QProcess::SeparateChannels);
  pdftoppm.start(limits.pdftoppm,
                 {QStringLiteral("-png"), QStringLiteral("-gray"), QStringLiteral("-scale-to"),
                  QString::number(limits.pageSide), QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                  QString::number(limits.maxPages), path, pages.filePath(QStringLiteral("page"))});
  if (!pdftoppm.waitForStarted(10000)) {
    out.failure = QStringLiteral("Не удалось прочитать документ PDF %1: не запускается программа %2 (пакет poppler-utils).")
                      .arg(Quoted(path), limits.pdftoppm);
    return out;
  }
  if (!pdftoppm.waitForFinished(limits.timeoutMs)) {
    pdftoppm.kill();
    pdftoppm.waitForFinished(5000);
    out.failure = QStringLiteral("Документ PDF %1 не удалось прочитать за %2 с.")
                      .arg(Quoted(path))
                      .arg(limits.timeoutMs / 1000);
    return out;
  }
  if (pdftoppm.exitStatus() != QProcess::NormalExit || pdftoppm.exitCode() != 0) {
    QString why = QString::fromLocal8Bit(pdftoppm.readAllStandardError()).trimmed();
    if (why.size() > 200) why = why.left(200) + QStringLiteral("…");
    out.failure = QStringLiteral("Документ PDF %1 повреждён или не читается").arg(Quoted(path)) +
                  (why.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + why);
    return out;
  }
  // "page-1.png" ... or "page-01.png" ...: the names sort in page order.
  std::vector<QImage> pictures;
  const QStringList names = QDir(pages.path()).entryList({QStringLiteral("page*.png")}, QDir::Files, QDir::Name);
  for (const QString& name : names) pictures.emplace_back(pages.filePath(name));
  return FromPictures(pictures);
}

Symbols FromPicture(const QString& path) {
  Symbols out;
  QImageReader reader(path);
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(true);  // a photo's orientation tag
  QImage picture = reader.read();
  if (picture.isNull()) {
    if (reader.error() == QImageReader::UnsupportedFormatError) {
      out.failure = QStringLiteral("Файл %1 не является изображением (PNG, JPEG) или документом PDF.").arg(Quoted(path));
    } else {
      out.failure = QStringLiteral("Не удалось прочитать изображение %1: %2.").arg(Quoted(path), reader.errorString());
    }
    return out;
  }
  return FromPictures({picture});
}

}  // namespace

std::vector<std::string> QrSymbolsIn(const QImage& image) {
  if (image.isNull()) return {};
  // Transparent areas (a PNG without a background) count as white paper.
  QImage flat(image.size(), QImage::Format_RGB32);
  flat.fill(Qt::white);
  {
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
  }
  const QImage grey = flat.convertToFormat(QImage::Format_Grayscale8);
  std::vector<std::string> found = ScanGrey(grey);
  if (!found.empty()) return found;
  // A photo of a whole page may hold the symbol too finely or too coarsely
  // for the finder at this size; one more look at another scale.
  const int side = qMax(grey.width(), grey.height());
  if (side > 2400) return ScanGrey(grey.scaled(grey.size() / 2, Qt::KeepAspectRatio, Qt::SmoothTransformation));
  if (side < 600) return ScanGrey(grey.scaled(grey.size() * 2, Qt::KeepAspectRatio, Qt::FastTransformation));
  return {};
}

PaymentCodeRead ReadPaymentCodeFile(const QString& path, const CodeScanLimits& limits) {
  PaymentCodeRead result;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    result.message = QStringLiteral("Не удалось открыть файл %1: %2.").arg(Quoted(path), file.errorString());
    return result;
  }
  const bool pdf = file.peek(5) == QByteArrayLiteral("%PDF-");
  file.close();

  const Symbols symbols = pdf ? FromPdf(path, limits) : FromPicture(path);
  if (!symbols.failure.isEmpty()) {
    result.message = symbols.failure;
    return result;
  }
  if (symbols.payloads.empty()) {
    result.message = QStringLiteral("В файле %1 не найден QR-код.").arg(Quoted(path));
    return result;
  }
  // A bill may carry other symbols (a link to the sender's site) beside the
  // payment code; a damaged payment code is reported before a foreign one.
  QString damaged;
  for (const std::string& bytes : symbols.payloads) {
    receipts::QrReadResult read = receipts::ReadQrPayload(bytes);
    if (read.ok()) {
      result.payload = std::move(read.payload);
      return result;
    }
    if (read.fault == receipts::QrReadFault::kDamaged && damaged.isEmpty())
      damaged = QString::fromStdString(read.message);
  }
  result.message = !damaged.isEmpty() ? damaged : QStringLiteral("QR-код в файле %1 не платёжный: в нём нет реквизитов платежа.").arg(Quoted(path));
  return result;
}

bool LooksLikeCodeFile(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (suffix == QLatin1String("pdf")) return true;
  return QImageReader::supportedImageFormats().contains(suffix.toLatin1());
}

}  // namespace reg
