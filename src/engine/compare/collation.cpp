// The process's collation: ICU's root collator (whose order matches the
// desktop's default locale order; the "ru" tailoring would put Cyrillic before
// Latin) at tertiary strength for case-sensitive and secondary strength for
// case-insensitive comparison, with a table of per-byte weights in front of it.
//
// The weights: for every byte that maps to exactly one collation element with
// a primary weight (no expansion, no part of a contraction) the collator's own
// rank of that character at primary, secondary and tertiary strength.  Two
// texts made only of such bytes compare like the collator compares them:
// first by the primary ranks position by position (a shorter text first when
// one is a prefix of the other), then by the secondary ranks, then the
// tertiary ones.  Anything else goes to the collator.
#include "engine/compare/collation.h"

#include <unicode/ucol.h>
#include <unicode/uset.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/codepage.h"
#include "engine/base/database_error.h"

namespace tdb {
namespace {

constexpr size_t kStackChars = 256;

bool IsWordSortMark(unsigned char c) { return c == '-' || c == '\''; }

struct TCollatorCloser {
  void operator()(UCollator* c) const { ucol_close(c); }
};
using TCollatorPtr = std::unique_ptr<UCollator, TCollatorCloser>;

TCollatorPtr OpenRoot(UColAttributeValue strength) {
  UErrorCode status = U_ZERO_ERROR;
  TCollatorPtr coll(ucol_open("", &status));
  if (U_FAILURE(status)) return nullptr;
  ucol_setAttribute(coll.get(), UCOL_STRENGTH, strength, &status);
  ucol_setAttribute(coll.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
  ucol_setAttribute(coll.get(), UCOL_NORMALIZATION_MODE, UCOL_OFF, &status);
  if (U_FAILURE(status)) return nullptr;
  return coll;
}

// Weights of one byte; primary 0 means "not on the fast path".
struct TByteWeights {
  uint16_t primary = 0;
  uint16_t secondary = 0;
  uint16_t tertiary = 0;
};

class TCollation {
 public:
  static const TCollation& Instance() {
    static const TCollation collation;
    if (!collation.tertiary_ || !collation.secondary_) DatabaseError("Cannot open the text collation");
    return collation;
  }

  int Compare(std::string_view left, std::string_view right, TCaseSensitivity sensitivity) const {
    if (left == right) return 0;
    int result = 0;
    bool left_marks = false, right_marks = false;
    if (!CompareByWeights(left, right, sensitivity, result, left_marks, right_marks))
      result = CompareByCollator(left, right, sensitivity, left_marks, right_marks);
    if (result == 0 && (left_marks || right_marks)) result = CompareMarks(left, right);
    return result;
  }

  int CompareByCollatorOnly(std::string_view left, std::string_view right, TCaseSensitivity sensitivity) const {
    if (left == right) return 0;
    bool left_marks = false, right_marks = false;
    int result = CompareByCollator(left, right, sensitivity, left_marks, right_marks);
    if (result == 0 && (left_marks || right_marks)) result = CompareMarks(left, right);
    return result;
  }

  bool HasWeights(unsigned char c) const { return weights_[c].primary != 0; }

 private:
  TCollation() : tertiary_(OpenRoot(UCOL_TERTIARY)), secondary_(OpenRoot(UCOL_SECONDARY)) {
    if (tertiary_ && secondary_) BuildWeights();
  }

  // Fills weights_ from the collator's ranking of the single characters.
  void BuildWeights() {
    const std::array<char16_t, 256>& unicode = UnicodeTable();
    TCollatorPtr primary = OpenRoot(UCOL_PRIMARY);
    if (!primary) return;  // no fast path; the collator answers everything
    UErrorCode status = U_ZERO_ERROR;
    USet* contractions = uset_openEmpty();
    USet* expansions = uset_openEmpty();
    ucol_getContractionsAndExpansions(tertiary_.get(), contractions, expansions, true, &status);
    // A contraction matters only when all of its characters can occur in
    // Windows-1251 text (most pair a letter with a combining mark, which the
    // code page lacks); the characters of those stay with the collator.
    std::u16string code_page(unicode.begin() + 1, unicode.end());
    USet* in_contraction = uset_openEmpty();
    const int32_t item_count = U_SUCCESS(status) ? uset_getItemCount(contractions) : 0;
    for (int32_t i = 0; i < item_count; ++i) {
      UChar32 start = 0, end = 0;
      UChar text[64];
      UErrorCode st = U_ZERO_ERROR;
      const int32_t len = uset_getItem(contractions, i, &start, &end, text, 64, &st);
      if (len == 0) {
        uset_addRange(in_contraction, start, end);
      } else if (U_FAILURE(st)) {
        status = st;  // too long to inspect: leave everything to the collator
      } else if (std::all_of(text, text + len, [&](UChar c) {
                   return code_page.find(static_cast<char16_t>(c)) != std::u16string::npos;
                 })) {
        for (int32_t k = 0; k < len; ++k) uset_add(in_contraction, text[k]);
      }
    }

    std::vector<unsigned char> simple;
    for (int b = 1; b < 256; ++b) {
      const UChar u = static_cast<UChar>(unicode[b]);
      if (U_FAILURE(status) || IsWordSortMark(static_cast<unsigned char>(b)) || u == 0xFFFD ||
          uset_contains(in_contraction, u) || uset_contains(expansions, u))
        continue;
      // A character that weighs nothing at primary strength (controls) stays
      // with the collator.
      if (ucol_strcoll(primary.get(), &u, 1, nullptr, 0) == UCOL_EQUAL) continue;
      simple.push_back(static_cast<unsigned char>(b));
    }
    uset_close(contractions);
    uset_close(expansions);
    uset_close(in_contraction);

    auto rank = [&](const UCollator* coll, uint16_t TByteWeights::*slot) {
      std::vector<unsigned char> order = simple;
      auto cmp = [&](unsigned char a, unsigned char b) {
        const UChar ua = static_cast<UChar>(unicode[a]), ub = static_cast<UChar>(unicode[b]);
        return ucol_strcoll(coll, &ua, 1, &ub, 1);
      };
      std::stable_sort(order.begin(), order.end(),
                       [&](unsigned char a, unsigned char b) { return cmp(a, b) == UCOL_LESS; });
      uint16_t r = 1;
      for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && cmp(order[i - 1], order[i]) != UCOL_EQUAL) ++r;
        weights_[order[i]].*slot = r;
      }
    };
    rank(primary.get(), &TByteWeights::primary);
    rank(secondary_.get(), &TByteWeights::secondary);
    rank(tertiary_.get(), &TByteWeights::tertiary);
  }

