// The print preview window.
#include "printing/print_preview.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfView>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "printing/pdf_service.h"

namespace printing {

QString WithPdfExtension(const QString& path) {
  if (path.isEmpty() || path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) return path;
  return path + QStringLiteral(".pdf");
}

PrintPreview::PrintPreview(PdfService& service, QWidget* parent)
    : QDialog(parent), service_(service), document_(new QPdfDocument(this)) {
  setWindowTitle(QStringLiteral("Предварительный просмотр"));
  setAccessibleName(windowTitle());
  resize(760, 900);

  status = new QLabel(this);
  status->setWordWrap(true);
  status->setAccessibleName(QStringLiteral("Состояние"));
  progress = new QProgressBar(this);
  progress->setRange(0, 0);  // busy: LibreOffice says nothing of its progress
  progress->setTextVisible(false);
  progress->setAccessibleName(QStringLiteral("Подготовка формы"));
  view = new QPdfView(this);
  view->setDocument(document_);
  view->setPageMode(QPdfView::PageMode::MultiPage);
  view->setZoomMode(QPdfView::ZoomMode::FitToWidth);
  view->setAccessibleName(QStringLiteral("Форма"));

  auto* buttons = new QDialogButtonBox(this);
  printButton = buttons->addButton(QStringLiteral("Печать"), QDialogButtonBox::ActionRole);
  saveButton = buttons->addButton(QStringLiteral("Сохранить PDF…"), QDialogButtonBox::ActionRole);
  QPushButton* close = buttons->addButton(QStringLiteral("Закрыть"), QDialogButtonBox::RejectRole);
  for (QPushButton* b : {printButton, saveButton, close}) {
    b->setAccessibleName(b->text());
    b->setAutoDefault(false);
  }
  connect(printButton, &QPushButton::clicked, this, &PrintPreview::Print);
  connect(saveButton, &QPushButton::clicked, this, &PrintPreview::SavePdf);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(status);
  layout->addWidget(progress);
  layout->addWidget(view, 1);
  layout->addWidget(buttons);

  connect(&service_, &PdfService::Finished, this, &PrintPreview::OnFinished);

  askSavePath = [this](const QString& suggested) {
    QFileDialog dialog(this, QStringLiteral("Сохранить PDF"), suggested, QStringLiteral("PDF (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The question comes after ".pdf" is added, from SavePdf.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
  };
  confirmReplace = [this](const QString& path) {
    return QMessageBox::question(this, windowTitle(),
                                 QStringLiteral("Файл «%1» уже есть. Заменить его?").arg(QFileInfo(path).fileName())) ==
           QMessageBox::Yes;
  };
  inform = [this](const QString& text) { QMessageBox::information(this, windowTitle(), text); };
  warn = [this](const QString& text) { QMessageBox::warning(this, windowTitle(), text); };
  print = [this](QPdfDocument& document) { PrintWithDialog(document); };
}

PrintPreview::~PrintPreview() {
  document_->close();
  ForgetWorkbooks();
}

int PrintPreview::pageCount() const { return document_->pageCount(); }

void PrintPreview::ForgetWorkbooks() {
  // Each filled copy lives in a folder of its own (FillWorkbook).
  for (const QString& workbook : workbooks_) QDir(QFileInfo(workbook).absolutePath()).removeRecursively();
  workbooks_.clear();
}

void PrintPreview::ShowForms(const QStringList& workbooks, const QString& suggestedName, const QStringList& notes) {
  pendingSave_.clear();  // a save asked for forms no longer shown is dropped
  document_->close();
  ForgetWorkbooks();
  workbooks_ = workbooks;
  suggestedName_ = suggestedName;
  folder_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/formix-view-XXXXXX"));
  QString text = workbooks.size() == 1 ? QStringLiteral("Подготовка формы…")
                                       : QStringLiteral("Подготовка форм (%1)…").arg(workbooks.size());
  if (!notes.isEmpty()) text += QStringLiteral("\n") + notes.join(QLatin1Char('\n'));
  status->setText(text);
  progress->show();
  printButton->setEnabled(false);
  saveButton->setEnabled(false);
  job_ = service_.Render(workbooks, folder_->filePath(QStringLiteral("forms.pdf")));
  status->setProperty("notes", notes);
}

bool PrintPreview::SaveForms(const QStringList& workbooks, const QString& suggestedName, const QStringList& notes) {
  const QString path = AskTarget(suggestedName);
  if (path.isEmpty()) {
    for (const QString& workbook : workbooks) QDir(QFileInfo(workbook).absolutePath()).removeRecursively();
    return false;
  }
  ShowForms(workbooks, suggestedName, notes);
  pendingSave_ = path;
  status->setText(status->text() + QStringLiteral("\nФайл будет сохранён в «%1».").arg(QDir::toNativeSeparators(path)));
  return true;
}

void PrintPreview::OnFinished(int job, const QString& message) {
  if (job != job_) return;
  job_ = 0;
  progress->hide();
  const QString save = pendingSave_;
  pendingSave_.clear();
  const QStringList notes = status->property("notes").toStringList();
  QString failure = message;
  if (failure.isEmpty()) {
    document_->load(folder_->filePath(QStringLiteral("forms.pdf")));
    if (document_->status() != QPdfDocument::Status::Ready)
      failure = QStringLiteral("Не удалось открыть подготовленную форму.");
  }
  if (!failure.isEmpty()) {
    status->setText(failure);
    // A save the user asked for does not end in silence.
    if (!save.isEmpty()) warn(QStringLiteral("Файл «%1» не сохранён. %2").arg(QFileInfo(save).fileName(), failure));
    emit Rendered(failure);
    return;
  }
  status->setText(notes.isEmpty() ? QStringLiteral("Страниц: %1").arg(document_->pageCount())
                                  : notes.join(QLatin1Char('\n')));
  printButton->setEnabled(true);
  saveButton->setEnabled(true);
  if (!save.isEmpty()) WriteTo(save);
  emit Rendered(QString());
}

void PrintPreview::Print() {
  if (document_->status() != QPdfDocument::Status::Ready) return;
  print(*document_);
}

void PrintPreview::PrintWithDialog(QPdfDocument& document) {
  QPrinter printer;
  // Pages go as pictures: 300 dpi is sharp on paper and a page stays ~35 MB.
  printer.setResolution(300);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setFullPage(true);  // the forms carry their own margins
  printer.setFromTo(1, document.pageCount());
  QPrintDialog dialog(&printer, this);
  dialog.setWindowTitle(QStringLiteral("Печать"));
  if (dialog.exec() != QDialog::Accepted) return;
  int first = 0, last = document.pageCount() - 1;
  if (printer.printRange() == QPrinter::PageRange) {
    first = std::max(0, printer.fromPage() - 1);
    last = std::min(last, printer.toPage() - 1);
  }
  QPainter painter;
  if (!painter.begin(&printer)) {
    warn(QStringLiteral("Не удалось начать печать на «%1».").arg(printer.printerName()));
    return;
  }
  for (int page = first; page <= last; ++page) {
    if (page > first) printer.newPage();
    const QRect target = painter.viewport();
    const QImage image = document.render(page, target.size());
    painter.drawImage(target, image);
  }
  painter.end();
}

void PrintPreview::SavePdf() {
  if (document_->status() != QPdfDocument::Status::Ready) return;
  const QString path = AskTarget(suggestedName_);
  if (!path.isEmpty()) WriteTo(path);
}

QString PrintPreview::AskTarget(const QString& suggestedName) {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  const QString path = WithPdfExtension(askSavePath(QDir(folder).filePath(suggestedName)));
  if (path.isEmpty()) return path;
  if (QFileInfo::exists(path) && !confirmReplace(path)) return QString();
  return path;
}

void PrintPreview::WriteTo(const QString& path) {
  const QString made = folder_->filePath(QStringLiteral("forms.pdf"));
  const QString part = path + QStringLiteral(".part");
  QFile::remove(part);
  if (!QFile::copy(made, part)) {
    warn(QStringLiteral("Не удалось записать «%1».").arg(path));
    return;
  }
  QFile::remove(path);
  if (!QFile::rename(part, path)) {
    QFile::remove(part);
    warn(QStringLiteral("Не удалось записать «%1».").arg(path));
    return;
  }
  inform(QStringLiteral("Сохранено в «%1».").arg(QDir::toNativeSeparators(path)));
}

}  // namespace printing
