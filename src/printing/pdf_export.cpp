// Runs LibreOffice to turn a filled workbook into a PDF.
#include "printing/pdf_export.h"

#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QCursor>
#include <QGuiApplication>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include "printing/xlsx_spreadsheet.h"

namespace printing {
namespace {

// The waiting cursor for as long as the object lives.
class WaitCursor {
 public:
  WaitCursor() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
      QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
      active_ = false;
  }
  ~WaitCursor() {
    if (active_) QGuiApplication::restoreOverrideCursor();
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  bool active_ = true;
};

// Kills what is left of the process group LibreOffice ran in.
void KillGroup(qint64 pid) {
  if (pid > 0) ::kill(-static_cast<pid_t>(pid), SIGKILL);
}

}  // namespace

PdfRenderer DefaultPdfRenderer() {
  PdfRenderer r;
  r.profileDir = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                 QStringLiteral("/formix/libreoffice-profile");
  return r;
}

void RenderPdf(const PdfRenderer& renderer, const QString& workbook, const QString& pdf) {
  WaitCursor wait;
  QTemporaryDir outDir(QDir::tempPath() + QStringLiteral("/formix-pdf-XXXXXX"));
  if (!outDir.isValid())
    throw PrintError(QStringLiteral("Не удалось создать временную папку: %1").arg(outDir.errorString()));
  QDir().mkpath(renderer.profileDir);

  QProcess soffice;
  soffice.setProgram(renderer.soffice);
  soffice.setArguments({QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(renderer.profileDir).toString(),
                        QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--nologo"),
                        QStringLiteral("--nolockcheck"), QStringLiteral("--convert-to"), QStringLiteral("pdf"),
                        QStringLiteral("--outdir"), outDir.path(), workbook});
  soffice.setProcessChannelMode(QProcess::MergedChannels);
  // Its own process group, so that the launcher and the office process it
  // starts can be ended together.
  soffice.setChildProcessModifier([] { ::setsid(); });
  soffice.start();
  if (!soffice.waitForStarted(10000))
    throw PrintError(QStringLiteral("Не удалось запустить LibreOffice («%1»): %2")
                         .arg(renderer.soffice, soffice.errorString()));
  const qint64 pid = soffice.processId();
  const bool finished = soffice.waitForFinished(renderer.timeoutMs);
  KillGroup(pid);
  if (!finished) {
    soffice.waitForFinished(5000);
    throw PrintError(QStringLiteral("LibreOffice не закончил работу за %1 с и остановлен; PDF не создан.")
                         .arg(renderer.timeoutMs / 1000));
  }
  const QString made = outDir.filePath(QFileInfo(workbook).completeBaseName() + QStringLiteral(".pdf"));
  if (soffice.exitStatus() != QProcess::NormalExit || soffice.exitCode() != 0 || !QFileInfo::exists(made)) {
    const QString output = QString::fromLocal8Bit(soffice.readAll()).trimmed().right(300);
    throw PrintError(QStringLiteral("LibreOffice не смог создать PDF.%1")
                         .arg(output.isEmpty() ? QString() : QStringLiteral("\n") + output));
  }

  QFile source(made);
  QSaveFile target(pdf);
  if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly) ||
      target.write(source.readAll()) != source.size() || !target.commit()) {
    target.cancelWriting();
    throw PrintError(QStringLiteral("Не удалось записать «%1»: %2").arg(pdf, target.errorString()));
  }
}

void SaveReceiptPdf(const receipts::ReceiptValues& receipt, const QString& programDir, const FormChooser& choose,
                    const std::function<QString()>& askPath, const PdfRenderer& renderer,
                    const PrintOptions& options) {
  QString target;
  SpreadsheetStarter xlsx = XlsxStarter([&](const QString& copy) {
    // The copy was only the way to the PDF.
    struct Remove {
      QString folder;
      ~Remove() { QDir(folder).removeRecursively(); }
    } remove{QFileInfo(copy).absolutePath()};
    RenderPdf(renderer, copy, target);
  });
  // The file name is asked for once the form is known, just before anything
  // is started.
  PrintReceipt(receipt, programDir, choose, [&]() -> std::unique_ptr<SpreadsheetApplication> {
    target = askPath();
    if (target.isEmpty()) return nullptr;
    return xlsx();
  }, options);
}

QString FillWorkbook(const receipts::ReceiptValues& receipt, ReceiptLayout layout, const QString& programDir,
                     const PrintOptions& options, const QString& tempRoot) {
  QString filled;
  PrintLayout(receipt, layout, programDir, XlsxStarter([&](const QString& copy) { filled = copy; }, tempRoot),
              options);
  return filled;
}

}  // namespace printing