  // Compares by the byte weights when every byte that matters has them; false
  // when the collator must answer.  Reports whether either text holds marks.
  bool CompareByWeights(std::string_view left, std::string_view right, TCaseSensitivity sensitivity, int& result,
                        bool& left_marks, bool& right_marks) const {
    const auto* l = reinterpret_cast<const unsigned char*>(left.data());
    const auto* r = reinterpret_cast<const unsigned char*>(right.data());
    const size_t ln = left.size(), rn = right.size();
    size_t i = 0, j = 0;
    int secondary = 0, tertiary = 0;
    for (;;) {
      while (i < ln && IsWordSortMark(l[i])) ++i, left_marks = true;
      while (j < rn && IsWordSortMark(r[j])) ++j, right_marks = true;
      if (i == ln || j == rn) break;
      const TByteWeights& a = weights_[l[i]];
      const TByteWeights& b = weights_[r[j]];
      if (a.primary == 0 || b.primary == 0) return false;
      if (a.primary != b.primary) {
        result = a.primary < b.primary ? -1 : 1;
        return true;
      }
      if (secondary == 0 && a.secondary != b.secondary) secondary = a.secondary < b.secondary ? -1 : 1;
      if (tertiary == 0 && a.tertiary != b.tertiary) tertiary = a.tertiary < b.tertiary ? -1 : 1;
      ++i, ++j;
    }
    // One text ran out: the rest of the other decides only if it weighs
    // something at primary strength, which the weights can tell.
    bool rest_weighs = false;
    for (size_t k = i; k < ln; ++k) {
      if (IsWordSortMark(l[k])) { left_marks = true; continue; }
      if (weights_[l[k]].primary == 0) return false;
      rest_weighs = true;
    }
    for (size_t k = j; k < rn; ++k) {
      if (IsWordSortMark(r[k])) { right_marks = true; continue; }
      if (weights_[r[k]].primary == 0) return false;
      rest_weighs = true;
    }
    if (rest_weighs) result = i < ln ? 1 : -1;
    else if (secondary != 0) result = secondary;
    else if (sensitivity == TCaseSensitivity::kSensitive) result = tertiary;
    else result = 0;
    return true;
  }

