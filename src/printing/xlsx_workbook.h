// An .xlsx workbook held in memory and filled in place: the spreadsheet
// templates' backend.
//
// Load reads every part of the package (a zip archive); the worksheets are
// found through the workbook's relationships, in the workbook's order.  Cell
// writes edit the sheet's XML: a written cell keeps its style, loses its old
// content and formula, and gets an inline string or a number; a missing row
// or cell is created in its place in the order.  On Save every formula loses
// its saved result, so that the spreadsheet computes it from the written
// values, and the package is written as a new file; the loaded file is never
// touched.
//
// Errors raise XlsxError with a message for the user (Russian, UTF-8).  One
// object is used by one thread at a time.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
class xml_document;
}

namespace printing {

class XlsxError : public std::runtime_error {
 public:
  explicit XlsxError(const std::string& message) : std::runtime_error(message) {}
};

class XlsxWorkbook {
 public:
  // Reads the package at `path` (UTF-8).  Raises XlsxError when it is
  // missing, unreadable, not a workbook, or implausibly large.
  static std::unique_ptr<XlsxWorkbook> Load(const std::string& path);
  ~XlsxWorkbook();
  XlsxWorkbook(const XlsxWorkbook&) = delete;
  XlsxWorkbook& operator=(const XlsxWorkbook&) = delete;

  int SheetCount() const { return static_cast<int>(sheets_.size()); }
  // REQUIRES for the calls below: 1 <= sheet <= SheetCount(), row and column
  // >= 1 (checked: anything else raises XlsxError).
  // Text is UTF-8; characters XML cannot hold are left out.
  void SetText(int sheet, int row, int column, std::string_view text);
  // `number` is a decimal number in the C locale ("1500.5").
  void SetNumber(int sheet, int row, int column, std::string_view number);
  // Points the sheet's picture named `name` (its name or description) at the
  // PNG `png`, in the placeholder's frame.  Raises XlsxError when the sheet
  // has no such picture.
  void ReplacePicture(int sheet, std::string_view name, std::string png);
  // The sheet shown first when the workbook is opened.
  void SetActiveSheet(int sheet);
  // Writes the workbook to `path`, which must not exist yet.
  void Save(const std::string& path);

  // The source path, for messages.
  const std::string& path() const { return path_; }

 private:
  XlsxWorkbook() = default;
  struct Sheet {
    std::string part;  // "xl/worksheets/sheet1.xml"
  };
  pugi::xml_document& Xml(const std::string& part);
  std::string* Bytes(const std::string& part);
  const Sheet& SheetAt(int sheet) const;
  void SetCell(int sheet, int row, int column, std::string_view value, bool text);
  [[noreturn]] void Fail(const std::string& what) const;

  std::string path_;
  std::vector<std::pair<std::string, std::string>> parts_;  // name, bytes, in package order
  std::map<std::string, std::unique_ptr<pugi::xml_document>> xml_;  // parts edited, by name
  std::vector<Sheet> sheets_;
  int pictures_ = 0;
};

}  // namespace printing
