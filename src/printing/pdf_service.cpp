// The renderer behind the print preview: a kept office, and one-off
// conversions when it cannot be kept.
#include "printing/pdf_service.h"

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

namespace printing {
namespace {

// The helper that keeps the office: it starts soffice listening on a private
// pipe, connects to it, says "ready", and then for each line "workbook<TAB>
// pdf" on its input converts and answers "ok" or "error<TAB>why".  At the
// end of its input it closes the office.
constexpr char kHelper[] = R"PY(import subprocess, sys, time
try:
    import uno
    from com.sun.star.beans import PropertyValue
    from com.sun.star.connection import NoConnectException
except ImportError:
    print("error\tpython3-uno is missing", flush=True)
    sys.exit(2)
soffice, profile, pipe = sys.argv[1:4]
address = "pipe,name=%s;urp;StarOffice.ComponentContext" % pipe
office = subprocess.Popen([soffice, "-env:UserInstallation=" + profile, "--headless", "--invisible",
                           "--norestore", "--nologo", "--nolockcheck", "--nodefault", "--accept=" + address],
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
context = None
while context is None:
    try:
        context = resolver.resolve("uno:" + address)
    except NoConnectException:
        if office.poll() is not None:
            print("error\tLibreOffice ended at its start", flush=True)
            sys.exit(1)
        time.sleep(0.1)
desktop = context.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", context)
def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p
print("ready", flush=True)
for line in sys.stdin:
    source, target = line.rstrip("\n").split("\t")
    try:
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(source), "_blank", 0, (prop("Hidden", True),))
        try:
            doc.storeToURL(uno.systemPathToFileUrl(target), (prop("FilterName", "calc_pdf_Export"),))
        finally:
            doc.close(True)
        print("ok", flush=True)
    except Exception as e:
        print("error\t" + str(e).replace("\n", " "), flush=True)
try:
    desktop.terminate()
except Exception:
    pass
try:
    office.wait(timeout=10)
except Exception:
    office.kill()
)PY";

void InOwnGroup(QProcess& process) {
  process.setChildProcessModifier([] { ::setsid(); });
}

// Ends a process group started by InOwnGroup and everything in it.
void KillGroup(QProcess& process) {
  const qint64 pid = process.processId();
  if (pid > 0) ::kill(-static_cast<pid_t>(pid), SIGKILL);
  process.waitForFinished(3000);
}

QString Python() {
  // Debian's interpreter, which python3-uno extends, before any other.
  return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                : QStringLiteral("python3");
}

}  // namespace

PdfService::PdfService(PdfRenderer renderer, QObject* parent)
    : QObject(parent), renderer_(std::move(renderer)), limit_(new QTimer(this)) {
  limit_->setSingleShot(true);
  connect(limit_, &QTimer::timeout, this, [this] {
    // A render that hangs: whatever runs for it goes, the office with it.
    if (cold_) KillGroup(*cold_);
    cold_.reset();
    if (helper_) {
      KillGroup(*helper_);
      helper_.reset();
      helperReady_ = false;
    }
    Finish(QStringLiteral("LibreOffice не закончил работу за %1 с и остановлен; форма не подготовлена.")
               .arg(renderer_.timeoutMs / 1000));
  });
}

PdfService::~PdfService() {
  limit_->stop();
  if (cold_) KillGroup(*cold_);
  if (helper_) {
    // The end of its input closes the office; what is left then goes.
    helper_->disconnect(this);
    helper_->closeWriteChannel();
    helper_->waitForFinished(5000);
    KillGroup(*helper_);
  }
}

void PdfService::Warm() {
  if (!helper_ && !helperFailed_) StartHelper();
}

