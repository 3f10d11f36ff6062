// Draws the code page and the collation tables from ICU and prints them as
// C++ headers.
//
// The collation table describes ICU's root collation restricted to the
// characters of Windows-1251: for every byte the collation elements (CEs) it
// maps to, in order, and the same for every contraction (several characters
// that collate as one unit) made only of such characters.  A CE's weights
// are replaced by their ranks among all weights of that level that occur:
// the comparison only asks which weight is smaller, and small ranks keep the
// table readable.  A completely ignorable CE (a control) is left out.
#include "icu_tables.h"

#include <unicode/ucnv.h>
#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>
#include <unicode/uvernum.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

namespace icu_tables {
namespace {

void Check(UErrorCode status, const char* what) {
  if (U_FAILURE(status)) throw std::runtime_error(std::string(what) + ": " + u_errorName(status));
}

// One CE with ICU's weights: 32-bit primary, 16-bit secondary and the
// 16-bit tertiary without its case and quaternary bits (ICU ignores them
// unless case ordering is asked for, which the root collation does not).
struct TWeights {
  uint32_t primary = 0;
  uint32_t secondary = 0;
  uint32_t tertiary = 0;
};

struct TCollatorCloser {
  void operator()(UCollator* c) const { ucol_close(c); }
};

std::unique_ptr<UCollator, TCollatorCloser> OpenRoot() {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UCollator, TCollatorCloser> coll(ucol_open("", &status));
  Check(status, "ucol_open");
  ucol_setAttribute(coll.get(), UCOL_STRENGTH, UCOL_TERTIARY, &status);
  ucol_setAttribute(coll.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
  ucol_setAttribute(coll.get(), UCOL_NORMALIZATION_MODE, UCOL_OFF, &status);
  Check(status, "ucol_setAttribute");
  return coll;
}

// The CEs of a text.  The iterator hands out a 64-bit CE as two 32-bit
// halves, the second marked as a continuation (its bits 6 and 7 set):
//   first:  primary bits 31..16 | secondary bits 15..8 << 8 | tertiary bits 15..8
//   second: primary bits 15..0 << 16 | secondary bits 7..0 << 8 | tertiary bits 5..0
std::vector<TWeights> ElementsOf(const UCollator* coll, const std::u16string& text) {
  UErrorCode status = U_ZERO_ERROR;
  UCollationElements* it =
      ucol_openElements(coll, reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), &status);
  Check(status, "ucol_openElements");
  std::vector<TWeights> out;
  std::vector<uint32_t> halves;
  for (int32_t ce; (ce = ucol_next(it, &status)) != UCOL_NULLORDER;) halves.push_back(static_cast<uint32_t>(ce));
  ucol_closeElements(it);
  Check(status, "ucol_next");
  for (size_t i = 0; i < halves.size(); ++i) {
    const uint32_t first = halves[i];
    uint32_t second = 0;
    if (i + 1 < halves.size() && (halves[i + 1] & 0xC0) == 0xC0) second = halves[++i];
    TWeights w;
    w.primary = (first & 0xFFFF0000u) | (second >> 16);
    w.secondary = ((first >> 8) & 0xFF) << 8 | ((second >> 8) & 0xFF);
    w.tertiary = ((first & 0xFF) << 8 | (second & 0x3F)) & 0x3F3F;
    if (w.primary == 0 && w.secondary == 0 && w.tertiary == 0) continue;  // completely ignorable
    out.push_back(w);
  }
  return out;
}

std::string Hex(unsigned value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", digits, value);
  return buf;
}

std::string Utf8(char16_t c) {
  std::string out;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  return out;
}

// A printable name of a character for a comment.
std::string Shown(char16_t c) {
  std::string out = "U+" + Hex(c, 4);
  if (c > 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0) && c != 0xAD && c != 0xFFFD && c != '\\')
    out += " " + Utf8(c);
  return out;
}

std::string IcuSource() {
  UVersionInfo uca;
  ucol_getUCAVersion(OpenRoot().get(), uca);
  return "// Source: ICU " U_ICU_VERSION ", root collation, UCA " + std::to_string(uca[0]) + "." +
         std::to_string(uca[1]) + "." + std::to_string(uca[2]) + "\n";
}

}  // namespace

