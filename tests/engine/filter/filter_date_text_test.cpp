// The fixed scanner of date and time constants: month first whatever the
// locale, the two-digit-year window, markers, and where it gives way to the
// locale's reading.
#include "engine/filter/filter_date_text.h"

#include <gtest/gtest.h>

#include "engine/base/database_error.h"

namespace tdb {
namespace {

TEST(FilterDateTextTest, FixedDates) {
  const TFormatSettings ru = RussianFormatSettings();
  struct Case {
    const char* text;
    int y, m, d;  // y 0: does not read
  };
  const Case cases[] = {
      {"01/31/2005", 2005, 1, 31},  {"1/2/2005", 2005, 1, 2},   {" 1 / 2 / 2005", 2005, 1, 2},
      {"2/29/2004", 2004, 2, 29},   {"2/29/2005", 0, 0, 0},     {"31/01/2005", 0, 0, 0},
      {"1/31/05", 2005, 1, 31},     {"1/31/74", 2074, 1, 31},   {"1/31/76", 1976, 1, 31},
      {"1/31/0005", 5, 1, 31},      {"1/31/12345", 0, 0, 0},    {"1/31", 0, 0, 0},
      {"1.31.2005", 0, 0, 0},       {"1/31/2005 x", 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto got = ScanFixedDate(c.text, ru, 2025);
    if (c.y == 0) {
      EXPECT_FALSE(got.has_value());
    } else {
      EXPECT_EQ(got, EncodeDate(c.y, c.m, c.d));
    }
  }
}

TEST(FilterDateTextTest, FixedTimes) {
  TFormatSettings s = RussianFormatSettings();
  s.time_am_string = "AMX";
  s.time_pm_string = "PMX";
  struct Case {
    const char* text;
    int ms;  // -1: does not read
  };
  const Case cases[] = {
      {"10", 36000000},           {"10:30", 37800000},         {"10:30:15", 37815000},
      {"10:30:15,5", 37815005},   {"10:30:15,500", 37815500},  {"0:00", 0},
      {"12:00 AM", 0},            {"12:00 pm", 43200000},      {"pm 1:00", 46800000},
      {"1:00 PMX", 46800000},     {"1:00 amx", 3600000},       {"10:30  ", 37800000},
      {"13:00 PM", -1},           {"0:00 AM", -1},             {"24:00", -1},
      {"10:60", -1},              {"10:30:15,1000", -1},       {"10:", -1},
      {"10:30 x", -1},            {"PM", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto got = ScanFixedTime(c.text, s);
    if (c.ms < 0) {
      EXPECT_FALSE(got.has_value());
    } else {
      EXPECT_EQ(got, c.ms);
    }
  }
}

TEST(FilterDateTextTest, FixedDateWithTime) {
  const TFormatSettings ru = RussianFormatSettings();
  const int32_t day = EncodeDate(2005, 1, 31).value();
  EXPECT_EQ(ScanFixedDateTime("1/31/2005", ru, 2025), (TTimeStamp{day, 0}));
  EXPECT_EQ(ScanFixedDateTime("1/31/2005 ", ru, 2025), (TTimeStamp{day, 0}));
  EXPECT_EQ(ScanFixedDateTime("1/31/2005 1:30 PM", ru, 2025), (TTimeStamp{day, 48600000}));
  // What follows the time is not examined.
  EXPECT_EQ(ScanFixedDateTime("1/31/2005 10:00 and more", ru, 2025), (TTimeStamp{day, 36000000}));
  EXPECT_FALSE(ScanFixedDateTime("1/31/2005x", ru, 2025).has_value());
}

TEST(FilterDateTextTest, ConversionFallsBackToTheLocale) {
  TScopedFormatSettings scope(RussianFormatSettings());
  EXPECT_EQ(DateTextToDate("31.01.2005"), EncodeDate(2005, 1, 31).value());
  EXPECT_EQ(DateTextToDate("01/31/2005"), EncodeDate(2005, 1, 31).value());
  EXPECT_EQ(TimeTextToTime("10:30:15"), 37815000);
  EXPECT_EQ(DateTimeTextToStamp("31.01.2005 10:00"),
            StampToDouble(TTimeStamp{EncodeDate(2005, 1, 31).value(), 36000000}));
  EXPECT_TRUE(ReadsAsDateTime("31.01.2005"));
  EXPECT_TRUE(ReadsAsDateTime("10:30"));
  EXPECT_FALSE(ReadsAsDateTime("31/01/2005"));
  EXPECT_FALSE(ReadsAsDateTime("abc"));
  EXPECT_FALSE(ReadsAsDateTime(""));
  try {
    DateTextToDate("10:30");
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "'10:30' is not a valid date");
  }
  EXPECT_THROW(TimeTextToTime("1/31/2005"), EDatabaseError);
  EXPECT_THROW(DateTimeTextToStamp("10:30"), EDatabaseError);
}

}  // namespace
}  // namespace tdb
