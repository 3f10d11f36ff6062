// The process's collation: a fixed table of collation elements per byte
// (collation_weights.h, drawn once from ICU's root collation and committed),
// compared level by level as the Unicode collation algorithm does.
//
// A text becomes a sequence of collation elements (CEs): each byte gives its
// own run (none for a control, two for Ё, which is Е with an accent,
// three for "…"), except where a contraction of several bytes matches, the
// longest first.  Two sequences compare by their non-zero primary weights
// position by position (a sequence that runs out first is smaller), then by
// their non-zero secondary weights, then, when case counts, by their
// tertiary weights.  The word-sort marks are taken out before and break a
// remaining tie after.  Texts whose every byte is one CE weighing at every
// level (most names, numbers and punctuation) give the same answer in one
// pass over both, which is tried first.
#include "engine/compare/collation.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "engine/compare/collation_weights.h"

namespace tdb {
namespace {

namespace cw = collation_weights;

constexpr bool IsWordSortMark(unsigned char c) { return c == '-' || c == '\''; }

constexpr size_t kElementCount = sizeof cw::kElements / sizeof cw::kElements[0];
constexpr size_t kContractionCount = sizeof cw::kContractions / sizeof cw::kContractions[0];

// Whether a byte begins a contraction, so that the reader must look further.
constexpr std::array<bool, 256> kStartsContraction = [] {
  std::array<bool, 256> starts{};
  for (const cw::TContraction& c : cw::kContractions)
    if (c.bytes[0] != '\0') starts[static_cast<unsigned char>(c.bytes[0])] = true;
  return starts;
}();

// The weights of a byte that is one CE with a primary weight and begins no
// contraction; a text of such bytes compares in one pass.  primary 0: not so.
constexpr std::array<cw::TElement, 256> kSimple = [] {
  std::array<cw::TElement, 256> simple{};
  for (int b = 0; b < 256; ++b) {
    const cw::TRun& run = cw::kBytes[b];
    const cw::TElement& e = cw::kElements[run.first];
    if (run.count == 1 && e.primary != 0 && e.secondary != 0 && e.tertiary != 0 &&
        !kStartsContraction[static_cast<size_t>(b)] && !IsWordSortMark(static_cast<unsigned char>(b)))
      simple[static_cast<size_t>(b)] = cw::kElements[run.first];
  }
  return simple;
}();

static_assert([] {
  for (const cw::TRun& run : cw::kBytes)
    if (static_cast<size_t>(run.first) + run.count > kElementCount) return false;
  for (const cw::TContraction& c : cw::kContractions)
    if (static_cast<size_t>(c.run.first) + c.run.count > kElementCount) return false;
  return true;
}(), "every run lies inside the element table");

// A sequence of CEs that lives on the stack while it is short.
class TElementBuffer {
 public:
  void push_back(const cw::TElement& e) {
    if (size_ < stack_.size()) stack_[size_] = e;
    else heap_.push_back(e);
    ++size_;
  }
  size_t size() const { return size_; }
  const cw::TElement& operator[](size_t i) const { return i < stack_.size() ? stack_[i] : heap_[i - stack_.size()]; }

 private:
  std::array<cw::TElement, 128> stack_;
  std::vector<cw::TElement> heap_;
  size_t size_ = 0;
};

// Hands out the CEs of a text one by one and keeps every CE handed out.
class TElementReader {
 public:
  explicit TElementReader(std::string_view text)
      : p_(reinterpret_cast<const unsigned char*>(text.data())), end_(p_ + text.size()) {}

  // The next CE with a primary weight, or nullptr at the end of the text;
  // the CEs without one on the way are kept too.
  const cw::TElement* NextPrimary() {
    for (;;) {
      if (run_left_ == 0 && !NextRun()) return nullptr;
      const cw::TElement& e = cw::kElements[run_next_++];
      --run_left_;
      kept_.push_back(e);
      if (e.primary != 0) return &e;
    }
  }

  const TElementBuffer& Kept() const { return kept_; }
  bool SawMarks() const { return marks_; }

 private:
  void SkipMarks() {
    while (p_ < end_ && IsWordSortMark(*p_)) ++p_, marks_ = true;
  }

  // Starts the run of the next byte or contraction; false at the end.
  bool NextRun() {
    for (;;) {
      SkipMarks();
      if (p_ == end_) return false;
      cw::TRun run = cw::kBytes[*p_];
      const unsigned char* after = p_ + 1;
      if (kStartsContraction[*p_]) MatchContraction(run, after);
      p_ = after;
      if (run.count == 0) continue;
      run_next_ = run.first;
      run_left_ = run.count;
      return true;
    }
  }

  // The longest contraction at p_, its bytes read past marks as the rest of
  // the text is.
  void MatchContraction(cw::TRun& run, const unsigned char*& after) {
    size_t best = 1;
    for (size_t i = 0; i < kContractionCount; ++i) {
      const char* want = cw::kContractions[i].bytes;
      const unsigned char* q = p_;
      size_t n = 0;
      bool match = true;
      for (; want[n] != '\0'; ++n) {
        while (n > 0 && q < end_ && IsWordSortMark(*q)) ++q;
        if (q == end_ || *q != static_cast<unsigned char>(want[n])) {
          match = false;
          break;
        }
        ++q;
      }
      if (match && n > best) {
        best = n;
        run = cw::kContractions[i].run;
        after = q;
      }
    }
    if (best > 1)
      for (const unsigned char* q = p_; q < after; ++q) marks_ = marks_ || IsWordSortMark(*q);
  }