void PdfService::StartHelper() {
  const QString warmProfile = renderer_.profileDir + QStringLiteral("-warm");
  QDir().mkpath(warmProfile);
  const QString script = warmProfile + QStringLiteral("-helper.py");
  {
    QSaveFile file(script);
    if (!file.open(QIODevice::WriteOnly) || file.write(kHelper) < 0 || !file.commit()) {
      helperFailed_ = true;
      return;
    }
  }
  helper_ = std::make_unique<QProcess>();
  InOwnGroup(*helper_);
  helper_->setProgram(Python());
  helper_->setArguments({script, renderer_.soffice, QUrl::fromLocalFile(warmProfile).toString(),
                         QStringLiteral("formix-office-%1").arg(QCoreApplication::applicationPid())});
  helper_->setProcessChannelMode(QProcess::SeparateChannels);
  connect(helper_.get(), &QProcess::readyReadStandardOutput, this, &PdfService::OnHelperOutput);
  connect(helper_.get(), &QProcess::finished, this, &PdfService::OnHelperGone);
  connect(helper_.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) OnHelperGone();
  });
  helper_->start();
}

int PdfService::Render(const QStringList& workbooks, const QString& pdf) {
  const int id = nextId_++;
  jobs_.push_back({id, workbooks, pdf, {}, {}});
  Warm();
  if (!running_) Next();
  return id;
}

void PdfService::Next() {
  if (running_ || jobs_.empty()) return;
  Job& job = jobs_.front();
  QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/formix-preview-XXXXXX"));
  if (!folder.isValid()) {
    running_ = true;
    Finish(QStringLiteral("Не удалось создать временную папку: %1").arg(folder.errorString()));
    return;
  }
  folder.setAutoRemove(false);
  job.folder = folder.path();
  running_ = true;
  limit_->start(renderer_.timeoutMs);
  if (helperReady_)
    ConvertNextWithHelper();
  else if (!helper_)
    ConvertCold();
  // otherwise the helper is starting: its "ready" goes on with the job.
}

void PdfService::OnHelperOutput() {
  helperOutput_ += helper_->readAllStandardOutput();
  for (qsizetype end = helperOutput_.indexOf('\n'); end >= 0; end = helperOutput_.indexOf('\n')) {
    const QString line = QString::fromUtf8(helperOutput_.left(end));
    helperOutput_.remove(0, end + 1);
    if (line == QLatin1String("ready")) {
      helperReady_ = true;
      if (running_ && jobs_.front().pages.isEmpty()) ConvertNextWithHelper();
    } else if (!running_) {
      continue;  // a late answer of a job given up
    } else if (line == QLatin1String("ok")) {
      Job& job = jobs_.front();
      job.pages << QDir(job.folder).filePath(QStringLiteral("page%1.pdf").arg(job.pages.size() + 1));
      ConvertNextWithHelper();
    } else if (line.startsWith(QLatin1String("error"))) {
      if (!helperReady_) continue;  // the start failed: OnHelperGone falls back
      Finish(QStringLiteral("LibreOffice не смог подготовить форму: %1").arg(line.section(QLatin1Char('\t'), 1)));
    }
  }
}

void PdfService::OnHelperGone() {
  if (!helper_) return;
  const bool wasReady = helperReady_;
  helperReady_ = false;
  helperFailed_ = true;  // not tried again: every render starts its own office
  helper_->deleteLater();
  helper_.release();
  if (!running_) return;
  if (!wasReady) {
    ConvertCold();
    return;
  }
  Finish(QStringLiteral("LibreOffice неожиданно завершился; форма не подготовлена."));
}

void PdfService::ConvertNextWithHelper() {
  Job& job = jobs_.front();
  if (job.pages.size() == job.workbooks.size()) {
    Join();
    return;
  }
  const QString target = QDir(job.folder).filePath(QStringLiteral("page%1.pdf").arg(job.pages.size() + 1));
  helper_->write((job.workbooks[job.pages.size()] + QLatin1Char('\t') + target + QLatin1Char('\n')).toUtf8());
}

