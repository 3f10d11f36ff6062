// The order of Windows-1251 texts: case, alphabets, Ё, word-sort marks,
// partial comparison, and the fast weights held to the collator's answer.
#include "engine/compare/collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/base/codepage.h"

namespace tdb {
namespace {

std::string W(const char* utf8) { return Utf8ToCp1251(utf8); }

int Sensitive(const std::string& a, const std::string& b) { return CompareText(a, b, TCaseSensitivity::kSensitive); }
int Insensitive(const std::string& a, const std::string& b) {
  return CompareText(a, b, TCaseSensitivity::kInsensitive);
}

TEST(CollationTest, OrderOfPairs) {
  struct Case {
    const char* left;
    const char* right;
    int sensitive;    // expected sign, case counted
    int insensitive;  // expected sign, case ignored
  };
  const Case cases[] = {
      {"ab", "AB", -1, 0},            // lower case first; equal without case
      {"Ab", "ab", 1, 0},
      {"ab", "Ac", -1, -1},           // letters outweigh case
      {"ж", "Ж", -1, 0},
      {"иванов", "ИВАНОВ", -1, 0},
      {"z", "а", -1, -1},             // Latin before Cyrillic
      {"Zebra", "абв", -1, -1},
      {"1", "a", -1, -1},             // digits before letters
      {" a", "a", -1, -1},            // a blank counts, and before letters
      {"a b", "ab", -1, -1},
      {"a.b", "ab", -1, -1},          // other punctuation counts too
      {"е", "ё", -1, -1},             // Ё is Е with an accent, which case does not erase
      {"ёж", "еж", 1, 1},
      {"ёа", "еб", -1, -1},           // ...and sorts with Е, not after Я
      {"Ёлка", "Жук", -1, -1},
      {"Ёлка", "Елка", 1, 1},
      {"ёлка", "Ёлка", -1, 0},
      {"abc", "ab", 1, 1},
      {"", "a", -1, -1},
      {"", "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.left) + " / " + c.right);
    EXPECT_EQ(Sensitive(W(c.left), W(c.right)), c.sensitive);
    EXPECT_EQ(Insensitive(W(c.left), W(c.right)), c.insensitive);
    EXPECT_EQ(Sensitive(W(c.right), W(c.left)), -c.sensitive);
    EXPECT_EQ(Insensitive(W(c.right), W(c.left)), -c.insensitive);
  }
}

TEST(CollationTest, HyphenAndApostropheOnlyBreakTies) {
  // "co-op" sits between "coop" and "coopa", not among the "co-" words.
  std::vector<std::string> words = {"coopa", "co-op", "cop", "coop", "co op", "can't", "cant", "canto"};
  std::sort(words.begin(), words.end(),
            [](const std::string& a, const std::string& b) { return Sensitive(a, b) < 0; });
  EXPECT_EQ(words, (std::vector<std::string>{"cant", "can't", "canto", "co op", "coop", "co-op", "coopa", "cop"}));

  EXPECT_NE(Sensitive("co-op", "coop"), 0);  // not equal: the mark breaks the tie
  EXPECT_NE(Insensitive("Co-op", "coop"), 0);
  EXPECT_EQ(Sensitive("Co-op", "coop"), 1);  // the capital decides before the mark
  EXPECT_EQ(Sensitive("co-op", "coo-p"), -1);  // the earlier mark first
  EXPECT_EQ(Sensitive(W("Петров-Водкин"), W("ПетровВодкин")), 1);
  EXPECT_EQ(Sensitive(W("Петров-Водкин"), W("Петровский")), -1);
}

TEST(CollationTest, PartialComparisonTakesTheFirstCharactersOfEach) {
  const auto partial = [](const char* a, const char* b, std::ptrdiff_t k) {
    return CompareText(W(a), W(b), TCaseSensitivity::kSensitive, k);
  };
  EXPECT_EQ(partial("Ив", "Иванов", 2), 0);
  EXPECT_EQ(partial("Иванов", "Ив", 2), 0);
  EXPECT_EQ(partial("И", "Иванов", 2), -1);  // a shorter text takes part whole
  EXPECT_EQ(partial("Ив", "Иа", 2), 1);
  EXPECT_EQ(partial("abc", "xyz", 0), 0);
  EXPECT_EQ(partial("Ив", "Иванов", -1), -1);
}

TEST(CollationTest, RussianNamesSortAsARussianReaderExpects) {
  std::vector<std::string> names;
  for (const char* n : {"Яковлев", "Ёлкин", "Егоров", "Щукин", "Иванова", "Иванов", "Шилов", "Ильин",
                        "Юдин", "Эйхман", "Жуков", "Абрамов", "иванов", "Ефимов", "Smith"})
    names.push_back(W(n));
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return Sensitive(a, b) < 0; });
  std::vector<std::string> expected;
  for (const char* n : {"Smith", "Абрамов", "Егоров", "Ёлкин", "Ефимов", "Жуков", "иванов", "Иванов", "Иванова",
                        "Ильин", "Шилов", "Щукин", "Эйхман", "Юдин", "Яковлев"})
    expected.push_back(W(n));
  EXPECT_EQ(names, expected);
}

// Random texts over the whole code page, weighted towards letters so that
// most of them take the fast path; its answer must be the collator's.
TEST(CollationTest, FastWeightsAgreeWithTheCollator) {
  std::string alphabet;
  for (int b = 1; b < 256; ++b) alphabet.push_back(static_cast<char>(b));
  const std::string letters = W("абвгдеёжзийклмнопрстуфхцчшщъыьэюяАБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ") +
                              "abcxyzABCXYZ0129 -'.,";
  std::mt19937 rng(20240229);
  auto random_text = [&](bool whole_code_page) {
    std::string s;
    const int n = static_cast<int>(rng() % 7);
    const std::string& from = whole_code_page ? alphabet : letters;
    for (int i = 0; i < n; ++i) s.push_back(from[rng() % from.size()]);
    return s;
  };
  int fast = 0;
  for (int round = 0; round < 40000; ++round) {
    std::string a = random_text(round % 4 == 0);
    std::string b = round % 3 == 0 ? a : random_text(round % 4 == 0);
    // Small edits of a keep the texts close, where the levels below primary decide.
    if (round % 3 == 0 && !b.empty()) b[rng() % b.size()] = letters[rng() % letters.size()];
    bool all_fast = true;
    for (unsigned char c : a + b) all_fast = all_fast && (c == '-' || c == '\'' || detail::HasFastWeights(c));
    fast += all_fast;
    for (TCaseSensitivity cs : {TCaseSensitivity::kSensitive, TCaseSensitivity::kInsensitive}) {
      ASSERT_EQ(CompareText(a, b, cs), detail::CompareTextByCollator(a, b, cs))
          << Cp1251ToUtf8(a) << " / " << Cp1251ToUtf8(b);
    }
  }
  EXPECT_GT(fast, 20000);  // the fast path really was taken
  for (unsigned char c : W("абвгдежзийклмнопрстуфхцчшщъыьэюяАЯ") + "azAZ09 .,")
    EXPECT_TRUE(detail::HasFastWeights(c)) << int(c);
}

// Names are matched without the collator when they are printable ASCII; the
// answer must be the collator's.  Every pair of printable characters, and
// pairs of short texts over the characters where case and marks matter.
TEST(CollationTest, NameMatchingAgreesWithTheCollator) {
  auto collator_same = [](const std::string& a, const std::string& b) {
    return detail::CompareTextByCollator(a, b, TCaseSensitivity::kInsensitive) == 0;
  };
  for (int x = 0x20; x < 0x7F; ++x)
    for (int y = 0x20; y < 0x7F; ++y) {
      std::string a(1, static_cast<char>(x)), b(1, static_cast<char>(y));
      ASSERT_EQ(SameTextIgnoringCase(a, b), collator_same(a, b)) << a << " / " << b;
    }
  const std::string chars = "aAbBzZ09 -'_.";
  std::vector<std::string> texts{""};
  for (char c : chars) texts.push_back(std::string(1, c));
  for (char c : chars)
    for (char d : chars) texts.push_back(std::string{c, d});
  for (const std::string& a : texts)
    for (const std::string& b : texts) ASSERT_EQ(SameTextIgnoringCase(a, b), collator_same(a, b)) << a << " / " << b;
  EXPECT_TRUE(SameTextIgnoringCase("iNomer", "INOMER"));
  EXPECT_FALSE(SameTextIgnoringCase("co-op", "coop"));
  EXPECT_TRUE(SameTextIgnoringCase(W("Ёлка"), W("ёЛКА")));  // not ASCII: the collator's answer
}

TEST(CollationTest, LongTextsAndConcurrentUse) {
  const std::string long_a(1000, '\xE0'), long_b = std::string(999, '\xE0') + "\xE1";
  EXPECT_EQ(Sensitive(long_a, long_b), -1);
  EXPECT_EQ(detail::CompareTextByCollator(long_a + "\x01", long_b, TCaseSensitivity::kSensitive), -1);

  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        failures[t] += Insensitive(W("Ёлка"), W("ёЛКА")) != 0;
        failures[t] += detail::CompareTextByCollator(W("Ёлка\x01"), W("елка"), TCaseSensitivity::kSensitive) != 1;
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace tdb
