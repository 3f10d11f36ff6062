// The spreadsheet application as the print commands drive it.
//
// One print makes these calls, in this order, on the user-interface thread:
// start the application (a SpreadsheetStarter), SetVisible(false),
// SetEnableEvents(false), Open(template path), Worksheets(i) and SetCell on
// it as often as the form needs, SetPicture for the payment code,
// SetVisible(true), Activate on the worksheet written last, and then the
// release of the worksheet, the workbook and the application, in that order
// (destroying the objects).  The program never saves, closes or prints the
// workbook itself: the filled form is handed to the user in the application.
//
// Any call may fail by raising an exception whose what() is a message for
// the user (UTF-8); the print command then ends at that step and releases
// what it holds.  Worksheets and workbooks may be released in any order; the
// objects share what they need.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>

#include "engine/dataset/currency.h"

namespace printing {

// A failure of printing, with its message for the user.
class PrintError : public std::runtime_error {
 public:
  explicit PrintError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

class Worksheet {
 public:
  virtual ~Worksheet() = default;
  // Cells(row, column) := value; both count from 1, row first.  Text goes as
  // it is, untrimmed; an amount goes as a number.
  virtual void SetCell(int row, int column, const QString& text) = 0;
  virtual void SetCell(int row, int column, tdb::TCurrency amount) = 0;
  // Puts the PNG picture `png` in place of the sheet's picture named `name`,
  // in the placeholder's frame.
  virtual void SetPicture(const QString& name, const QByteArray& png) = 0;
  // Makes this the worksheet the user sees first.
  virtual void Activate() = 0;
};

class Workbook {
 public:
  virtual ~Workbook() = default;
  // The worksheet at `index`, counted from 1.
  virtual std::unique_ptr<Worksheet> Worksheets(int index) = 0;
};

class SpreadsheetApplication {
 public:
  virtual ~SpreadsheetApplication() = default;
  virtual void SetVisible(bool visible) = 0;
  virtual void SetEnableEvents(bool enable) = 0;
  // WorkBooks.Open(path): loads the workbook at the full path `path`.
  virtual std::unique_ptr<Workbook> Open(const QString& path) = 0;
};

// Creates the application.  May answer nullptr when the user gave the
// command up at this point (the print then ends quietly).
using SpreadsheetStarter = std::function<std::unique_ptr<SpreadsheetApplication>()>;

}  // namespace printing