  const unsigned char* p_;
  const unsigned char* end_;
  uint16_t run_next_ = 0;
  uint16_t run_left_ = 0;
  bool marks_ = false;
  TElementBuffer kept_;
};

// Compares one level of two CE sequences, passing over CEs without a weight there.
template <uint16_t cw::TElement::*kLevel>
int CompareLevel(const TElementBuffer& left, const TElementBuffer& right) {
  size_t i = 0, j = 0;
  for (;;) {
    while (i < left.size() && left[i].*kLevel == 0) ++i;
    while (j < right.size() && right[j].*kLevel == 0) ++j;
    const bool left_end = i == left.size(), right_end = j == right.size();
    if (left_end || right_end) return left_end == right_end ? 0 : (left_end ? -1 : 1);
    const uint16_t a = left[i].*kLevel, b = right[j].*kLevel;
    if (a != b) return a < b ? -1 : 1;
    ++i, ++j;
  }
}

// The last tie-break: the texts' marks as (position, mark) pairs in order;
// no marks sorts first.
int CompareMarks(std::string_view left, std::string_view right) {
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

// Compares texts of simple bytes (and marks) in one pass: position by
// position the primaries decide, the first differing secondary and tertiary
// are kept for a tie.  False when a byte that is not simple takes part.
bool CompareSimple(std::string_view left, std::string_view right, TCaseSensitivity sensitivity, int& result,
                   bool& marks) {
  const auto* l = reinterpret_cast<const unsigned char*>(left.data());
  const auto* r = reinterpret_cast<const unsigned char*>(right.data());
  const size_t ln = left.size(), rn = right.size();
  size_t i = 0, j = 0;
  int secondary = 0, tertiary = 0;
  for (;;) {
    while (i < ln && IsWordSortMark(l[i])) ++i, marks = true;
    while (j < rn && IsWordSortMark(r[j])) ++j, marks = true;
    if (i == ln || j == rn) break;
    const cw::TElement& a = kSimple[l[i]];
    const cw::TElement& b = kSimple[r[j]];
    if (a.primary == 0 || b.primary == 0) return false;
    if (a.primary != b.primary) {
      result = a.primary < b.primary ? -1 : 1;
      return true;
    }
    if (secondary == 0 && a.secondary != b.secondary) secondary = a.secondary < b.secondary ? -1 : 1;
    if (tertiary == 0 && a.tertiary != b.tertiary) tertiary = a.tertiary < b.tertiary ? -1 : 1;
    ++i, ++j;
  }
  // One text ran out: any simple byte left in the other makes it the greater.
  bool rest = false;
  for (size_t k = i; k < ln; ++k) {
    if (IsWordSortMark(l[k])) { marks = true; continue; }
    if (kSimple[l[k]].primary == 0) return false;
    rest = true;
  }
  for (size_t k = j; k < rn; ++k) {
    if (IsWordSortMark(r[k])) { marks = true; continue; }
    if (kSimple[r[k]].primary == 0) return false;
    rest = true;
  }
  if (rest) result = i < ln ? 1 : -1;
  else if (secondary != 0) result = secondary;
  else result = sensitivity == TCaseSensitivity::kSensitive ? tertiary : 0;
  return true;
}

int Compare(std::string_view left, std::string_view right, TCaseSensitivity sensitivity) {
  if (left == right) return 0;
  int simple = 0;
  bool simple_marks = false;
  if (CompareSimple(left, right, sensitivity, simple, simple_marks))
    return simple == 0 && simple_marks ? CompareMarks(left, right) : simple;
  TElementReader l(left), r(right);
  for (;;) {
    const cw::TElement* a = l.NextPrimary();
    const cw::TElement* b = r.NextPrimary();
    if (!a || !b) {
      if (a || b) return a ? 1 : -1;
      break;
    }
    if (a->primary != b->primary) return a->primary < b->primary ? -1 : 1;
  }
  int result = CompareLevel<&cw::TElement::secondary>(l.Kept(), r.Kept());
  if (result == 0 && sensitivity == TCaseSensitivity::kSensitive)
    result = CompareLevel<&cw::TElement::tertiary>(l.Kept(), r.Kept());
  if (result == 0 && (l.SawMarks() || r.SawMarks())) result = CompareMarks(left, right);
  return result;
}

}  // namespace

int CompareText(std::string_view left, std::string_view right, TCaseSensitivity sensitivity, std::ptrdiff_t limit) {
  if (limit >= 0) {
    left = left.substr(0, std::min<size_t>(left.size(), static_cast<size_t>(limit)));
    right = right.substr(0, std::min<size_t>(right.size(), static_cast<size_t>(limit)));
  }
  return Compare(left, right, sensitivity);
}

bool SameTextIgnoringCase(std::string_view left, std::string_view right) {
  // Names of tables, fields and indexes are printable ASCII.  Among those
  // characters the collation tells apart everything but letter case (each has
  // a weight of its own, and the marks it passes over still break the tie at
  // their positions), so equality is equality without regard to ASCII case,
  // and the name lookups of opening a table skip the level-by-level walk.
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

}  // namespace tdb
