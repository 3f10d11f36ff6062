// The .xlsx application behind the print commands' spreadsheet interface.
#include "printing/xlsx_spreadsheet.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include "printing/xlsx_workbook.h"

namespace printing {
namespace {

// Filled copies are left for the spreadsheet application to read; those of
// earlier prints go once they are this old, so that the temporary folder
// does not fill up over months of printing.
constexpr qint64 kCopyLifetimeDays = 7;

void RemoveOldCopies(const QString& tempRoot) {
  const QDateTime oldest = QDateTime::currentDateTime().addDays(-kCopyLifetimeDays);
  QDirIterator it(tempRoot, {QStringLiteral("formix-print-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
  while (it.hasNext()) {
    const QFileInfo folder(it.next());
    if (folder.lastModified() < oldest) QDir(folder.filePath()).removeRecursively();
  }
}

// What an application, its workbook and its worksheets share.
struct Session {
  Presenter present;
  QString tempRoot;
  QString templateName;
  std::unique_ptr<XlsxWorkbook> book;
  bool visible = false;
  bool activated = false;
  bool shown = false;

  // The filled copy goes out once, when the user can be shown the finished
  // workbook.
  void ShowWhenReady() {
    if (!visible || !activated || shown || !book) return;
    RemoveOldCopies(tempRoot);
    QTemporaryDir dir(tempRoot + QStringLiteral("/formix-print-XXXXXX"));
    if (!dir.isValid())
      throw PrintError(QStringLiteral("Не удалось создать временную папку в «%1»: %2").arg(tempRoot, dir.errorString()));
    const QString path = dir.filePath(templateName);
    book->Save(path.toStdString());
    // The folder stays: the spreadsheet application reads the copy from it
    // after this command has ended.
    dir.setAutoRemove(false);
    shown = true;
    present(path);
  }
};

class XlsxSheet final : public Worksheet {
 public:
  XlsxSheet(std::shared_ptr<Session> session, int index) : session_(std::move(session)), index_(index) {}
  void SetCell(int row, int column, const QString& text) override {
    session_->book->SetText(index_, row, column, text.toStdString());
  }
  void SetCell(int row, int column, tdb::TCurrency amount) override {
    session_->book->SetNumber(index_, row, column, amount.ToString('.'));
  }
  void SetPicture(const QString& name, const QByteArray& png) override {
    session_->book->ReplacePicture(index_, name.toStdString(), png.toStdString());
  }
  void Activate() override {
    session_->book->SetActiveSheet(index_);
    session_->activated = true;
    session_->ShowWhenReady();
  }

 private:
  std::shared_ptr<Session> session_;
  int index_;
};

class XlsxBook final : public Workbook {
 public:
  explicit XlsxBook(std::shared_ptr<Session> session) : session_(std::move(session)) {}
  std::unique_ptr<Worksheet> Worksheets(int index) override {
    if (index < 1 || index > session_->book->SheetCount())
      throw PrintError(QStringLiteral("В шаблоне «%1» нет листа %2.")
                           .arg(QString::fromStdString(session_->book->path()))
                           .arg(index));
    return std::make_unique<XlsxSheet>(session_, index);
  }

 private:
  std::shared_ptr<Session> session_;
};

class XlsxApplication final : public SpreadsheetApplication {
 public:
  explicit XlsxApplication(std::shared_ptr<Session> session) : session_(std::move(session)) {}
  void SetVisible(bool visible) override {
    session_->visible = visible;
    session_->ShowWhenReady();
  }
  void SetEnableEvents(bool) override {}  // a file has no event handlers to run
  std::unique_ptr<Workbook> Open(const QString& path) override {
    session_->book = XlsxWorkbook::Load(path.toStdString());
    session_->templateName = QFileInfo(path).fileName();
    return std::make_unique<XlsxBook>(session_);
  }

 private:
  std::shared_ptr<Session> session_;
};

}  // namespace

bool DesktopOpensSpreadsheets() {
  // The desktop's associations, as xdg-open finds them: the user's and the
  // system's mimeapps.list, and the caches of the installed applications.
  static const QString kXlsx = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet=");
  QStringList files;
  for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation))
    files << dir + QStringLiteral("/mimeapps.list");
  for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation))
    files << dir + QStringLiteral("/mimeapps.list") << dir + QStringLiteral("/mimeinfo.cache");
  for (const QString& name : files) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) continue;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
      if (line.startsWith(kXlsx) && line.size() > kXlsx.size()) return true;
  }
  return false;
}

void OpenWithDesktop(const QString& path) {
  // xdg-open runs detached and cannot report a missing application, so the
  // association is looked up first.
  if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty() || !DesktopOpensSpreadsheets())
    throw PrintError(QStringLiteral("Не найдена программа для работы с таблицами (например, LibreOffice Calc), "
                                    "в которой открывается заполненная форма «%1».")
                         .arg(path));
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
    throw PrintError(
        QStringLiteral("Не удалось открыть заполненную форму «%1»: не найдена программа для работы с таблицами.")
            .arg(path));
}

SpreadsheetStarter XlsxStarter(Presenter present, QString tempRoot) {
  return [present = std::move(present), tempRoot = std::move(tempRoot)]() -> std::unique_ptr<SpreadsheetApplication> {
    auto session = std::make_shared<Session>();
    session->present = present;
    session->tempRoot = tempRoot;
    return std::make_unique<XlsxApplication>(std::move(session));
  };
}

}  // namespace printing
