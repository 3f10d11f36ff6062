// make_form_templates OUTDIR: writes the three receipt templates
// "f4pd.xlsx", "f4pdnal.xlsx" and "pdnal.xlsx" into OUTDIR.
//
// Each form below is its description: where every caption, line and box
// stands.  The cells the print command writes are fixed by the program's cell
// maps (src/printing/receipt_forms.cpp); everything around them is free.
// Every form is a notice part ("Извещение") over a receipt part
// ("Квитанция"): the print writes the notice part, and the receipt part
// repeats it through formulas (the one-character boxes of the PD-4 sb tax
// form, which the print writes in both parts, excepted).  The payment code
// goes into the picture "QR" in the notice part's left column.
#include <cstdio>
#include <string>

#include "form_sheet.h"

namespace forms {
namespace {

using L = Look;

// "D12" from a column name and a row.
std::string At(const char* column, int row) { return column + std::to_string(row); }
std::string Span(const char* first, const char* last, int row) { return At(first, row) + ":" + At(last, row); }
// A formula that shows `cell`, and nothing where `cell` is empty.
std::string Repeat(const std::string& cell) { return "=IF(" + cell + "=\"\",\"\"," + cell + ")"; }

// A cell the print writes in the notice part, and its repetition in the
// receipt part `offset` rows further down (blank where the notice part is:
// an empty cell must not come out as "0").
void Value(FormSheet& s, bool notice, int offset, const char* first, const char* last, int row, L look,
           const char* prefix = nullptr) {
  const std::string range = first == last || std::string(first) == last ? At(first, row) : Span(first, last, row);
  if (notice) {
    s.Field(range.c_str(), look, prefix);
  } else {
    s.Formula(range.c_str(), Repeat(At(first, row - offset)), look, prefix);
  }
}

// The height of a row that holds `lines` lines of a wrapped value.
double LinesHigh(int lines) { return 3.3 * lines + 0.8; }

// ---------------------------------------------------------------- PD-4
//
// Worksheet 1 is the form; worksheet 2 ("Плательщик", hidden) receives the
// date and the payer, which the form shows through formulas.  Columns D to
// N are 130 mm; the long values wrap: the recipient and its bank onto two
// lines, the purpose onto three, the payer's name onto two and the address
// onto three (src/printing/receipt_forms.cpp fits the values to these).

constexpr int kPd4ReceiptOffset = 20;

void Pd4Part(FormSheet& s, bool notice) {
  const int o = notice ? 0 : kPd4ReceiptOffset;
  auto row = [o](int r) { return r + o; };
  auto v = [&](const char* a, const char* b, int r, L look) { Value(s, notice, kPd4ReceiptOffset, a, b, row(r), look); };
  // A value of the payer's worksheet, repeated in the receipt part.
  auto payer = [&](const char* a, const char* b, int r, const char* cell, L look) {
    s.Formula(Span(a, b, row(r)).c_str(), notice ? Repeat(std::string("'Плательщик'!") + cell) : Repeat(At(a, r)),
              look);
  };

  s.Text(Span("A", "C", row(1)).c_str(), notice ? "Извещение" : "Квитанция", L::kPartName);
  s.RightEdge("C", row(2), row(18));
  s.Text(Span("A", "C", row(19)).c_str(), "Кассир", L::kCashier);
  s.Text(Span("K", "N", row(1)).c_str(), "Форма № ПД-4", L::kFormTitle);

  v("D", "N", 2, L::kFieldWrap);
  s.Text(Span("D", "N", row(3)).c_str(), "(наименование получателя платежа)", L::kCaption);
  v("D", "F", 4, L::kFieldCentre);
  v("H", "N", 4, L::kFieldCentre);
  s.Text(Span("D", "F", row(5)).c_str(), "(ИНН получателя платежа)", L::kCaption);
  s.Text(Span("H", "N", row(5)).c_str(), "(номер счета получателя платежа)", L::kCaption);
  s.Text(At("D", row(6)).c_str(), "в", L::kLabelRight);
  v("E", "N", 6, L::kFieldWrap);
  s.Text(Span("E", "N", row(7)).c_str(), "(наименование банка получателя платежа)", L::kCaption);
  s.Text(At("D", row(8)).c_str(), "БИК", L::kLabelRight);
  v("E", "F", 8, L::kFieldCentre);
  s.Text(At("G", row(8)).c_str(), "Кор./сч.", L::kLabelRight);
  v("H", "N", 8, L::kFieldCentre);
  s.Text(Span("H", "N", row(9)).c_str(), "(номер кор./сч. банка получателя платежа)", L::kCaption);
  v("D", "N", 10, L::kFieldWrap);
  s.Text(Span("D", "N", row(11)).c_str(), "(наименование платежа)", L::kCaption);
  s.Text(Span("D", "F", row(12)).c_str(), "Ф.И.О. плательщика:", L::kLabel);
  payer("G", "N", 12, "A8", L::kFieldWrap);

  const char* sums[] = {"Сумма платежа:", "Сумма платы за услуги:", "Итого:"};
  for (int i = 0; i < 3; ++i) {
    s.Text(Span("D", "F", row(13 + i)).c_str(), sums[i], L::kLabel);
    v("G", "G", 13 + i, L::kFieldRight);
    s.Text(At("H", row(13 + i)).c_str(), "руб.", L::kLabel);
    v("J", "J", 13 + i, L::kFieldCentre);
    s.Text(At("K", row(13 + i)).c_str(), "коп.", L::kLabel);
  }
  if (notice)
    s.Formula(Span("L", "N", row(15)).c_str(), "=IF('Плательщик'!A6=\"\",\"\",'Плательщик'!A6&\" г.\")",
              L::kFieldCentre);
  else
    s.Formula(Span("L", "N", row(15)).c_str(), Repeat(At("L", 15)), L::kFieldCentre);
  s.Text(Span("D", "F", row(16)).c_str(), "Адрес плательщика:", L::kLabel);
  payer("G", "N", 16, "A10", L::kFieldWrap);
  s.Text(Span("D", "F", row(17)).c_str(), "№ л/сч. плательщика:", L::kLabel);
  payer("G", "I", 17, "B13", L::kFieldCentre);
  s.Text(Span("J", "L", row(17)).c_str(), "ИНН плательщика:", L::kLabelRight);
  payer("M", "N", 17, "A11", L::kFieldCentre);
  s.Text(Span("D", "N", row(18)).c_str(),
         "С условиями приема указанной в платежном документе суммы, в т.ч. с суммой взимаемой платы за услуги "
         "банка, ознакомлен и согласен.",
         L::kNote);
  s.Text(Span("H", "K", row(19)).c_str(), "Подпись плательщика", L::kLabelRight);
  s.Field(Span("L", "N", row(19)).c_str());

  const double heights[] = {4.5, LinesHigh(2), 3.2, 5.5, 3.2, LinesHigh(2), 3.2, 5.5, 3.2, LinesHigh(3),
                            3.2, LinesHigh(2), 5,   5,   5,   LinesHigh(3), 5.5, 7,   6.5};
  for (int r = 1; r <= 19; ++r) s.Row(row(r), heights[r - 1]);
}

void Pd4(FormBook& book) {
  FormSheet s = book.AddSheet("ПД-4");
  s.Columns("A", "C", 16.7).Columns("D", "D", 14).Columns("E", "F", 12).Columns("G", "G", 16);
  s.Columns("H", "H", 14).Columns("I", "K", 8).Columns("L", "L", 14).Columns("M", "N", 12);
  Pd4Part(s, true);
  s.CutLine(kPd4ReceiptOffset, "A", "N");
  s.Row(kPd4ReceiptOffset, 3);
  Pd4Part(s, false);
  s.Picture("A2", "QR", 38);
  s.Page();

  FormSheet p = book.AddSheet("Плательщик");
  p.Columns("A", "A", 90).Columns("B", "B", 40).Columns("C", "C", 40);
  p.Text("A1", "Плательщик для формы ПД-4 (заполняется программой при печати)", L::kLabel);
  const struct {
    const char* label;
    const char* value;
  } rows[] = {{"C6", "дата платежа"},   {"C8", "Ф.И.О. плательщика"}, {"C10", "адрес плательщика"},
              {"C11", "ИНН плательщика"}, {"C13", "лицевой счет"}};
  for (const auto& r : rows) p.Text(r.label, r.value, L::kLabel);
  for (const char* cell : {"A6", "A8", "A10", "A11", "B13"}) p.Field(cell);
  p.Hide();
}

// ---------------------------------------------------- PD-4 sb (tax)
//
// The receipt part lies 19 rows below the notice part; the print writes the
// one-character boxes of both parts itself.

void Pd4sbPart(FormSheet& s, bool notice) {
  const int o = notice ? 0 : 19;
  auto row = [o](int r) { return r + o; };
  auto v = [&](const char* a, const char* b, int r, L look) { Value(s, notice, 19, a, b, row(r), look); };
  auto boxes = [&](const char* first, int r, int count) { s.Boxes(At(first, row(r)).c_str(), count); };

  s.Text(Span("A", "C", row(1)).c_str(), notice ? "Извещение" : "Квитанция", L::kPartName);
  s.RightEdge("C", row(2), row(17));
  s.Text(Span("A", "C", row(18)).c_str(), "Кассир", L::kCashier);
  s.Text(Span("AB", "AP", row(1)).c_str(), "Форма № ПД-4сб (налог)", L::kFormTitle);

  v("D", "AD", 2, L::kFieldWrap);
  s.Text(Span("AE", "AG", row(2)).c_str(), "КПП", L::kLabelRight);
  boxes("AH", 2, 9);
  s.Text(Span("D", "AD", row(3)).c_str(), "(наименование получателя платежа)", L::kCaption);
  s.Text(Span("AH", "AP", row(3)).c_str(), "(КПП получателя)", L::kCaption);
  boxes("D", 4, 10);
  v("N", "AB", 4, L::kFieldWrap);
  s.Text(Span("AC", "AE", row(4)).c_str(), "ОКТМО", L::kLabelRight);
  boxes("AF", 4, 11);
  s.Text(Span("D", "M", row(5)).c_str(), "(ИНН получателя платежа)", L::kCaption);
  s.Text(Span("N", "AB", row(5)).c_str(), "(налоговый орган)", L::kCaption);
  s.Text(Span("AF", "AP", row(5)).c_str(), "(код ОКТМО)", L::kCaption);
  s.Text(Span("D", "W", row(6)).c_str(), "Номер счета получателя платежа", L::kLabel);
  s.Text(Span("X", "Y", row(6)).c_str(), "в", L::kLabelRight);
  v("Z", "AP", 6, L::kFieldWrap);
  boxes("D", 7, 20);
  s.Text(Span("Z", "AP", row(7)).c_str(), "(наименование банка получателя платежа)", L::kCaption);
  s.Text(Span("D", "G", row(9)).c_str(), "БИК", L::kLabelRight);
  boxes("H", 9, 9);
  s.Text(Span("Q", "V", row(9)).c_str(), "Кор./сч.", L::kLabelRight);
  boxes("W", 9, 20);
  v("D", "AP", 10, L::kFieldWrap);
  s.Text(Span("D", "V", row(11)).c_str(), "(наименование платежа)", L::kCaption);
  boxes("W", 11, 20);
  s.Text(Span("W", "AP", row(12)).c_str(), "(код бюджетной классификации)", L::kCaption);
  s.Text(Span("D", "L", row(13)).c_str(), "Ф.И.О. плательщика:", L::kLabel);
  v("M", "AP", 13, L::kFieldWrap);
  s.Text(Span("D", "L", row(14)).c_str(), "Адрес плательщика:", L::kLabel);
  v("M", "AP", 14, L::kFieldWrap);
  s.Text(Span("D", "K", row(15)).c_str(), "ИНН плательщика", L::kLabel);
  boxes("L", 15, 12);
  s.Text(Span("X", "AD", row(15)).c_str(), "Л/сч. плательщика", L::kLabelRight);
  boxes("AE", 15, 12);
  s.Text(Span("D", "K", row(16)).c_str(), "Налоговый период:", L::kLabel);
  v("L", "U", 16, L::kFieldCentre);
  s.Text(Span("V", "AF", row(16)).c_str(), "Сумма налога (сбора):", L::kLabelRight);
  v("AG", "AP", 16, L::kMoney);
  s.Text(Span("D", "F", row(17)).c_str(), "Пени:", L::kLabelRight);
  v("G", "N", 17, L::kMoney);
  s.Text(Span("O", "Q", row(17)).c_str(), "Штраф:", L::kLabelRight);
  v("R", "Z", 17, L::kMoney);
  s.Text(Span("AA", "AF", row(17)).c_str(), "Итого:", L::kLabelRight);
  // The total of what was written; blank when the amounts are not printed.
  const std::string amounts = At("AG", row(16)) + "," + At("G", row(17)) + "," + At("R", row(17));
  s.Formula(Span("AG", "AP", row(17)).c_str(), "=IF(COUNT(" + amounts + ")=0,\"\",SUM(" + amounts + "))",
            L::kMoney);
  s.Text(Span("D", "L", row(18)).c_str(), "Подпись плательщика", L::kLabel);
  s.Field(Span("M", "U", row(18)).c_str());
  s.Text(Span("V", "AB", row(18)).c_str(), "Дата:", L::kLabelRight);
  v("AC", "AP", 18, L::kFieldCentre);

  // The long values wrap: the recipient, the tax office and the payer's
  // name onto two lines, the bank, the purpose and the address onto three.
  const double heights[] = {4.5, LinesHigh(2), 3.2, LinesHigh(2), 3.2, LinesHigh(3), 5, 1.5, 5, LinesHigh(3),
                            5,   3.2,          LinesHigh(2), LinesHigh(3), 5, 5, 5, 6};
  for (int r = 1; r <= 18; ++r) s.Row(row(r), heights[r - 1]);
}

void Pd4sbTax(FormBook& book) {
  FormSheet s = book.AddSheet("ПД-4сб (налог)");
  s.Columns("A", "C", 16.7).Columns("D", "AP", 3.4);
  Pd4sbPart(s, true);
  s.CutLine(19, "A", "AP");
  s.Row(19, 3);
  Pd4sbPart(s, false);
  s.Picture("A3", "QR", 40);
  s.Page();
}

// ------------------------------------------------- PD (tax), the new form
//
// The right block is 130 mm: columns D to P (70 mm) carry the payer's name,
// the bank and the recipient, wrapped onto three lines; Q to X (61 mm) the
// payer's address, wrapped onto five.

void NewTaxPart(FormSheet& s, bool notice) {
  const int o = notice ? 0 : 19;
  auto row = [o](int r) { return r + o; };
  auto v = [&](const char* a, const char* b, int r, L look, const char* prefix = nullptr) {
    Value(s, notice, 19, a, b, row(r), look, prefix);
  };

  s.Text(Span("A", "C", row(1)).c_str(), notice ? "Извещение" : "Квитанция", L::kPartName);
  s.RightEdge("C", row(2), row(17));
  s.Text(Span("A", "C", row(18)).c_str(), "Кассир", L::kCashier);

  s.Text(Span("D", "K", row(1)).c_str(), "Индекс документа", L::kLabelRight);
  v("L", "T", 1, L::kFieldCentre);
  s.Text(Span("U", "W", row(1)).c_str(), "(101)", L::kLabelRight);
  v("X", "X", 1, L::kFieldCentre);
  s.Text(Span("D", "X", row(2)).c_str(), "Форма № ПД (налог)", L::kFormTitle);
  v("D", "P", 3, L::kFieldWrap);
  v("Q", "X", 3, L::kFieldWrap);
  s.Text(Span("D", "P", row(4)).c_str(), "(Ф.И.О. плательщика)", L::kCaption);
  s.Text(Span("Q", "X", row(4)).c_str(), "(адрес плательщика)", L::kCaption);
  s.Text(Span("D", "H", row(6)).c_str(), "ИНН", L::kLabelRight);
  v("I", "O", 6, L::kFieldCentre);
  s.Text(Span("P", "U", row(6)).c_str(), "Сумма", L::kLabelRight);
  v("V", "X", 6, L::kMoney);
  s.Text(Span("Q", "T", row(7)).c_str(), "БИК", L::kLabelRight);
  v("U", "X", 7, L::kFieldCentre);
  v("D", "P", 8, L::kFieldWrap);
  s.Text(Span("D", "P", row(9)).c_str(), "(наименование банка получателя)", L::kCaption);
  v("Q", "X", 9, L::kFieldCentre, "Сч. № ");
  s.Text(Span("Q", "X", row(10)).c_str(), "(кор. счет банка получателя)", L::kCaption);
  v("D", "P", 11, L::kFieldWrap);
  v("Q", "X", 11, L::kFieldCentre, "Сч. № ");
  s.Text(Span("D", "P", row(12)).c_str(), "(получатель платежа)", L::kCaption);
  s.Text(Span("Q", "X", row(12)).c_str(), "(счет получателя)", L::kCaption);
  s.Text(Span("D", "H", row(14)).c_str(), "ИНН получателя", L::kLabelRight);
  v("I", "R", 14, L::kFieldCentre);
  v("T", "X", 14, L::kFieldCentre, "КПП ");
  v("D", "P", 15, L::kField, "КБК ");
  v("D", "P", 16, L::kField, "ОКТМО ");
  v("Q", "X", 16, L::kFieldCentre, "(106) ");
  v("D", "P", 17, L::kField, "(107) ");
  v("Q", "X", 17, L::kFieldCentre, "(110) ");
  s.Text(Span("D", "G", row(18)).c_str(), "Дата", L::kLabelRight);
  v("H", "O", 18, L::kFieldCentre);
  s.Text(Span("P", "R", row(18)).c_str(), "Подпись", L::kLabelRight);
  s.Field(Span("S", "X", row(18)).c_str());

  const double heights[] = {5,   4,   LinesHigh(5), 3.2, 1.5, 5.5, 5.5, LinesHigh(3), 3.2,
                            3.2, LinesHigh(3), 3.2, 1.5, 5.5, 5.5, 5.5, 5.5, 6.5};
  for (int r = 1; r <= 18; ++r) s.Row(row(r), heights[r - 1]);
}

void NewTax(FormBook& book) {
  FormSheet s = book.AddSheet("ПД (налог)");
  s.Columns("A", "C", 16.7).Columns("D", "P", 5.4).Columns("Q", "U", 6.5).Columns("V", "X", 9.5);
  NewTaxPart(s, true);
  s.CutLine(19, "A", "X");
  s.Row(19, 3);
  NewTaxPart(s, false);
  s.Picture("A3", "QR", 40);
  s.Page();
}

}  // namespace
}  // namespace forms

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_form_templates OUTDIR\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  try {
    struct {
      const char* file;
      void (*make)(forms::FormBook&);
    } const templates[] = {{"f4pd.xlsx", forms::Pd4}, {"f4pdnal.xlsx", forms::Pd4sbTax}, {"pdnal.xlsx", forms::NewTax}};
    for (const auto& t : templates) {
      forms::FormBook book(dir + t.file);
      t.make(book);
      if (!book.Close()) return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_form_templates: %s\n", e.what());
    return 1;
  }
  return 0;
}
