// LIKE matching held to the language's own step-by-step rules on every short
// text and pattern, and on long inputs that would blow up a naive matcher.
#include "engine/filter/like_match.h"

#include <gtest/gtest.h>

#include "engine/base/codepage.h"

#include <string>
#include <vector>

namespace tdb {
namespace {

char Fold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The matching rules as the language states them, one step at a time
// (exponential in general; fine on short inputs).
bool ReferenceLike(const char* l, const char* p, bool ci) {
  if (p[0] == '%' && p[1] == '\0') return true;
  if (*l == '\0') return *p == '\0';
  if (*p == '%') return ReferenceLike(l, p + 1, ci) || ReferenceLike(l + 1, p, ci);
  if (*p == '_') return ReferenceLike(l + 1, p + 1, ci);
  const bool same = ci ? Fold(*p) == Fold(*l) : *p == *l;
  return same && ReferenceLike(l + 1, p + 1, ci);
}

// Every string of up to `max_length` characters over `alphabet`.
std::vector<std::string> AllStrings(const std::string& alphabet, size_t max_length) {
  std::vector<std::string> out = {""};
  for (size_t begin = 0; begin < out.size(); ++begin) {
    if (out[begin].size() == max_length) continue;
    for (char c : alphabet) out.push_back(out[begin] + c);
  }
  return out;
}

TEST(LikeMatchTest, AgreesWithTheStepRulesOnAllShortInputs) {
  const auto texts = AllStrings("aBb", 5);
  const auto patterns = AllStrings("ab%_", 5);
  for (const std::string& p : patterns) {
    for (const std::string& t : texts) {
      for (bool ci : {false, true}) {
        ASSERT_EQ(LikeMatch(t, p, ci), ReferenceLike(t.c_str(), p.c_str(), ci))
            << "'" << t << "' LIKE '" << p << "' ci=" << ci;
      }
    }
  }
}

// Folding every letter: each byte matches exactly itself and its other-case
// partner in Unicode (Latin and Cyrillic: 0x20 apart; Ѐ-Џ: 0x50; Ґ: 1);
// folding Latin only leaves the Cyrillic letters to match themselves.
TEST(LikeMatchTest, FoldingEveryLetterMatchesEachLetterWithItsOtherCase) {
  auto partner = [](char16_t c) -> char16_t {
    if ((c >= u'a' && c <= u'z') || (c >= u'\u0430' && c <= u'\u044F')) return c - 0x20;
    if ((c >= u'A' && c <= u'Z') || (c >= u'\u0410' && c <= u'\u042F')) return c + 0x20;
    if (c >= u'\u0450' && c <= u'\u045F') return c - 0x50;
    if (c >= u'\u0400' && c <= u'\u040F') return c + 0x50;
    if (c == u'\u0491') return u'\u0490';
    if (c == u'\u0490') return u'\u0491';
    return c;
  };
  int pairs = 0;
  for (int a = 1; a < 256; ++a) {
    for (int b = 1; b < 256; ++b) {
      const std::string ta(1, static_cast<char>(a)), tb(1, static_cast<char>(b));
      if (tb == "%" || tb == "_") continue;
      const char16_t wa = Cp1251ToUtf16(ta).at(0), wb = Cp1251ToUtf16(tb).at(0);
      const bool same_letter = a == b || partner(wa) == wb;
      ASSERT_EQ(LikeMatch(ta, tb, TLikeCase::kAllLetters), same_letter) << a << " " << b;
      const bool latin = a == b || (a < 128 && b < 128 && same_letter);
      ASSERT_EQ(LikeMatch(ta, tb, TLikeCase::kLatin), latin) << a << " " << b;
      if (a != b && same_letter) ++pairs;
    }
  }
  EXPECT_EQ(pairs, 2 * (26 + 32 + 15));  // a-z, а-я, Ё Ђ Ѓ Є Ѕ І Ї Ј Љ Њ Ћ Ќ Ў Џ Ґ; each both ways
  EXPECT_TRUE(LikeMatch("\xC8\xE2\xE0\xED\xEE\xE2 \xCF\xB8\xF2\xF0", "%\xEE\xE2 \xEF\xA8%", TLikeCase::kAllLetters));
}

TEST(LikeMatchTest, TextsEndAtTheirFirstNul) {
  EXPECT_TRUE(LikeMatch(std::string("ab\0cd", 5), "ab", false));
  EXPECT_TRUE(LikeMatch("ab", std::string("a%\0x", 4), false));
}

TEST(LikeMatchTest, PathologicalPatternsFinish) {
  const std::string text(50000, 'a');
  std::string pattern;
  for (int i = 0; i < 200; ++i) pattern += "%a";
  EXPECT_FALSE(LikeMatch(text, pattern + "%b", false));
  EXPECT_TRUE(LikeMatch(text, pattern + "%", false));
  EXPECT_TRUE(LikeMatch(text, pattern + "%%", false));
  EXPECT_FALSE(LikeMatch(text + "b", std::string(300, '_') + "%" + std::string(300, '_') + "c", false));
}

}  // namespace
}  // namespace tdb
