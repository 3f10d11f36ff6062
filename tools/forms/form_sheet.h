// A small vocabulary for laying out a bank form on a worksheet: columns and
// rows in millimetres, captions, the lines the print writes on, rows of
// one-character boxes, formulas that repeat a value elsewhere on the form,
// and the placeholder picture of the payment code.  A thin layer over
// libxlsxwriter; ranges are written as in a spreadsheet ("D2:N2", "A1").
#pragma once

#include <xlsxwriter.h>

#include <string>

namespace forms {

// The looks a cell of a form can have.
enum class Look {
  kPartName,    // "Извещение", "Квитанция": bold, centred, in the left column
  kCashier,     // "Кассир" at the foot of the left column
  kFormTitle,   // "Форма № ПД-4": small italic, right
  kLabel,       // a label before a line: small, left
  kLabelRight,  // a label that ends at its line: small, right
  kCaption,     // the small caption under a line, centred
  kNote,        // small print, wrapped
  kField,       // a line the print writes on: underlined, left, one line
  kFieldCentre, // the same, centred
  kFieldRight,  // the same, right-aligned (roubles)
  kFieldWrap,   // a long value: underlined, wrapped onto the lines of its row
  kMoney,       // an amount written as a number: "5 430,50", underlined
  kBox,         // one character in a framed box
  kPlain,       // text without lines
};

class FormBook;

class FormSheet {
 public:
  FormSheet(FormBook& book, lxw_worksheet* sheet) : book_(book), sheet_(sheet) {}

  // Widths of columns `first` to `last` ("A", "D"), each `mm` wide.
  FormSheet& Columns(const char* first, const char* last, double mm);
  // Height of `row` (counted from 1), in millimetres.
  FormSheet& Row(int row, double mm);
  // Text in a cell or merged range.
  FormSheet& Text(const char* range, const std::string& text, Look look);
  // An empty line the print writes on (the cell or merged range).  A
  // `prefix` is shown before the written text ("КБК: 1821..."), where the
  // form has no room for a label of its own.
  FormSheet& Field(const char* range, Look look = Look::kField, const char* prefix = nullptr);
  // A formula in a cell or merged range ("=D2"); `prefix` as for Field.
  FormSheet& Formula(const char* range, const std::string& formula, Look look = Look::kField,
                     const char* prefix = nullptr);
  // `count` framed one-character boxes from `first` along its row.
  FormSheet& Boxes(const char* first, int count);
  // Boxes that repeat those at `source` (same count) by formulas.
  FormSheet& BoxesFrom(const char* first, const char* source, int count);
  // The placeholder picture `name` at `cell`, a square `mm` wide: blank white
  // until the print puts the payment code in it.
  FormSheet& Picture(const char* cell, const char* name, double mm);
  // A dashed cutting line along the top of `row`, columns `first` to `last`.
  FormSheet& CutLine(int row, const char* first, const char* last);
  // A line down the right edge of column `column`, rows `first` to `last`.
  FormSheet& RightEdge(const char* column, int first, int last);
  // Page setup: A4 portrait, narrow margins, the form fitted on one page.
  FormSheet& Page();
  FormSheet& Hide();

 private:
  FormBook& book_;
  lxw_worksheet* sheet_;
};

class FormBook {
 public:
  // Creates the workbook file at `path`; Close() writes it.
  explicit FormBook(const std::string& path);
  ~FormBook();
  FormBook(const FormBook&) = delete;
  FormBook& operator=(const FormBook&) = delete;

  FormSheet AddSheet(const char* name);
  lxw_format* Format(Look look);
  // A new format of `look` whose text is shown after `prefix`.
  lxw_format* PrefixedFormat(Look look, const char* prefix);
  lxw_format* EdgeFormat();
  lxw_format* CutFormat();
  // Writes the file; false on failure (the message is printed).
  bool Close();

 private:
  lxw_format* Make(Look look);

  lxw_workbook* book_;
  lxw_format* looks_[static_cast<int>(Look::kPlain) + 1] = {};
  lxw_format* edge_ = nullptr;
  lxw_format* cut_ = nullptr;
};

}  // namespace forms