void PdfService::ConvertCold() {
  Job& job = jobs_.front();
  // Copies under names of their own: the filled workbooks may share a name.
  QStringList sources;
  for (int i = 0; i < job.workbooks.size(); ++i) {
    const QString copy = QDir(job.folder).filePath(QStringLiteral("page%1.xlsx").arg(i + 1));
    if (!QFile::copy(job.workbooks[i], copy)) {
      Finish(QStringLiteral("Не удалось прочитать заполненную форму «%1».").arg(job.workbooks[i]));
      return;
    }
    sources << copy;
  }
  QDir().mkpath(renderer_.profileDir);
  cold_ = std::make_unique<QProcess>();
  InOwnGroup(*cold_);
  cold_->setProgram(renderer_.soffice);
  cold_->setArguments(QStringList{QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(renderer_.profileDir).toString(),
                                  QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--nologo"),
                                  QStringLiteral("--nolockcheck"), QStringLiteral("--convert-to"), QStringLiteral("pdf"),
                                  QStringLiteral("--outdir"), job.folder} +
                      sources);
  cold_->setProcessChannelMode(QProcess::MergedChannels);
  connect(cold_.get(), &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
    const QString output = QString::fromLocal8Bit(cold_->readAll()).trimmed().right(300);
    KillGroup(*cold_);
    cold_->deleteLater();
    cold_.release();
    Job& job = jobs_.front();
    for (int i = 0; i < job.workbooks.size(); ++i) {
      const QString page = QDir(job.folder).filePath(QStringLiteral("page%1.pdf").arg(i + 1));
      if (status != QProcess::NormalExit || code != 0 || !QFileInfo::exists(page)) {
        Finish(QStringLiteral("LibreOffice не смог подготовить форму.%1")
                   .arg(output.isEmpty() ? QString() : QStringLiteral("\n") + output));
        return;
      }
      job.pages << page;
    }
    Join();
  });
  connect(cold_.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    cold_->deleteLater();
    cold_.release();
    Finish(QStringLiteral("Не удалось запустить LibreOffice («%1»). Он нужен для предварительного просмотра.")
               .arg(renderer_.soffice));
  });
  cold_->start();
}

void PdfService::Join() {
  Job& job = jobs_.front();
  // The PDF reaches its place in one rename, whole.
  const QString joined = QDir(job.folder).filePath(QStringLiteral("joined.pdf"));
  auto place = [this](const QString& made) {
    Job& job = jobs_.front();
    QFile::remove(job.pdf + QStringLiteral(".part"));
    if (!QFile::copy(made, job.pdf + QStringLiteral(".part"))) {
      Finish(QStringLiteral("Не удалось записать «%1».").arg(job.pdf));
      return;
    }
    QFile::remove(job.pdf);
    if (!QFile::rename(job.pdf + QStringLiteral(".part"), job.pdf)) {
      QFile::remove(job.pdf + QStringLiteral(".part"));
      Finish(QStringLiteral("Не удалось записать «%1».").arg(job.pdf));
      return;
    }
    Finish(QString());
  };
  if (job.pages.size() == 1) {
    place(job.pages.front());
    return;
  }
  cold_ = std::make_unique<QProcess>();
  cold_->setProgram(QStringLiteral("pdfunite"));
  cold_->setArguments(job.pages + QStringList{joined});
  connect(cold_.get(), &QProcess::finished, this, [this, joined, place](int code, QProcess::ExitStatus status) {
    cold_->deleteLater();
    cold_.release();
    if (status != QProcess::NormalExit || code != 0 || !QFileInfo::exists(joined)) {
      Finish(QStringLiteral("Не удалось собрать формы в один PDF (pdfunite)."));
      return;
    }
    place(joined);
  });
  connect(cold_.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    cold_->deleteLater();
    cold_.release();
    Finish(QStringLiteral("Не найдена программа pdfunite (пакет poppler-utils), которая собирает формы в один PDF."));
  });
  cold_->start();
}

void PdfService::Finish(const QString& message) {
  limit_->stop();
  if (jobs_.empty()) return;
  const Job job = jobs_.front();
  jobs_.pop_front();
  running_ = false;
  if (!job.folder.isEmpty()) QDir(job.folder).removeRecursively();
  emit Finished(job.id, message);
  QTimer::singleShot(0, this, &PdfService::Next);
}

}  // namespace printing