std::array<char16_t, 256> Cp1251ToUnicode() {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* conv = ucnv_open("windows-1251", &status);
  Check(status, "ucnv_open");
  std::array<char16_t, 256> table{};
  for (int b = 0; b < 256; ++b) {
    const char in = static_cast<char>(b);
    UChar out[4] = {0};
    UErrorCode st = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(conv, out, 4, &in, 1, &st);
    char16_t u = (U_SUCCESS(st) && n == 1) ? static_cast<char16_t>(out[0]) : u'\uFFFD';
    if (u == u'\x1A' && b != 0x1A) u = u'\uFFFD';  // ICU's substitute for an unassigned byte
    if (b < 0x80) u = static_cast<char16_t>(b);
    table[static_cast<size_t>(b)] = u;
  }
  ucnv_close(conv);
  return table;
}

std::string CodePageHeader() {
  const std::array<char16_t, 256> table = Cp1251ToUnicode();
  std::string out =
      "// Generated by tools/icu_tables (scripts/generate-icu-tables); do not edit.\n" + IcuSource() +
      "//\n"
      "// Windows-1251: the UTF-16 code unit of every byte of the upper half, as\n"
      "// ICU's converter maps it (U+FFFD for a byte it leaves unassigned); bytes\n"
      "// below 0x80 are ASCII.\n"
      "#pragma once\n\n"
      "namespace tdb::cp1251 {\n\n"
      "inline constexpr char16_t kHighHalf[128] = {\n";
  for (int row = 0x80; row < 0x100; row += 8) {
    out += "   ";
    for (int b = row; b < row + 8; ++b) out += " u'\\u" + Hex(table[static_cast<size_t>(b)], 4) + "',";
    out += "  // 0x" + Hex(static_cast<unsigned>(row), 2) + "\n";
  }
  out += "};\n\n}  // namespace tdb::cp1251\n";
  return out;
}

