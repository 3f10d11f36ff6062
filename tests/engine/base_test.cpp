// The error type's message forms and the Windows-1251 conversions.
#include <gtest/gtest.h>

#include "engine/base/byte_order.h"
#include "engine/base/codepage.h"
#include "engine/base/database_error.h"

namespace tdb {
namespace {

TEST(DatabaseErrorTest, MessagesAndComponentNames) {
  EXPECT_EQ(Format("Cannot open file %s", {"a.tdb"}), "Cannot open file a.tdb");
  EXPECT_EQ(Format("%s: %s", {"x"}), "x: %s");  // missing arguments leave the marker
  try {
    ComponentError("Table1", "General error");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Table1: General error");
  }
  try {
    ComponentError("", "General error");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "General error");
  }
}

TEST(CodePageTest, RoundTripsEveryCharacterOfTheCodePage) {
  std::string all;
  for (int b = 1; b < 256; ++b)
    if (b != 0x98) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
  EXPECT_EQ(Utf16ToCp1251(Cp1251ToUtf16(all)), all);
}

TEST(CodePageTest, KnownLettersAndForeignCharacters) {
  EXPECT_EQ(Cp1251ToUtf8("\xCF\xE0\xF0\xEE\xEB\xFC"), "Пароль");
  EXPECT_EQ(Utf8ToCp1251("Ёё№"), "\xA8\xB8\xB9");
  EXPECT_EQ(Utf8ToCp1251("a€b"), "a\x88" "b");  // the euro sign is in the code page
  EXPECT_EQ(Utf8ToCp1251("日本"), "??");
  EXPECT_EQ(Utf8ToCp1251("\xFF\xFE"), "??");  // not UTF-8 at all
  EXPECT_EQ(Utf8ToCp1251("\xD0"), "?");       // cut-off sequence
}

TEST(ByteOrderTest, LittleEndianFields) {
  uint8_t buf[8];
  PutInt32LE(buf, -2);
  EXPECT_EQ(buf[0], 0xFE);
  EXPECT_EQ(buf[3], 0xFF);
  EXPECT_EQ(GetInt32LE(buf), -2);
  PutDoubleLE(buf, 693594.5);
  EXPECT_EQ(GetDoubleLE(buf), 693594.5);
  PutInt64LE(buf, (int64_t{1} << 53) + 1);
  EXPECT_EQ(GetInt64LE(buf), (int64_t{1} << 53) + 1);
}

}  // namespace
}  // namespace tdb
