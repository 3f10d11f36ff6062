// Finding the payment code in files: the worked examples drawn by our own QR
// writer and by the `qrencode` command, in the three charsets, as PNG, JPEG
// and PDF pages; and the files that hold no payment code, a foreign code, a
// damaged one, or no picture at all.
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "register/payment_code_file.h"
#include "printing/qr_image.h"
#include "support/qr_examples.h"

namespace {

using receipts::QrCharset;

QImage Symbol(const std::string& bytes) {
  QImage image;
  image.loadFromData(printing::QrCodePng(bytes, 6), "PNG");
  return image;
}

// A scan of a bill: the symbol somewhere on a page with some text.
QImage Bill(const QImage& symbol) {
  QImage page(1240, 1754, QImage::Format_RGB32);  // A4 at 150 dpi
  page.fill(Qt::white);
  QPainter p(&page);
  p.setFont(QFont(QStringLiteral("Liberation Sans"), 24));
  p.drawText(QRect(100, 100, 1000, 200), Qt::AlignLeft, QStringLiteral("Извещение\nКвитанция за услуги"));
  if (!symbol.isNull()) p.drawImage(120, 400, symbol);
  return page;
}

// A one-page PDF with `picture` printed on it at about 30 mm wide.
void WritePdf(const QString& path, const QImage& picture) {
  QPdfWriter pdf(path);
  pdf.setPageSize(QPageSize(QPageSize::A4));
  pdf.setResolution(300);
  QPainter p(&pdf);
  p.drawText(QPoint(300, 300), QStringLiteral("Счёт на оплату"));
  if (!picture.isNull()) p.drawImage(QRect(300, 500, 600, 600 * picture.height() / picture.width()), picture);
}


class PaymentCodeFileTest : public QObject {
  Q_OBJECT

 private slots:
  void workedExamplesFromEveryKindOfFile() {
    QTemporaryDir dir;
    struct Example {
      const std::string& payload;
      receipts::QrReceipt (*receipt)(QrCharset);
    };
    for (const Example& e : {Example{receipts::kWorkedPd4, receipts::WorkedPd4Receipt},
                             Example{receipts::kWorkedTax, receipts::WorkedTaxReceipt}}) {
      for (QrCharset charset : receipts::kAllQrCharsets) {
        const std::string bytes = receipts::PayloadBytes(e.payload, charset);
        const QImage bill = Bill(Symbol(bytes));
        const QString stem = dir.filePath(QStringLiteral("%1-%2").arg(e.receipt(charset).tax ? "tax" : "pd4",
                                                                     receipts::QrCharsetLabel(charset)));
        QVERIFY(bill.save(stem + ".png"));
        // The name says nothing: the content decides.
        QVERIFY(bill.save(stem + ".scan", "JPEG", 90));
        WritePdf(stem + ".pdf", Symbol(bytes));
        for (const QString& path : {stem + ".png", stem + ".scan", stem + ".pdf"}) {
          const reg::PaymentCodeRead read = reg::ReadPaymentCodeFile(path);
          QVERIFY2(read.payload, qPrintable(path + ": " + read.message));
          QCOMPARE(read.payload->charset, charset);
          const receipts::QrReceipt got = receipts::ReceiptOfQr(*read.payload);
          const receipts::QrReceipt want = e.receipt(charset);
          QCOMPARE(got.tax, want.tax);
          QCOMPARE(got.summa.value, want.summa.value);
          QVERIFY2(got.texts == want.texts, qPrintable(path));
        }
      }
    }
  }

  // A symbol made by another writer: Debian's `qrencode` in 8-bit mode.
  void symbolFromTheQrencodeCommand() {
    QTemporaryDir dir;
    for (QrCharset charset : receipts::kAllQrCharsets) {
      const std::string bytes = receipts::PayloadBytes(receipts::kWorkedTax, charset);
      const QString png = dir.filePath(QStringLiteral("qrencode-%1.png").arg(receipts::QrCharsetLabel(charset)));
      QProcess qrencode;
      qrencode.start(QStringLiteral("qrencode"), {QStringLiteral("-8"), QStringLiteral("-s"), QStringLiteral("5"),
                                                  QStringLiteral("-o"), png});
      QVERIFY2(qrencode.waitForStarted(), "qrencode is not installed (scripts/install-deps)");
      qrencode.write(QByteArray::fromStdString(bytes));
      qrencode.closeWriteChannel();
      QVERIFY(qrencode.waitForFinished());
      QCOMPARE(qrencode.exitCode(), 0);
      const reg::PaymentCodeRead read = reg::ReadPaymentCodeFile(png);
      QVERIFY2(read.payload, qPrintable(read.message));
      const receipts::QrReceipt got = receipts::ReceiptOfQr(*read.payload);
      QVERIFY(got.texts == receipts::WorkedTaxReceipt(charset).texts);
      QCOMPARE(got.summa.value, int64_t{38700000});
    }
  }

