// Reads, edits and writes the parts of an .xlsx package.
#include "printing/xlsx_workbook.h"

#include <zip.h>

#include <pugixml.hpp>

#include <cstdio>
#include <cstring>
#include <sstream>

namespace printing {
namespace {

// A template is a few tens of kilobytes; anything near these sizes is not
// one of ours, and reading it whole would only cost memory.
constexpr zip_uint64_t kMaxPartSize = 32u << 20;
constexpr zip_uint64_t kMaxPackageSize = 64u << 20;
constexpr zip_int64_t kMaxParts = 1000;

std::string_view LocalName(const pugi::xml_node& node) {
  std::string_view name = node.name();
  const auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node Child(const pugi::xml_node& node, std::string_view local) {
  for (pugi::xml_node c : node.children())
    if (LocalName(c) == local) return c;
  return {};
}

// The attribute `local` whatever its prefix ("r:id", "r:embed").
pugi::xml_attribute Attr(const pugi::xml_node& node, std::string_view local) {
  for (pugi::xml_attribute a : node.attributes()) {
    std::string_view name = a.name();
    const auto colon = name.find(':');
    if ((colon == std::string_view::npos ? name : name.substr(colon + 1)) == local) return a;
  }
  return {};
}

// Folder part of a part name ("xl/worksheets/" of "xl/worksheets/sheet1.xml").
std::string FolderOf(const std::string& part) {
  const auto slash = part.rfind('/');
  return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// The relationships part of `part` ("xl/_rels/workbook.xml.rels").
std::string RelsOf(const std::string& part) {
  const auto slash = part.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
  return folder + "_rels/" + part.substr(folder.size()) + ".rels";
}

// A relationship target resolved against the folder of its source part.
std::string Resolve(const std::string& sourcePart, std::string target) {
  if (!target.empty() && target[0] == '/') return target.substr(1);
  std::vector<std::string> segments;
  std::stringstream in(FolderOf(sourcePart) + target);
  for (std::string s; std::getline(in, s, '/');) {
    if (s.empty() || s == ".") continue;
    if (s == "..") {
      if (!segments.empty()) segments.pop_back();
    } else {
      segments.push_back(s);
    }
  }
  std::string out;
  for (const std::string& s : segments) out += (out.empty() ? "" : "/") + s;
  return out;
}

std::string ColumnName(int column) {
  std::string name;
  for (int c = column; c > 0; c = (c - 1) / 26) name.insert(name.begin(), static_cast<char>('A' + (c - 1) % 26));
  return name;
}

// Column and row of a reference like "AB12"; 0 where a part is missing.
std::pair<int, int> ParseRef(std::string_view ref) {
  int column = 0, row = 0;
  size_t i = 0;
  for (; i < ref.size() && ref[i] >= 'A' && ref[i] <= 'Z'; ++i) column = column * 26 + (ref[i] - 'A' + 1);
  for (; i < ref.size() && ref[i] >= '0' && ref[i] <= '9'; ++i) row = row * 10 + (ref[i] - '0');
  return {column, row};
}

// Text as XML 1.0 can carry it, and as a spreadsheet reads it back: control
// characters other than tab and line breaks are left out, and a literal
// "_xHHHH_" gets its underscore escaped so that it is not read as the escape
// of a character.
std::string XmlSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto isHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); };
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;
    // U+FFFE and U+FFFF are not XML characters either.
    if (c == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
        (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE) {
      i += 2;
      continue;
    }
    if (c == '_' && i + 6 < text.size() && text[i + 1] == 'x' && isHex(text[i + 2]) && isHex(text[i + 3]) &&
        isHex(text[i + 4]) && isHex(text[i + 5]) && text[i + 6] == '_') {
      out += "_x005F_";
      continue;
    }
    out += static_cast<char>(c);
  }
  return out;
}

struct ZipCloser {
  void operator()(zip_t* z) const {
    if (z) zip_discard(z);
  }
};

}  // namespace

XlsxWorkbook::~XlsxWorkbook() = default;

void XlsxWorkbook::Fail(const std::string& what) const {
  throw XlsxError("Шаблон «" + path_ + "»: " + what);
}