std::string CollationHeader() {
  const std::array<char16_t, 256> table = Cp1251ToUnicode();
  std::map<char16_t, int> byte_of;
  for (int b = 1; b < 256; ++b)
    if (table[static_cast<size_t>(b)] != u'\uFFFD') byte_of.emplace(table[static_cast<size_t>(b)], b);
  auto coll = OpenRoot();

  // Every byte alone, then every contraction of code page characters.
  std::vector<std::vector<TWeights>> byte_elements(256);
  for (int b = 0; b < 256; ++b)
    byte_elements[static_cast<size_t>(b)] = ElementsOf(coll.get(), std::u16string(1, table[static_cast<size_t>(b)]));

  std::vector<std::pair<std::string, std::vector<TWeights>>> contractions;
  UErrorCode status = U_ZERO_ERROR;
  USet* set = uset_openEmpty();
  ucol_getContractionsAndExpansions(coll.get(), set, nullptr, true, &status);
  Check(status, "ucol_getContractionsAndExpansions");
  for (int32_t i = 0; i < uset_getItemCount(set); ++i) {
    UChar32 start = 0, end = 0;
    UChar text[64];
    UErrorCode st = U_ZERO_ERROR;
    const int32_t len = uset_getItem(set, i, &start, &end, text, 64, &st);
    Check(st, "uset_getItem");
    if (len < 2) continue;  // a single character's own CEs are its byte's
    std::string bytes;
    for (int32_t k = 0; k < len && bytes.size() == static_cast<size_t>(k); ++k) {
      auto it = byte_of.find(static_cast<char16_t>(text[k]));
      if (it != byte_of.end()) bytes.push_back(static_cast<char>(it->second));
    }
    if (bytes.size() != static_cast<size_t>(len)) continue;
    contractions.emplace_back(bytes, ElementsOf(coll.get(), std::u16string(text, text + len)));
  }
  uset_close(set);
  std::sort(contractions.begin(), contractions.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });

  // The ranks of the weights at each level, 1 for the smallest.
  std::set<uint32_t> primaries, secondaries, tertiaries;
  auto collect = [&](const std::vector<TWeights>& ces) {
    for (const TWeights& w : ces) {
      if (w.primary) primaries.insert(w.primary);
      if (w.secondary) secondaries.insert(w.secondary);
      if (w.tertiary) tertiaries.insert(w.tertiary);
    }
  };
  for (const auto& ces : byte_elements) collect(ces);
  for (const auto& c : contractions) collect(c.second);
  auto rank = [](const std::set<uint32_t>& all, uint32_t w) {
    return w == 0 ? 0u : static_cast<unsigned>(std::distance(all.begin(), all.find(w)) + 1);
  };

  std::string elements, bytes, contraction_rows;
  unsigned count = 0;
  auto emit = [&](const std::vector<TWeights>& ces) {
    const unsigned first = count;
    for (const TWeights& w : ces) {
      elements += "    {" + std::to_string(rank(primaries, w.primary)) + ", " +
                  std::to_string(rank(secondaries, w.secondary)) + ", " +
                  std::to_string(rank(tertiaries, w.tertiary)) + "},\n";
      ++count;
    }
    return "{" + std::to_string(first) + ", " + std::to_string(ces.size()) + "}";
  };
  for (int b = 0; b < 256; ++b) {
    elements += "    // 0x" + Hex(static_cast<unsigned>(b), 2) + " " + Shown(table[static_cast<size_t>(b)]) + "\n";
    bytes += "    " + emit(byte_elements[static_cast<size_t>(b)]) + ",  // 0x" + Hex(static_cast<unsigned>(b), 2) + "\n";
  }
  for (const auto& [text, ces] : contractions) {
    std::string literal, shown;
    for (char c : text) {
      literal += "\\x" + Hex(static_cast<unsigned char>(c), 2);
      shown += " " + Shown(table[static_cast<unsigned char>(c)]);
    }
    elements += "    // contraction" + shown + "\n";
    contraction_rows += "    {\"" + literal + "\", " + emit(ces) + "},\n";
  }
  if (contractions.empty()) contraction_rows = "    {\"\", {0, 0}},  // none\n";

  return "// Generated by tools/icu_tables (scripts/generate-icu-tables); do not edit.\n" + IcuSource() +
         "//\n"
         "// The order of Windows-1251 texts, frozen: every byte's collation elements\n"
         "// (CEs) and those of the byte sequences that collate as one unit, each CE\n"
         "// as the ranks of its primary, secondary and tertiary weights (0: none at\n"
         "// that level).  Stored indexes are in this order; changing a number here\n"
         "// changes the order that existing files were written in.\n"
         "#pragma once\n\n"
         "#include <cstdint>\n\n"
         "namespace tdb::collation_weights {\n\n"
         "struct TElement {\n"
         "  uint16_t primary;\n"
         "  uint16_t secondary;\n"
         "  uint16_t tertiary;\n"
         "};\n\n"
         "// A run of kElements.\n"
         "struct TRun {\n"
         "  uint16_t first;\n"
         "  uint16_t count;\n"
         "};\n\n"
         "struct TContraction {\n"
         "  const char* bytes;  // two or more bytes, NUL-terminated\n"
         "  TRun run;\n"
         "};\n\n"
         "inline constexpr TElement kElements[] = {\n" +
         elements +
         "};\n\n"
         "// The CEs of each byte; a byte with none (a control) is ignored.\n"
         "inline constexpr TRun kBytes[256] = {\n" +
         bytes +
         "};\n\n"
         "// Sorted by their bytes; the longest that matches wins.\n"
         "inline constexpr TContraction kContractions[] = {\n" +
         contraction_rows + "};\n\n}  // namespace tdb::collation_weights\n";
}

}  // namespace icu_tables
