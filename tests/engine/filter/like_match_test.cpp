// LIKE matching held to the language's own step-by-step rules on every short
// text and pattern, and on long inputs that would blow up a naive matcher.
#include "engine/filter/like_match.h"

#include <gtest/gtest.h>

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