std::unique_ptr<XlsxWorkbook> XlsxWorkbook::Load(const std::string& path) {
  std::unique_ptr<XlsxWorkbook> book(new XlsxWorkbook);
  book->path_ = path;
  int error = 0;
  std::unique_ptr<zip_t, ZipCloser> zip(zip_open(path.c_str(), ZIP_RDONLY, &error));
  if (!zip) {
    if (error == ZIP_ER_NOENT) throw XlsxError("Не найден шаблон «" + path + "».");
    if (error == ZIP_ER_OPEN || error == ZIP_ER_READ) book->Fail("не удалось прочитать файл.");
    book->Fail("файл не является книгой .xlsx.");
  }
  const zip_int64_t count = zip_get_num_entries(zip.get(), 0);
  if (count < 0 || count > kMaxParts) book->Fail("слишком много частей в книге.");
  zip_uint64_t total = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    if (zip_stat_index(zip.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) ||
        !(st.valid & ZIP_STAT_NAME))
      book->Fail("повреждён архив книги.");
    if (st.size > kMaxPartSize || (total += st.size) > kMaxPackageSize) book->Fail("книга слишком велика.");
    std::string bytes(st.size, '\0');
    zip_file_t* file = zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(i), 0);
    if (!file) book->Fail("повреждён архив книги.");
    const zip_int64_t read = zip_fread(file, bytes.data(), st.size);
    zip_fclose(file);
    if (read < 0 || static_cast<zip_uint64_t>(read) != st.size) book->Fail("повреждён архив книги.");
    book->parts_.emplace_back(st.name, std::move(bytes));
  }

  // The worksheets, in the workbook's order, through its relationships.
  const std::string workbookPart = "xl/workbook.xml";
  pugi::xml_node sheets = Child(Child(book->Xml(workbookPart), "workbook"), "sheets");
  pugi::xml_node rels = Child(book->Xml(RelsOf(workbookPart)), "Relationships");
  for (pugi::xml_node sheet : sheets.children()) {
    if (LocalName(sheet) != "sheet") continue;
    const std::string id = Attr(sheet, "id").value();
    std::string target;
    for (pugi::xml_node rel : rels.children())
      if (std::string_view(rel.attribute("Id").value()) == id) target = rel.attribute("Target").value();
    if (target.empty()) book->Fail("у листа «" + std::string(sheet.attribute("name").value()) + "» нет части.");
    book->sheets_.push_back({Resolve(workbookPart, target)});
  }
  if (book->sheets_.empty()) book->Fail("в книге нет листов.");
  return book;
}

std::string* XlsxWorkbook::Bytes(const std::string& part) {
  for (auto& [name, bytes] : parts_)
    if (name == part) return &bytes;
  return nullptr;
}

pugi::xml_document& XlsxWorkbook::Xml(const std::string& part) {
  auto it = xml_.find(part);
  if (it != xml_.end()) return *it->second;
  const std::string* bytes = Bytes(part);
  if (!bytes) Fail("нет части " + part + ".");
  auto doc = std::make_unique<pugi::xml_document>();
  if (!doc->load_buffer(bytes->data(), bytes->size(), pugi::parse_default | pugi::parse_ws_pcdata_single))
    Fail("повреждена часть " + part + ".");
  return *xml_.emplace(part, std::move(doc)).first->second;
}

const XlsxWorkbook::Sheet& XlsxWorkbook::SheetAt(int sheet) const {
  if (sheet < 1 || sheet > SheetCount()) Fail("нет листа " + std::to_string(sheet) + ".");
  return sheets_[static_cast<size_t>(sheet - 1)];
}

