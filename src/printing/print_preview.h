// "Предварительный просмотр": the filled forms as they will print, with
// "Печать" (the system's printers, through the print dialog) and
// "Сохранить PDF…".
//
// The window is given filled workbooks (FillWorkbook) and shows them as one
// document, one form a page, once the PdfService has rendered them; until
// then it shows a busy bar and stays responsive (the render runs as
// processes).  Saving asks for a file, adds ".pdf" when it is missing, asks
// before replacing an existing file (after the extension is added, so that
// "Квитанция 5" does not silently replace "Квитанция 5.pdf"), and says where
// the file went.  "Сохранить в PDF…" of the register comes the same way
// (SaveForms): the file is asked for first and written once the forms are
// ready, while the window shows them and its busy bar.  The questions, messages, the save dialog and the print
// dialog are members, so that tests answer them.  The workbooks and the
// rendered PDF are removed when the window is done with them.
// User-interface thread only; the service must outlive the window.
#pragma once

#include <QDialog>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class QLabel;
class QPdfDocument;
class QPdfView;
class QProgressBar;
class QPushButton;

namespace printing {

class PdfService;

// A file name as saved: `path` with ".pdf" added when it has no such
// extension (in any letter case).
QString WithPdfExtension(const QString& path);

class PrintPreview final : public QDialog {
  Q_OBJECT
 public:
  PrintPreview(PdfService& service, QWidget* parent = nullptr);
  ~PrintPreview() override;

  // Renders `workbooks` (filled copies; their folders are removed later) and
  // shows them; `suggestedName` is offered by "Сохранить PDF…" ("Квитанция
  // 5.pdf"); `notes` are shown above the forms (fields that do not fit).
  void ShowForms(const QStringList& workbooks, const QString& suggestedName, const QStringList& notes = {});
  // "Сохранить в PDF…" without looking first: asks for the file as
  // "Сохранить PDF…" does (the extension, the question before replacing),
  // then shows the forms as ShowForms does, with its busy bar, and writes
  // the file once they are ready, saying where it went.  False when the
  // user cancelled (nothing shown; the workbooks are removed).
  bool SaveForms(const QStringList& workbooks, const QString& suggestedName, const QStringList& notes = {});

  // The filled copies shown, in page order.
  const QStringList& workbooks() const { return workbooks_; }
  // Whether a render is under way.
  bool rendering() const { return job_ != 0; }
  int pageCount() const;

  // Seams.  Where to save, given the suggested path; empty cancels.
  std::function<QString(const QString& suggested)> askSavePath;
  // Whether to replace the existing file `path`.
  std::function<bool(const QString& path)> confirmReplace;
  std::function<void(const QString& text)> inform;
  std::function<void(const QString& text)> warn;
  // Prints the document; by default the print dialog, then each page at the
  // printer's resolution.
  std::function<void(QPdfDocument& document)> print;

  // The commands, as the buttons run them.
  void Print();
  void SavePdf();

  QPushButton* printButton;
  QPushButton* saveButton;
  QProgressBar* progress;
  QLabel* status;
  QPdfView* view;

 signals:
  // The forms are shown (or `failure` says why they are not).
  void Rendered(const QString& failure);

 private:
  void OnFinished(int job, const QString& message);
  // Where to save: the answer of askSavePath with ".pdf", after the
  // question before replacing; empty when cancelled.
  QString AskTarget(const QString& suggestedName);
  // Writes the rendered document to `path` in one rename and says so.
  void WriteTo(const QString& path);
  void PrintWithDialog(QPdfDocument& document);
  void ForgetWorkbooks();

  PdfService& service_;
  QPdfDocument* document_;
  std::unique_ptr<QTemporaryDir> folder_;  // the rendered PDF
  QStringList workbooks_;
  QString suggestedName_;
  int job_ = 0;
  QString pendingSave_;  // where SaveForms writes once the render is done
};

}  // namespace printing
