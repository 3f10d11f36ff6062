// Numbers as text with the locale's decimal separator.
#include <gtest/gtest.h>

#include "engine/locale/number_text.h"

namespace tdb {
namespace {

TEST(NumberTextTest, GeneralFloatFormat) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0"},        {-0.0, "0"},         {1234.5, "1234,5"}, {0.1, "0,1"},
      {-2.25, "-2,25"},  {1e20, "1E20"},      {1.5e-7, "1,5E-7"}, {123456789012345.0, "123456789012345"},
      {1e15, "1E15"},    {99999.99, "99999,99"},
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToText(c.value, ','), c.text) << c.value;
  EXPECT_EQ(FloatToText(1234.5, '.'), "1234.5");
}

TEST(NumberTextTest, ReadingNumbers) {
  EXPECT_EQ(TextToFloat(" 1234,5 ", ','), 1234.5);
  EXPECT_EQ(TextToFloat("1234.5", ','), 1234.5);  // a point is read too
  EXPECT_EQ(TextToFloat("-1,5E3", ','), -1500.0);
  for (const char* bad : {"", "abc", "1,2,3x", "1e999", "--1", "1 2"})
    EXPECT_FALSE(TextToFloat(bad, ',').has_value()) << bad;

  EXPECT_EQ(TextToInt64(" -42 "), -42);
  EXPECT_EQ(TextToInt64("$1F"), 31);
  EXPECT_EQ(TextToInt64("0x10"), 16);
  EXPECT_EQ(TextToInt64("-9223372036854775808"), INT64_MIN);
  for (const char* bad : {"", "-", "9223372036854775808", "12a", "0x", "$"})
    EXPECT_FALSE(TextToInt64(bad).has_value()) << bad;
}

}  // namespace
}  // namespace tdb