  // Beside a link code the payment code is still found, whichever comes first.
  void paymentCodeAmongOtherCodes() {
    QTemporaryDir dir;
    QImage bill = Bill(Symbol("https://example.org/pay"));
    {
      QPainter p(&bill);
      p.drawImage(700, 900, Symbol(receipts::PayloadBytes(receipts::kWorkedPd4, QrCharset::kWindows1251)));
    }
    const QString path = dir.filePath(QStringLiteral("two.png"));
    QVERIFY(bill.save(path));
    const reg::PaymentCodeRead read = reg::ReadPaymentCodeFile(path);
    QVERIFY2(read.payload, qPrintable(read.message));
    QCOMPARE(receipts::ReceiptOfQr(*read.payload).Text("Bik"), std::string("045678901"));
  }

  void filesWithoutAPaymentCodeSayWhy() {
    QTemporaryDir dir;
    const std::string good = receipts::PayloadBytes(receipts::kWorkedPd4, QrCharset::kWindows1251);
    auto png = [&](const QString& name, const QImage& image) {
      const QString path = dir.filePath(name);
      image.save(path);
      return path;
    };
    auto raw = [&](const QString& name, const QByteArray& bytes) {
      const QString path = dir.filePath(name);
      QFile f(path);
      f.open(QIODevice::WriteOnly);
      f.write(bytes);
      return path;
    };
    const QString blank = png(QStringLiteral("blank.png"), Bill(QImage()));
    const QString blankPdf = dir.filePath(QStringLiteral("blank.pdf"));
    WritePdf(blankPdf, QImage());
    struct Case {
      QString path;
      QString says;
    };
    const Case cases[] = {
        {blank, QStringLiteral("В файле «blank.png» не найден QR-код.")},
        {blankPdf, QStringLiteral("В файле «blank.pdf» не найден QR-код.")},
        {png(QStringLiteral("link.png"), Bill(Symbol("https://example.org/pay"))),
         QStringLiteral("QR-код в файле «link.png» не платёжный: в нём нет реквизитов платежа.")},
        {png(QStringLiteral("cut.png"), Bill(Symbol(good.substr(0, good.find("|BIC="))))),
         QStringLiteral("Платёжный QR-код повреждён: нет обязательного реквизита BIC.")},
        {raw(QStringLiteral("notes.txt"), "ST00012|Name=not a picture"),
         QStringLiteral("Файл «notes.txt» не является изображением (PNG, JPEG) или документом PDF.")},
        {raw(QStringLiteral("half.png"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)),
         QStringLiteral("Не удалось прочитать изображение «half.png»")},
        {raw(QStringLiteral("broken.pdf"), "%PDF-1.4\n1 0 obj garbage\n"),
         QStringLiteral("Документ PDF «broken.pdf» повреждён или не читается")},
        {dir.filePath(QStringLiteral("missing.png")), QStringLiteral("Не удалось открыть файл «missing.png»")},
    };
    for (const Case& c : cases) {
      const reg::PaymentCodeRead read = reg::ReadPaymentCodeFile(c.path);
      QVERIFY2(!read.payload, qPrintable(c.path));
      QVERIFY2(read.message.startsWith(c.says), qPrintable(c.path + ": " + read.message));
    }
  }

  // A rasteriser that hangs is stopped at the time limit.
  void hangingRasteriserIsStopped() {
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("pdftoppm"));
    {
      QFile f(script);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("#!/bin/sh\nexec sleep 60\n");
    }
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString pdf = dir.filePath(QStringLiteral("bill.pdf"));
    WritePdf(pdf, QImage());
    reg::CodeScanLimits limits;
    limits.pdftoppm = script;
    limits.timeoutMs = 300;
    const reg::PaymentCodeRead read = reg::ReadPaymentCodeFile(pdf, limits);
    QVERIFY(!read.payload);
    QVERIFY2(read.message.startsWith(QStringLiteral("Документ PDF «bill.pdf» не удалось прочитать за")),
             qPrintable(read.message));
  }
};

}  // namespace

QTEST_MAIN(PaymentCodeFileTest)
#include "payment_code_file_test.moc"
