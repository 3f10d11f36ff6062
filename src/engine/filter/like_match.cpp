// LIKE matching by the greedy two-pointer method with one saved "%".
//
// Windows-1251 maps one to one onto wide characters, and every small letter
// of it has its capital in it too, so matching the bytes gives the same
// answers as matching the wide texts.
#include "engine/filter/like_match.h"

#include <array>
#include <string>

namespace tdb {
namespace {

// Per byte its capital under the folding; other bytes map to themselves.
using TFoldTable = std::array<unsigned char, 256>;

TFoldTable MakeFold(TLikeCase folding) {
  TFoldTable fold;
  for (int c = 0; c < 256; ++c) fold[static_cast<size_t>(c)] = static_cast<unsigned char>(c);
  if (folding == TLikeCase::kExact) return fold;
  for (int c = 'a'; c <= 'z'; ++c) fold[static_cast<size_t>(c)] = static_cast<unsigned char>(c - 'a' + 'A');
  if (folding == TLikeCase::kLatin) return fold;
  for (int c = 0xE0; c <= 0xFF; ++c) fold[static_cast<size_t>(c)] = static_cast<unsigned char>(c - 0x20);  // а-я
  // The letters outside the two runs: small, capital.
  static constexpr unsigned char kPairs[][2] = {
      {0xB8, 0xA8},  // ё Ё
      {0x90, 0x80},  // ђ Ђ
      {0x83, 0x81},  // ѓ Ѓ
      {0x9A, 0x8A},  // љ Љ
      {0x9C, 0x8C},  // њ Њ
      {0x9D, 0x8D},  // ќ Ќ
      {0x9E, 0x8E},  // ћ Ћ
      {0x9F, 0x8F},  // џ Џ
      {0xA2, 0xA1},  // ў Ў
      {0xBC, 0xA3},  // ј Ј
      {0xB4, 0xA5},  // ґ Ґ
      {0xBA, 0xAA},  // є Є
      {0xB3, 0xB2},  // і І
      {0xBF, 0xAF},  // ї Ї
      {0xBE, 0xBD},  // ѕ Ѕ
  };
  for (const auto& pair : kPairs) fold[pair[0]] = pair[1];
  return fold;
}

const TFoldTable& FoldTable(TLikeCase folding) {
  static const TFoldTable exact = MakeFold(TLikeCase::kExact);
  static const TFoldTable latin = MakeFold(TLikeCase::kLatin);
  static const TFoldTable all = MakeFold(TLikeCase::kAllLetters);
  return folding == TLikeCase::kAllLetters ? all : folding == TLikeCase::kLatin ? latin : exact;
}

std::string_view UpToNul(std::string_view s) { return s.substr(0, s.find('\0')); }

}  // namespace

unsigned char LikeFold(unsigned char c, TLikeCase folding) { return FoldTable(folding)[c]; }

bool LikeMatch(std::string_view text, std::string_view pattern_in, TLikeCase folding) {
  const TFoldTable& fold = FoldTable(folding);
  auto same = [&fold](char a, char b) {
    return fold[static_cast<unsigned char>(a)] == fold[static_cast<unsigned char>(b)];
  };
  text = UpToNul(text);
  std::string pattern(UpToNul(pattern_in));

  // The language lets a "%" match nothing at the end of the text only when it
  // is the pattern's last character.  A trailing run of two or more "%"
  // therefore needs at least one character left for it, which is the
  // ordinary meaning of "_%".
  size_t run = 0;
  while (run < pattern.size() && pattern[pattern.size() - 1 - run] == '%') ++run;
  if (run >= 2) pattern.replace(pattern.size() - run, run, "_%");

  size_t t = 0, p = 0;
  size_t star = std::string::npos;  // pattern position of the last "%" met
  size_t resume = 0;                // text position that "%" has taken up to
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '%') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() &&
               (pattern[p] == '_' || same(pattern[p], text[t]))) {
      ++t;
      ++p;
    } else if (star != std::string::npos) {
      // Let the last "%" take one more character and try again after it.
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '%') ++p;
  return p == pattern.size();
}

}  // namespace tdb
