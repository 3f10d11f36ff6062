// Windows-1251 conversions through the fixed table of cp1251_table.h.
#include "engine/base/codepage.h"

#include <array>
#include <unordered_map>

#include "engine/base/cp1251_table.h"

namespace tdb {
namespace {

struct Cp1251Table {
  std::array<char16_t, 256> to_unicode{};
  std::unordered_map<char16_t, unsigned char> from_unicode;

  Cp1251Table() {
    for (int b = 0; b < 256; ++b) {
      const char16_t u = b < 0x80 ? static_cast<char16_t>(b) : cp1251::kHighHalf[b - 0x80];
      to_unicode[static_cast<size_t>(b)] = u;
      if (u != u'\uFFFD') from_unicode.emplace(u, static_cast<unsigned char>(b));
    }
  }
};

const Cp1251Table& Table() {
  static const Cp1251Table table;
  return table;
}

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes the code point at `i` and advances past it; malformed input gives
// U+FFFD and advances one byte.
char32_t NextUtf8(std::string_view s, size_t& i) {
  unsigned char b = static_cast<unsigned char>(s[i]);
  int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > s.size()) {
    ++i;
    return 0xFFFD;
  }
  char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
  for (int k = 1; k < len; ++k) {
    unsigned char cont = static_cast<unsigned char>(s[i + k]);
    if ((cont & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = (c << 6) | (cont & 0x3F);
  }
  i += len;
  return c;
}

unsigned char ToByte(char32_t c) {
  if (c < 0x80) return static_cast<unsigned char>(c);
  if (c > 0xFFFF) return '?';
  const auto& map = Table().from_unicode;
  auto it = map.find(static_cast<char16_t>(c));
  return it == map.end() ? '?' : it->second;
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view cp1251) {
  const auto& table = Table().to_unicode;
  std::string out;
  out.reserve(cp1251.size() * 2);
  for (char ch : cp1251) AppendUtf8(out, table[static_cast<unsigned char>(ch)]);
  return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) out.push_back(static_cast<char>(ToByte(NextUtf8(utf8, i))));
  return out;
}

std::u16string Cp1251ToUtf16(std::string_view cp1251) {
  const auto& table = Table().to_unicode;
  std::u16string out;
  out.reserve(cp1251.size());
  for (char ch : cp1251) out.push_back(table[static_cast<unsigned char>(ch)]);
  return out;
}

std::string Utf16ToCp1251(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char16_t u = utf16[i];
    if (u >= 0xD800 && u <= 0xDFFF) {
      if (u <= 0xDBFF && i + 1 < utf16.size()) ++i;  // a pair outside the BMP: one "?"
      out.push_back('?');
      continue;
    }
    out.push_back(static_cast<char>(ToByte(u)));
  }
  return out;
}

}  // namespace tdb
