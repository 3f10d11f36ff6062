// Filled forms turned into one PDF without holding up the window: the
// renderer behind the print preview.
//
// Rendering runs as processes the event loop watches, never on the calling
// thread: Render returns at once and Finished reports the outcome.  Several
// workbooks become one PDF, one form a page, in the order given (each is
// rendered, then the pages are joined with pdfunite).
//
// The first start of LibreOffice takes seconds, so the service keeps one
// office running once it has started it: a small helper in LibreOffice's
// own Python (python3-uno) holds it open and converts on request over a
// private pipe, and every later render skips the start.  Without that
// helper each render starts `soffice --headless --convert-to pdf` of its
// own, as the "Сохранить в PDF…" command does.  The office runs in its own
// process group with a profile of its own, and is ended with everything it
// started when the service is destroyed.  One render at a time: a Render
// while one runs waits for it.  User-interface thread only.
#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <memory>

#include "printing/pdf_export.h"

namespace printing {

class PdfService final : public QObject {
  Q_OBJECT
 public:
  // `renderer` names soffice, the profile folder (the kept office uses one
  // beside it, "-warm") and the time limit of one render.
  explicit PdfService(PdfRenderer renderer, QObject* parent = nullptr);
  ~PdfService() override;
  PdfService(const PdfService&) = delete;
  PdfService& operator=(const PdfService&) = delete;

  // Starts the kept office now, so that the first render finds it ready.
  void Warm();

  // Renders `workbooks` into the PDF `pdf` (replaced); answers the job's
  // number, which Finished carries.
  int Render(const QStringList& workbooks, const QString& pdf);

  // Whether renders go through the kept office (false until it is ready,
  // and for good once it has failed to start).
  bool warm() const { return helperReady_; }

 signals:
  // `message` is empty on success, otherwise what went wrong, for the user.
  void Finished(int job, const QString& message);

 private:
  struct Job {
    int id;
    QStringList workbooks;
    QString pdf;
    QStringList pages;  // PDFs made so far
    QString folder;     // where they are made
  };

  void StartHelper();
  void OnHelperOutput();
  void OnHelperGone();
  void Next();
  void ConvertNextWithHelper();
  void ConvertCold();
  void Join();
  void Finish(const QString& message);

  PdfRenderer renderer_;
  std::unique_ptr<QProcess> helper_;  // the Python helper and its office
  QByteArray helperOutput_;
  bool helperReady_ = false;
  bool helperFailed_ = false;
  std::unique_ptr<QProcess> cold_;   // a one-off soffice or pdfunite
  std::deque<Job> jobs_;             // front: the job running
  bool running_ = false;
  int nextId_ = 1;
  QTimer* limit_ = nullptr;
};

}  // namespace printing
