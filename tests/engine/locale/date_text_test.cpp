// Dates and times written and read in the locale's formats.
#include "engine/locale/date_text.h"

#include <gtest/gtest.h>

#include "engine/format/field_types.h"

namespace tdb {
namespace {

constexpr int kYear = 2025;  // the "current year" of the two-digit-year window

int32_t Day(int y, int m, int d) { return *EncodeDate(y, m, d); }
int32_t Ms(int h, int m, int s, int ms = 0) { return *EncodeTime(h, m, s, ms); }

TEST(DateTextTest, FormatsInTheRussianDefaults) {
  const TFormatSettings ru = RussianFormatSettings();
  EXPECT_EQ(DateToText(Day(2024, 3, 5), ru), "05.03.2024");
  EXPECT_EQ(DateToText(1, ru), "01.01.0001");
  EXPECT_EQ(TimeToText(Ms(9, 5, 0), ru), "9:05:00");
  EXPECT_EQ(DateTimeToText({Day(2024, 2, 29), Ms(13, 45, 7)}, ru), "29.02.2024 13:45:07");
  EXPECT_EQ(DateTimeToText({Day(2024, 2, 29), 0}, ru), "29.02.2024");  // midnight is not shown
  EXPECT_EQ(DateToText(0, ru), "");
  EXPECT_EQ(TimeToText(kMillisecondsPerDay, ru), "");
}

TEST(DateTextTest, PicturesWithSeparatorsDesignatorsAndQuotes) {
  TFormatSettings s;
  s.date_separator = '/';
  s.time_separator = '-';
  s.time_am_string = "AM";
  s.time_pm_string = "PM";
  const TTimeStamp t{Day(2007, 1, 2), Ms(15, 4, 5, 6)};
  EXPECT_EQ(FormatDateTimePicture("d/M/yy", t, s), "2/1/07");
  EXPECT_EQ(FormatDateTimePicture("h:mm:ss.zzz tt", t, s), "3-04-05.006 PM");
  EXPECT_EQ(FormatDateTimePicture("HH'h'mm \"d\"d", t, s), "15h04 d2");
  EXPECT_EQ(FormatDateTimePicture("h t", {t.date, Ms(0, 30, 0)}, s), "12 A");
}

TEST(DateTextTest, ReadingDates) {
  const TFormatSettings ru = RussianFormatSettings();
  struct Case {
    const char* text;
    std::optional<int32_t> day;
  };
  const Case cases[] = {
      {"05.03.2024", Day(2024, 3, 5)},  {"5.3.2024", Day(2024, 3, 5)},  {" 5 . 3 . 2024 ", Day(2024, 3, 5)},
      {"29.02.2024", Day(2024, 2, 29)}, {"31.12.9999", kMaxDayNumber},  {"1.1.0001", 1},
      {"5.3.24", Day(2024, 3, 5)},      {"5.3.80", Day(1980, 3, 5)},    {"5.3.74", Day(2074, 3, 5)},
      {"5.3", Day(kYear, 3, 5)},        {"5.3.024", Day(24, 3, 5)},
      {"31.02.2024", std::nullopt},     {"29.02.2023", std::nullopt},   {"29.02.1900", std::nullopt},
      {"0.1.2024", std::nullopt},       {"1.13.2024", std::nullopt},    {"1.1.0", Day(2000, 1, 1)},
      {"1.1.0000", std::nullopt},
      {"1.1.10000", std::nullopt},      {"001.1.2024", std::nullopt},   {"5", std::nullopt},
      {"", std::nullopt},               {"abc", std::nullopt},          {"5.3.2024x", std::nullopt},
      {"5/3/2024", std::nullopt},       {"5..3.2024", std::nullopt},    {"05.03.2024 10:00", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(TextToDate(c.text, ru, kYear), c.day) << c.text;
}

TEST(DateTextTest, ReadingTimes) {
  TFormatSettings s = RussianFormatSettings();
  struct Case {
    const char* text;
    std::optional<int32_t> ms;
  };
  const Case cases[] = {
      {"13:45:07", Ms(13, 45, 7)}, {"9:05", Ms(9, 5, 0)},          {"7", Ms(7, 0, 0)},
      {" 0:00:00 ", 0},            {"23:59:59,999", Ms(23, 59, 59, 999)}, {"1:02:03.5", Ms(1, 2, 3, 5)},
      {"3 PM", Ms(15, 0, 0)},      {"am 12:30", Ms(0, 30, 0)},    {"12:00 pm", Ms(12, 0, 0)},
      {"24:00", std::nullopt},     {"12:60", std::nullopt},       {"13 PM", std::nullopt},
      {"0 AM", std::nullopt},      {"1:2:3:4", std::nullopt},     {"", std::nullopt},
      {"10:", std::nullopt},       {"noon", std::nullopt},        {"1:02:03,1234", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(TextToTime(c.text, s), c.ms) << c.text;

  s.time_am_string = "\xE4\xEF";  // "дп" and "пп", a locale's own designators
  s.time_pm_string = "\xEF\xEF";
  EXPECT_EQ(TextToTime("3:00 \xEF\xEF", s), Ms(15, 0, 0));
  EXPECT_EQ(TextToTime("\xE4\xEF 3:00", s), Ms(3, 0, 0));
}

TEST(DateTextTest, ReadingDateTimesAndOtherOrders) {
  const TFormatSettings ru = RussianFormatSettings();
  EXPECT_EQ(TextToDateTime("29.02.2024 13:45:07", ru, kYear), (TTimeStamp{Day(2024, 2, 29), Ms(13, 45, 7)}));
  EXPECT_EQ(TextToDateTime("29.02.2024", ru, kYear), (TTimeStamp{Day(2024, 2, 29), 0}));
  EXPECT_EQ(TextToDateTime("29.02.2024 25:00", ru, kYear), std::nullopt);
  EXPECT_EQ(TextToDateTime("30.02.2024 10:00", ru, kYear), std::nullopt);

  TFormatSettings us;
  us.short_date_format = "M/d/yyyy";
  us.date_separator = '/';
  EXPECT_EQ(TextToDate("3/5/2024", us, kYear), Day(2024, 3, 5));
  EXPECT_EQ(DateToText(Day(2024, 3, 5), us), "3/5/2024");
  TFormatSettings iso;
  iso.short_date_format = "yyyy-MM-dd";
  iso.date_separator = '-';
  EXPECT_EQ(TextToDate("2024-03-05", iso, kYear), Day(2024, 3, 5));
  EXPECT_EQ(TextToDate("24-3-5", iso, kYear), Day(2024, 3, 5));
  EXPECT_EQ(DateToText(Day(2024, 3, 5), iso), "2024-03-05");

  TFormatSettings narrow = ru;
  narrow.two_digit_year_window = 10;
  EXPECT_EQ(TextToDate("1.1.14", narrow, kYear), Day(2114, 1, 1));
}

TEST(DateTextTest, OverloadsFollowTheCurrentSettings) {
  TFormatSettings us;
  us.short_date_format = "M/d/yyyy";
  us.date_separator = '/';
  us.long_time_format = "h:mm tt";
  us.time_am_string = "AM";
  us.time_pm_string = "PM";
  {
    TScopedFormatSettings guard(us);
    EXPECT_EQ(DateToText(Day(2024, 12, 31)), "12/31/2024");
    EXPECT_EQ(TimeToText(Ms(18, 5, 0)), "6:05 PM");
    EXPECT_EQ(TextToDate("12/31/2024"), Day(2024, 12, 31));
    EXPECT_EQ(TextToDate("31.12.2024"), std::nullopt);
  }
  EXPECT_EQ(DateToText(Day(2024, 12, 31)), "31.12.2024");
  EXPECT_EQ(TextToDate("31.12.2024"), Day(2024, 12, 31));
  EXPECT_EQ(TextToTime("18:05"), Ms(18, 5, 0));
  EXPECT_EQ(TextToDateTime("31.12.2024 18:05"), (TTimeStamp{Day(2024, 12, 31), Ms(18, 5, 0)}));
}

}  // namespace
}  // namespace tdb