void XlsxWorkbook::SetCell(int sheet, int row, int column, std::string_view value, bool text) {
  const std::string part = SheetAt(sheet).part;
  // The limits of a worksheet: 1048576 rows, 16384 columns.
  if (row < 1 || row > 1048576 || column < 1 || column > 16384)
    Fail("ячейка вне листа (" + std::to_string(row) + ", " + std::to_string(column) + ").");
  pugi::xml_node data = Child(Child(Xml(part), "worksheet"), "sheetData");
  if (!data) Fail("в листе " + std::to_string(sheet) + " нет таблицы ячеек.");

  // The row: found, or created before the first row that follows it.  A row
  // without a number follows the one before it.
  pugi::xml_node rowNode, before;
  int implied = 0;
  for (pugi::xml_node r : data.children("row")) {
    const int n = r.attribute("r") ? r.attribute("r").as_int() : implied + 1;
    implied = n;
    if (n == row) {
      rowNode = r;
      break;
    }
    if (n > row) {
      before = r;
      break;
    }
  }
  if (!rowNode) {
    rowNode = before ? data.insert_child_before("row", before) : data.append_child("row");
    rowNode.append_attribute("r") = row;
  }

  pugi::xml_node cell, beforeCell;
  implied = 0;
  for (pugi::xml_node c : rowNode.children("c")) {
    const int n = c.attribute("r") ? ParseRef(c.attribute("r").value()).first : implied + 1;
    implied = n;
    if (n == column) {
      cell = c;
      break;
    }
    if (n > column) {
      beforeCell = c;
      break;
    }
  }
  if (!cell) {
    cell = beforeCell ? rowNode.insert_child_before("c", beforeCell) : rowNode.append_child("c");
    cell.append_attribute("r") = (ColumnName(column) + std::to_string(row)).c_str();
  }
  // The style attribute stays; content, formula and type go.
  while (cell.first_child()) cell.remove_child(cell.first_child());
  cell.remove_attribute("t");
  cell.remove_attribute("cm");
  cell.remove_attribute("vm");
  if (text) {
    cell.append_attribute("t") = "inlineStr";
    pugi::xml_node t = cell.append_child("is").append_child("t");
    t.append_attribute("xml:space") = "preserve";
    t.text().set(XmlSafe(value).c_str());
  } else {
    cell.append_child("v").text().set(std::string(value).c_str());
  }
}

void XlsxWorkbook::SetText(int sheet, int row, int column, std::string_view text) {
  SetCell(sheet, row, column, text, true);
}

void XlsxWorkbook::SetNumber(int sheet, int row, int column, std::string_view number) {
  SetCell(sheet, row, column, number, false);
}

void XlsxWorkbook::ReplacePicture(int sheet, std::string_view name, std::string png) {
  const std::string part = SheetAt(sheet).part;
  const std::string where = "на листе " + std::to_string(sheet) + " нет рисунка «" + std::string(name) + "».";
  pugi::xml_node drawingRef = Child(Child(Xml(part), "worksheet"), "drawing");
  if (!drawingRef) Fail(where);
  const std::string sheetRels = RelsOf(part);
  std::string drawingPart;
  for (pugi::xml_node rel : Child(Xml(sheetRels), "Relationships").children())
    if (std::string_view(rel.attribute("Id").value()) == Attr(drawingRef, "id").value())
      drawingPart = Resolve(part, rel.attribute("Target").value());
  if (drawingPart.empty()) Fail(where);

  // The picture whose name or description is `name`, and its image link.
  std::string embed;
  for (pugi::xml_node anchor : Child(Xml(drawingPart), "wsDr").children()) {
    pugi::xml_node pic = Child(anchor, "pic");
    if (!pic) continue;
    pugi::xml_node props = Child(Child(pic, "nvPicPr"), "cNvPr");
    if (props.attribute("name").value() != name && props.attribute("descr").value() != name) continue;
    embed = Attr(Child(Child(pic, "blipFill"), "blip"), "embed").value();
    break;
  }
  if (embed.empty()) Fail(where);

  // A new image part of our own, so that the template's placeholder, which
  // other pictures may share, stays as it is.
  const std::string media = "xl/media/formix-picture" + std::to_string(++pictures_) + ".png";
  bool linked = false;
  for (pugi::xml_node rel : Child(Xml(RelsOf(drawingPart)), "Relationships").children()) {
    if (std::string_view(rel.attribute("Id").value()) != embed) continue;
    rel.attribute("Target") = ("../media/formix-picture" + std::to_string(pictures_) + ".png").c_str();
    linked = true;
  }
  if (!linked) Fail(where);
  parts_.emplace_back(media, std::move(png));

  pugi::xml_node types = Child(Xml("[Content_Types].xml"), "Types");
  bool hasPng = false;
  for (pugi::xml_node d : types.children("Default"))
    if (std::string_view(d.attribute("Extension").value()) == "png") hasPng = true;
  if (!hasPng) {
    pugi::xml_node d = types.prepend_child("Default");
    d.append_attribute("Extension") = "png";
    d.append_attribute("ContentType") = "image/png";
  }
}