  int CompareByCollator(std::string_view left, std::string_view right, TCaseSensitivity sensitivity,
                        bool& left_marks, bool& right_marks) const {
    UChar left_stack[kStackChars], right_stack[kStackChars];
    std::u16string left_heap, right_heap;
    int32_t ln = 0, rn = 0;
    const UChar* l = ToUnicode(left, left_stack, left_heap, left_marks, ln);
    const UChar* r = ToUnicode(right, right_stack, right_heap, right_marks, rn);
    const UCollator* coll = sensitivity == TCaseSensitivity::kSensitive ? tertiary_.get() : secondary_.get();
    switch (ucol_strcoll(coll, l, ln, r, rn)) {
      case UCOL_LESS: return -1;
      case UCOL_GREATER: return 1;
      default: return 0;
    }
  }

  // The text's characters without marks, in `stack` when they fit.
  static const UChar* ToUnicode(std::string_view text, UChar* stack, std::u16string& heap, bool& marks,
                                int32_t& length) {
    const std::array<char16_t, 256>& table = UnicodeTable();
    UChar* out = stack;
    if (text.size() > kStackChars) {
      heap.resize(text.size());
      out = reinterpret_cast<UChar*>(heap.data());
    }
    size_t n = 0;
    for (unsigned char c : text) {
      if (IsWordSortMark(c)) {
        marks = true;
        continue;
      }
      out[n++] = static_cast<UChar>(table[c]);
    }
    length = static_cast<int32_t>(n);
    return out;
  }

  static const std::array<char16_t, 256>& UnicodeTable() {
    static const std::array<char16_t, 256> table = [] {
      std::array<char16_t, 256> t{};
      std::string all;
      for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
      const std::u16string u = Cp1251ToUtf16(all);
      for (int b = 1; b < 256; ++b) t[b] = u[b - 1];
      return t;
    }();
    return table;
  }

  // The last tie-break: the texts' marks as (position, mark) pairs in order;
  // no marks sorts first.
  static int CompareMarks(std::string_view left, std::string_view right) {
    size_t i = 0, j = 0;
    for (;;) {
      while (i < left.size() && !IsWordSortMark(static_cast<unsigned char>(left[i]))) ++i;
      while (j < right.size() && !IsWordSortMark(static_cast<unsigned char>(right[j]))) ++j;
      const bool left_end = i == left.size(), right_end = j == right.size();
      if (left_end || right_end) return left_end == right_end ? 0 : (left_end ? -1 : 1);
      if (i != j) return i < j ? -1 : 1;
      if (left[i] != right[j]) return static_cast<unsigned char>(left[i]) < static_cast<unsigned char>(right[j]) ? -1 : 1;
      ++i, ++j;
    }
  }

  TCollatorPtr tertiary_;   // case-sensitive comparisons
  TCollatorPtr secondary_;  // case-insensitive comparisons
  std::array<TByteWeights, 256> weights_{};
};

}  // namespace

int CompareText(std::string_view left, std::string_view right, TCaseSensitivity sensitivity, std::ptrdiff_t limit) {
  if (limit >= 0) {
    left = left.substr(0, std::min<size_t>(left.size(), static_cast<size_t>(limit)));
    right = right.substr(0, std::min<size_t>(right.size(), static_cast<size_t>(limit)));
  }
  return TCollation::Instance().Compare(left, right, sensitivity);
}

bool SameTextIgnoringCase(std::string_view left, std::string_view right) {
  // Names of tables, fields and indexes are printable ASCII.  Among those
  // characters the collation tells apart everything but letter case (each has
  // a weight of its own, and the marks it passes over still break the tie at
  // their positions), so equality is equality without regard to ASCII case;
  // this keeps the collator, whose table takes a while to build, out of
  // opening a table.
  auto printable = [](unsigned char c) { return c >= 0x20 && c < 0x7F; };
  auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; };
  if (std::all_of(left.begin(), left.end(), [&](char c) { return printable(static_cast<unsigned char>(c)); }) &&
      std::all_of(right.begin(), right.end(), [&](char c) { return printable(static_cast<unsigned char>(c)); }))
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(), [&](char a, char b) {
             return fold(static_cast<unsigned char>(a)) == fold(static_cast<unsigned char>(b));
           });
  return CompareText(left, right, TCaseSensitivity::kInsensitive) == 0;
}

namespace detail {

int CompareTextByCollator(std::string_view left, std::string_view right, TCaseSensitivity sensitivity) {
  return TCollation::Instance().CompareByCollatorOnly(left, right, sensitivity);
}

bool HasFastWeights(unsigned char byte) { return TCollation::Instance().HasWeights(byte); }

}  // namespace detail
}  // namespace tdb
