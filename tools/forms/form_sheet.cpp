// Lays forms out with libxlsxwriter.
#include "form_sheet.h"

#include <cstdio>
#include <stdexcept>

namespace forms {
namespace {

// The default font's character grid at 96 dots per inch: columns are given in
// pixels of it.
int MmToPixels(double mm) { return static_cast<int>(mm * 96.0 / 25.4 + 0.5); }

void Check(lxw_error error, const char* what) {
  if (error != LXW_NO_ERROR) throw std::runtime_error(std::string(what) + ": " + lxw_strerror(error));
}

struct Range {
  lxw_row_t firstRow, lastRow;
  lxw_col_t firstCol, lastCol;
  bool single() const { return firstRow == lastRow && firstCol == lastCol; }
};

Range Parse(const char* text) {
  std::string s(text);
  const auto colon = s.find(':');
  const std::string a = s.substr(0, colon);
  const std::string b = colon == std::string::npos ? a : s.substr(colon + 1);
  return {lxw_name_to_row(a.c_str()), lxw_name_to_row(b.c_str()), lxw_name_to_col(a.c_str()),
          lxw_name_to_col(b.c_str())};
}

// A white 8 x 8 PNG: the placeholder of the payment code.
const unsigned char kBlankPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x08, 0x00, 0x00, 0x00, 0x08, 0x08, 0x02, 0x00, 0x00, 0x00, 0x4b, 0x6d, 0x29, 0xdc, 0x00, 0x00, 0x00,
    0x0f, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0xf8, 0x8f, 0x03, 0x30, 0x0c, 0x2d, 0x09, 0x00, 0xba, 0x1e,
    0xbf, 0x41, 0x89, 0xe8, 0xb6, 0xbb, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

}  // namespace

FormSheet& FormSheet::Columns(const char* first, const char* last, double mm) {
  const std::string a = std::string(first) + "1", b = std::string(last) + "1";
  Check(worksheet_set_column_pixels(sheet_, lxw_name_to_col(a.c_str()), lxw_name_to_col(b.c_str()),
                                    MmToPixels(mm), nullptr),
        "columns");
  return *this;
}

FormSheet& FormSheet::Row(int row, double mm) {
  Check(worksheet_set_row_pixels(sheet_, static_cast<lxw_row_t>(row - 1), MmToPixels(mm), nullptr), "row");
  return *this;
}

FormSheet& FormSheet::Text(const char* range, const std::string& text, Look look) {
  const Range r = Parse(range);
  lxw_format* f = book_.Format(look);
  if (r.single())
    Check(worksheet_write_string(sheet_, r.firstRow, r.firstCol, text.c_str(), f), range);
  else
    Check(worksheet_merge_range(sheet_, r.firstRow, r.firstCol, r.lastRow, r.lastCol, text.c_str(), f), range);
  return *this;
}

FormSheet& FormSheet::Field(const char* range, Look look, const char* prefix) {
  if (!prefix) return Text(range, "", look);
  const Range r = Parse(range);
  lxw_format* f = book_.PrefixedFormat(look, prefix);
  if (r.single())
    Check(worksheet_write_blank(sheet_, r.firstRow, r.firstCol, f), range);
  else
    Check(worksheet_merge_range(sheet_, r.firstRow, r.firstCol, r.lastRow, r.lastCol, "", f), range);
  return *this;
}

FormSheet& FormSheet::Formula(const char* range, const std::string& formula, Look look, const char* prefix) {
  const Range r = Parse(range);
  lxw_format* f = prefix ? book_.PrefixedFormat(look, prefix) : book_.Format(look);
  if (!r.single()) Check(worksheet_merge_range(sheet_, r.firstRow, r.firstCol, r.lastRow, r.lastCol, "", f), range);
  Check(worksheet_write_formula(sheet_, r.firstRow, r.firstCol, formula.c_str(), f), range);
  return *this;
}

FormSheet& FormSheet::Boxes(const char* first, int count) {
  const Range r = Parse(first);
  for (int i = 0; i < count; ++i)
    Check(worksheet_write_blank(sheet_, r.firstRow, static_cast<lxw_col_t>(r.firstCol + i), book_.Format(Look::kBox)),
          first);
  return *this;
}

FormSheet& FormSheet::BoxesFrom(const char* first, const char* source, int count) {
  const Range r = Parse(first), s = Parse(source);
  for (int i = 0; i < count; ++i) {
    char ref[16];
    lxw_rowcol_to_cell(ref, s.firstRow, static_cast<lxw_col_t>(s.firstCol + i));
    Check(worksheet_write_formula(sheet_, r.firstRow, static_cast<lxw_col_t>(r.firstCol + i),
                                  (std::string("=") + ref).c_str(), book_.Format(Look::kBox)),
          first);
  }
  return *this;
}

FormSheet& FormSheet::Picture(const char* cell, const char* name, double mm) {
  const Range r = Parse(cell);
  lxw_image_options options = {};
  options.x_scale = options.y_scale = MmToPixels(mm) / 8.0;
  options.x_offset = options.y_offset = 4;
  options.description = const_cast<char*>(name);
  options.object_position = LXW_OBJECT_MOVE_DONT_SIZE;
  Check(worksheet_insert_image_buffer_opt(sheet_, r.firstRow, r.firstCol, kBlankPng, sizeof kBlankPng, &options),
        cell);
  return *this;
}

FormSheet& FormSheet::CutLine(int row, const char* first, const char* last) {
  const std::string a = std::string(first) + std::to_string(row), b = std::string(last) + std::to_string(row);
  const Range r = Parse((a + ":" + b).c_str());
  for (lxw_col_t c = r.firstCol; c <= r.lastCol; ++c)
    Check(worksheet_write_blank(sheet_, r.firstRow, c, book_.CutFormat()), "cut line");
  return *this;
}

FormSheet& FormSheet::RightEdge(const char* column, int first, int last) {
  for (int row = first; row <= last; ++row) {
    const std::string ref = std::string(column) + std::to_string(row);
    const Range r = Parse(ref.c_str());
    Check(worksheet_write_blank(sheet_, r.firstRow, r.firstCol, book_.EdgeFormat()), "edge");
  }
  return *this;
}

FormSheet& FormSheet::Page() {
  worksheet_set_paper(sheet_, 9);  // A4
  worksheet_set_portrait(sheet_);
  // The form prints at its own size: narrow margins leave room for it, and
  // nothing scales it down, which would shrink its smallest type below what
  // a clerk can read.
  worksheet_set_margins(sheet_, 0.25, 0.25, 0.3, 0.3);
  worksheet_set_print_scale(sheet_, 100);
  worksheet_gridlines(sheet_, LXW_HIDE_ALL_GRIDLINES);
  return *this;
}

FormSheet& FormSheet::Hide() {
  worksheet_hide(sheet_);
  return *this;
}

FormBook::FormBook(const std::string& path) : book_(workbook_new(path.c_str())) {
  if (!book_) throw std::runtime_error("cannot create " + path);
  for (int i = 0; i <= static_cast<int>(Look::kPlain); ++i) looks_[i] = Make(static_cast<Look>(i));
  edge_ = Make(Look::kPlain);
  format_set_right(edge_, LXW_BORDER_THIN);
  cut_ = Make(Look::kPlain);
  format_set_top(cut_, LXW_BORDER_DASHED);
}

lxw_format* FormBook::Make(Look look) {
  lxw_format* f = workbook_add_format(book_);
  format_set_font_name(f, "Arial");
  auto set = [&](double size, bool bold, bool italic, uint8_t align, uint8_t valign) {
    format_set_font_size(f, size);
    if (bold) format_set_bold(f);
    if (italic) format_set_italic(f);
    format_set_align(f, align);
    format_set_align(f, valign);
  };
  switch (look) {
    case Look::kPartName:
      set(9, true, false, LXW_ALIGN_CENTER, LXW_ALIGN_VERTICAL_TOP);
      format_set_right(f, LXW_BORDER_THIN);
      break;
    case Look::kCashier:
      set(9, true, false, LXW_ALIGN_CENTER, LXW_ALIGN_VERTICAL_BOTTOM);
      format_set_right(f, LXW_BORDER_THIN);
      break;
    case Look::kFormTitle:
      set(7.5, false, true, LXW_ALIGN_RIGHT, LXW_ALIGN_VERTICAL_TOP);
      break;
    case Look::kLabel:
      set(7.5, false, false, LXW_ALIGN_LEFT, LXW_ALIGN_VERTICAL_BOTTOM);
      break;
    case Look::kLabelRight:
      set(7.5, false, false, LXW_ALIGN_RIGHT, LXW_ALIGN_VERTICAL_BOTTOM);
      break;
    case Look::kCaption:
      set(7, false, false, LXW_ALIGN_CENTER, LXW_ALIGN_VERTICAL_TOP);
      break;
    case Look::kNote:
      set(7, false, false, LXW_ALIGN_LEFT, LXW_ALIGN_VERTICAL_TOP);
      format_set_text_wrap(f);
      break;
    case Look::kField:
    case Look::kFieldCentre:
    case Look::kFieldRight:
    case Look::kMoney:
      set(8.5, false, false,
          look == Look::kField ? LXW_ALIGN_LEFT : look == Look::kFieldCentre ? LXW_ALIGN_CENTER : LXW_ALIGN_RIGHT,
          LXW_ALIGN_VERTICAL_BOTTOM);
      // Grouped thousands and a decimal comma, as Russian blanks write
      // amounts, whatever the language of the machine that prints.
      if (look == Look::kMoney) format_set_num_format(f, "[$-419]#,##0.00");
      format_set_bottom(f, LXW_BORDER_THIN);
      // Never shrink-to-fit: a value keeps its size; the print makes long
      // values fit the lines their cell gives them.
      break;
    case Look::kFieldWrap:
      set(8, false, false, LXW_ALIGN_LEFT, LXW_ALIGN_VERTICAL_BOTTOM);
      format_set_text_wrap(f);
      format_set_bottom(f, LXW_BORDER_THIN);
      break;
    case Look::kBox:
      set(9, false, false, LXW_ALIGN_CENTER, LXW_ALIGN_VERTICAL_CENTER);
      format_set_border(f, LXW_BORDER_THIN);
      break;
    case Look::kPlain:
      set(8.5, false, false, LXW_ALIGN_LEFT, LXW_ALIGN_VERTICAL_BOTTOM);
      break;
  }
  return f;
}

lxw_format* FormBook::PrefixedFormat(Look look, const char* prefix) {
  lxw_format* f = Make(look);
  format_set_num_format(f, (std::string("\"") + prefix + "\"@").c_str());
  return f;
}

FormBook::~FormBook() {
  if (book_) workbook_close(book_);
}

FormSheet FormBook::AddSheet(const char* name) {
  lxw_worksheet* sheet = workbook_add_worksheet(book_, name);
  if (!sheet) throw std::runtime_error(std::string("cannot add sheet ") + name);
  return FormSheet(*this, sheet);
}

lxw_format* FormBook::Format(Look look) { return looks_[static_cast<int>(look)]; }
lxw_format* FormBook::EdgeFormat() { return edge_; }
lxw_format* FormBook::CutFormat() { return cut_; }

bool FormBook::Close() {
  lxw_error error = workbook_close(book_);
  book_ = nullptr;
  if (error != LXW_NO_ERROR) {
    std::fprintf(stderr, "make_form_templates: %s\n", lxw_strerror(error));
    return false;
  }
  return true;
}

}  // namespace forms