void XlsxWorkbook::SetActiveSheet(int sheet) {
  SheetAt(sheet);
  pugi::xml_node workbook = Child(Xml("xl/workbook.xml"), "workbook");
  pugi::xml_node views = Child(workbook, "bookViews");
  if (!views) views = workbook.insert_child_before("bookViews", Child(workbook, "sheets"));
  pugi::xml_node view = Child(views, "workbookView");
  if (!view) view = views.append_child("workbookView");
  (view.attribute("activeTab") ? view.attribute("activeTab") : view.append_attribute("activeTab")) = sheet - 1;
  if (view.attribute("firstSheet")) view.attribute("firstSheet") = 0;
  for (int i = 1; i <= SheetCount(); ++i) {
    pugi::xml_node ws = Child(Xml(SheetAt(i).part), "worksheet");
    for (pugi::xml_node sv : Child(ws, "sheetViews").children()) {
      sv.remove_attribute("tabSelected");
      if (i == sheet) sv.append_attribute("tabSelected") = 1;
    }
  }
}

void XlsxWorkbook::Save(const std::string& path) {
  // Saved results of formulas go, so that they are computed from the values
  // written, and the workbook asks for a full computation when it is loaded.
  for (const Sheet& s : sheets_) {
    pugi::xml_node data = Child(Child(Xml(s.part), "worksheet"), "sheetData");
    for (pugi::xml_node row : data.children("row")) {
      for (pugi::xml_node c : row.children("c")) {
        if (!c.child("f")) continue;
        c.remove_child("v");
        // A saved text result carries its type; without a result it goes too.
        if (std::string_view(c.attribute("t").value()) == "str") c.remove_attribute("t");
      }
    }
  }
  pugi::xml_node workbook = Child(Xml("xl/workbook.xml"), "workbook");
  pugi::xml_node calc = Child(workbook, "calcPr");
  if (!calc) calc = workbook.append_child("calcPr");
  (calc.attribute("fullCalcOnLoad") ? calc.attribute("fullCalcOnLoad") : calc.append_attribute("fullCalcOnLoad")) = 1;

  for (auto& [name, doc] : xml_) {
    std::ostringstream out;
    doc->save(out, "", pugi::format_raw, pugi::encoding_utf8);
    *Bytes(name) = out.str();
  }

  if (std::FILE* existing = std::fopen(path.c_str(), "rb")) {
    std::fclose(existing);
    throw XlsxError("Файл «" + path + "» уже существует.");
  }
  int error = 0;
  std::unique_ptr<zip_t, ZipCloser> zip(zip_open(path.c_str(), ZIP_CREATE | ZIP_EXCL, &error));
  auto fail = [&](const char* what) -> void {
    std::string reason = zip ? zip_strerror(zip.get()) : std::string();
    zip.reset();
    std::remove(path.c_str());
    throw XlsxError("Не удалось записать заполненную форму «" + path + "»: " + what +
                    (reason.empty() ? "" : " (" + reason + ")") + ".");
  };
  if (!zip) fail("нельзя создать файл");
  for (const auto& [name, bytes] : parts_) {
    zip_source_t* source = zip_source_buffer(zip.get(), bytes.data(), bytes.size(), 0);
    if (!source) fail("нет памяти");
    if (zip_file_add(zip.get(), name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
      zip_source_free(source);
      fail("ошибка архива");
    }
  }
  // zip_close writes a temporary file and renames it into place: a failure
  // leaves no half-written workbook behind.
  if (zip_close(zip.get()) != 0) fail("ошибка записи");
  zip.release();
}

}  // namespace printing
