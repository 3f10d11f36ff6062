// A spreadsheet application that records every call made to it, one line a
// call, and can be told to fail at the first call that starts with a given
// text.
#pragma once

#include <QStringList>
#include <memory>
#include <ostream>

#include "printing/spreadsheet.h"

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* os) {
  *os << "{\n";
  for (const QString& s : list) *os << "  " << s.toStdString() << "\n";
  *os << "}";
}

namespace printing {

struct CallLog {
  QStringList calls;
  QString failAt;  // prefix of the call that raises, empty for none

  void Record(const QString& call) {
    calls << call;
    if (!failAt.isEmpty() && call.startsWith(failAt)) throw PrintError(QStringLiteral("отказ: ") + call);
  }
  // The calls that write cells, "Cells(r,c)=..." only.
  QStringList Cells() const { return calls.filter(QStringLiteral("Cells(")); }
};

class RecordingSheet final : public Worksheet {
 public:
  RecordingSheet(CallLog& log, int index) : log_(log), index_(index) {}
  ~RecordingSheet() override { log_.calls << QStringLiteral("Release sheet %1").arg(index_); }
  void SetCell(int row, int column, const QString& text) override {
    log_.Record(QStringLiteral("Cells(%1,%2)='%3'").arg(row).arg(column).arg(text));
  }
  void SetCell(int row, int column, tdb::TCurrency amount) override {
    log_.Record(QStringLiteral("Cells(%1,%2)=CY %3").arg(row).arg(column).arg(amount.value));
  }
  void SetPicture(const QString& name, const QByteArray& png) override {
    log_.Record(QStringLiteral("Picture %1 %2").arg(name, png.startsWith("\x89PNG") ? "PNG" : "not PNG"));
  }
  void Activate() override { log_.Record(QStringLiteral("Activate %1").arg(index_)); }

 private:
  CallLog& log_;
  int index_;
};

class RecordingBook final : public Workbook {
 public:
  explicit RecordingBook(CallLog& log) : log_(log) {}
  ~RecordingBook() override { log_.calls << QStringLiteral("Release workbook"); }
  std::unique_ptr<Worksheet> Worksheets(int index) override {
    log_.Record(QStringLiteral("Worksheets(%1)").arg(index));
    return std::make_unique<RecordingSheet>(log_, index);
  }

 private:
  CallLog& log_;
};

class RecordingApplication final : public SpreadsheetApplication {
 public:
  explicit RecordingApplication(CallLog& log) : log_(log) {}
  ~RecordingApplication() override { log_.calls << QStringLiteral("Release application"); }
  void SetVisible(bool visible) override { log_.Record(QStringLiteral("Visible=%1").arg(visible)); }
  void SetEnableEvents(bool enable) override { log_.Record(QStringLiteral("EnableEvents=%1").arg(enable)); }
  std::unique_ptr<Workbook> Open(const QString& path) override {
    log_.Record(QStringLiteral("Open %1").arg(path));
    return std::make_unique<RecordingBook>(log_);
  }

 private:
  CallLog& log_;
};

inline SpreadsheetStarter RecordingStarter(CallLog& log) {
  return [&log]() -> std::unique_ptr<SpreadsheetApplication> {
    log.Record(QStringLiteral("Create"));
    return std::make_unique<RecordingApplication>(log);
  };
}

}  // namespace printing
