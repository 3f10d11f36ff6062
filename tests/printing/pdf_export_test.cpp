// The PDF command: the file the user named, nothing else left behind, and a
// LibreOffice that is missing, fails or hangs ending the command with a
// message and no process of ours still running.
#include "printing/pdf_export.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "printing/xlsx_spreadsheet.h"
#include "support/receipt_fixture.h"

namespace printing {
namespace {

// Whether the process `pid` is gone (or only waits to be reaped).
bool Gone(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return true;
  const QByteArray s = stat.readAll();
  return s.mid(s.lastIndexOf(')') + 2, 1) == "Z";
}

class PdfExportTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

  // A stand-in for soffice made of a shell script.
  QString Script(const char* name, const QString& body) {
    const QString path = dir_.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(("#!/bin/sh\n" + body + "\n").toUtf8());
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
  }

  std::string Failure(const PdfRenderer& r, const QString& pdf) {
    try {
      RenderPdf(r, FORMIX_PROGRAM_DIR "f4pd.xlsx", pdf);
    } catch (const PrintError& e) {
      return e.what();
    }
    return "<no error>";
  }

  QTemporaryDir dir_;
};

TEST_F(PdfExportTest, HangingLibreOfficeIsStoppedWithEverythingItStarted) {
  const QString pids = dir_.filePath("pids");
  PdfRenderer r;
  r.profileDir = dir_.filePath("profile");
  r.timeoutMs = 500;
  // Like the real launcher: it starts the office process and waits for it.
  r.soffice = Script("hang", QStringLiteral("sleep 300 &\necho $! > '%1'\nwait").arg(pids));
  const QString pdf = dir_.filePath("out.pdf");
  EXPECT_NE(Failure(r, pdf).find("не закончил работу"), std::string::npos);
  EXPECT_FALSE(QFile::exists(pdf));

  QFile f(pids);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const qint64 child = f.readAll().trimmed().toLongLong();
  ASSERT_GT(child, 0);
  QElapsedTimer t;
  t.start();
  while (!Gone(child) && t.elapsed() < 5000) QThread::msleep(20);
  EXPECT_TRUE(Gone(child));
  if (!Gone(child)) ::kill(static_cast<pid_t>(child), SIGKILL);
}

TEST_F(PdfExportTest, MissingOrFailingLibreOfficeEndsWithAMessage) {
  PdfRenderer r;
  r.profileDir = dir_.filePath("profile");
  r.soffice = dir_.filePath("no-soffice-here");
  const QString pdf = dir_.filePath("out.pdf");
  EXPECT_NE(Failure(r, pdf).find("Не удалось запустить LibreOffice"), std::string::npos);

  r.soffice = Script("fails", "echo 'Error: source file could not be loaded' >&2; exit 1");
  const std::string failed = Failure(r, pdf);
  EXPECT_NE(failed.find("LibreOffice не смог создать PDF"), std::string::npos);
  EXPECT_NE(failed.find("could not be loaded"), std::string::npos);

  // Exits well but makes nothing.
  r.soffice = Script("nothing", "exit 0");
  EXPECT_NE(Failure(r, pdf).find("не смог создать PDF"), std::string::npos);
  EXPECT_FALSE(QFile::exists(pdf));
}

TEST_F(PdfExportTest, ReceiptGoesToTheNamedFileOnly) {
  if (QStandardPaths::findExecutable("soffice").isEmpty())
    GTEST_SKIP() << "LibreOffice (soffice) is not installed; scripts/install-deps installs it";
  PdfRenderer r;
  r.profileDir = dir_.filePath("profile");
  r.timeoutMs = 120000;
  const QString pdf = dir_.filePath("квитанция.pdf");
  QFile old(pdf);
  old.open(QIODevice::WriteOnly);
  old.write("an older file the user chose to replace");
  old.close();
  // A temporary folder of the test's own, so that other tests' work does
  // not show in it.
  const QByteArray tmpBefore = qgetenv("TMPDIR");
  QDir(dir_.path()).mkpath("tmp");
  qputenv("TMPDIR", dir_.filePath("tmp").toUtf8());

  int asked = 0;
  SaveReceiptPdf(
      receipts::FullPd4Receipt(), FORMIX_PROGRAM_DIR, [](const QStringList&) { return 0; },
      [&] {
        ++asked;
        return pdf;
      },
      r);
  if (tmpBefore.isNull()) qunsetenv("TMPDIR"); else qputenv("TMPDIR", tmpBefore);
  EXPECT_EQ(asked, 1);
  QFile made(pdf);
  ASSERT_TRUE(made.open(QIODevice::ReadOnly));
  EXPECT_TRUE(made.read(5) == "%PDF-");
  // The filled copy and LibreOffice's own output are gone.
  EXPECT_EQ(QDir(dir_.filePath("tmp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList({"квитанция.pdf"}));
}

TEST_F(PdfExportTest, NoFileNameOrACancelledChooserStartsNothing) {
  PdfRenderer r;
  r.soffice = Script("never", QStringLiteral("touch '%1'").arg(dir_.filePath("started")));
  r.profileDir = dir_.filePath("profile");
  int asked = 0;
  auto noName = [&] {
    ++asked;
    return QString();
  };
  SaveReceiptPdf(receipts::FullPd4Receipt(), FORMIX_PROGRAM_DIR, [](const QStringList&) { return 0; }, noName, r);
  EXPECT_EQ(asked, 1);
  // A tax receipt asks for the form first; a cancel there asks nothing more.
  SaveReceiptPdf(receipts::FullTaxReceipt(), FORMIX_PROGRAM_DIR,
                 [](const QStringList&) { return std::optional<int>(); }, noName, r);
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(QFile::exists(dir_.filePath("started")));
}

}  // namespace
}  // namespace printing
