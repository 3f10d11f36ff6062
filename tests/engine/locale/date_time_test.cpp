// Calendar arithmetic, the two double encodings, the clock, and the locale
// settings' current instance.
#include "engine/locale/date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/format/field_types.h"
#include "engine/locale/format_settings.h"

namespace tdb {
namespace {

TEST(CalendarTest, KnownDayNumbers) {
  struct Case {
    int y, m, d;
    int32_t day;
  };
  const Case cases[] = {
      {1, 1, 1, 1},           {1, 12, 31, 365},         {4, 12, 31, 1461},
      {1899, 12, 30, kDayNumberOf18991230},              {1900, 3, 1, 693655},
      {2000, 2, 29, 730179},  {2024, 2, 29, 738945},    {9999, 12, 31, kMaxDayNumber},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.day);
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.day);
    EXPECT_EQ(DecodeDate(c.day), (TDateParts{c.y, c.m, c.d}));
  }
}

TEST(CalendarTest, EveryDayRoundTripsAndFollowsTheLast) {
  TDateParts prev{0, 12, 31};
  for (int32_t n = kMinDayNumber; n <= kMaxDayNumber; ++n) {
    const auto parts = DecodeDate(n);
    ASSERT_TRUE(parts) << n;
    const bool next_day = parts->year == prev.year && parts->month == prev.month && parts->day == prev.day + 1;
    const bool next_month = parts->year == prev.year && parts->month == prev.month + 1 && parts->day == 1 &&
                            prev.day == DaysInMonth(prev.year, prev.month);
    const bool next_year = parts->year == prev.year + 1 && parts->month == 1 && parts->day == 1 && prev.month == 12 &&
                           prev.day == 31;
    ASSERT_TRUE(next_day || next_month || next_year) << n;
    ASSERT_EQ(EncodeDate(parts->year, parts->month, parts->day), n);
    prev = *parts;
  }
}

TEST(CalendarTest, InvalidDatesAndTimes) {
  EXPECT_TRUE(IsLeapYear(2000) && IsLeapYear(2024) && !IsLeapYear(1900) && !IsLeapYear(2023));
  EXPECT_EQ(EncodeDate(1900, 2, 29), std::nullopt);
  EXPECT_EQ(EncodeDate(2023, 2, 29), std::nullopt);
  EXPECT_EQ(EncodeDate(2024, 2, 31), std::nullopt);
  EXPECT_EQ(EncodeDate(0, 1, 1), std::nullopt);
  EXPECT_EQ(EncodeDate(10000, 1, 1), std::nullopt);
  EXPECT_EQ(EncodeDate(2024, 13, 1), std::nullopt);
  EXPECT_EQ(EncodeDate(2024, 4, 0), std::nullopt);
  EXPECT_EQ(DecodeDate(0), std::nullopt);
  EXPECT_EQ(DecodeDate(kMaxDayNumber + 1), std::nullopt);
  EXPECT_EQ(DecodeDate(-5), std::nullopt);

  EXPECT_EQ(EncodeTime(23, 59, 59, 999), kMillisecondsPerDay - 1);
  EXPECT_EQ(DecodeTime(kMillisecondsPerDay - 1), (TTimeParts{23, 59, 59, 999}));
  EXPECT_EQ(DecodeTime(3723004), (TTimeParts{1, 2, 3, 4}));
  EXPECT_EQ(EncodeTime(24, 0, 0, 0), std::nullopt);
  EXPECT_EQ(EncodeTime(0, 60, 0, 0), std::nullopt);
  EXPECT_EQ(EncodeTime(0, 0, 0, 1000), std::nullopt);
  EXPECT_EQ(DecodeTime(kMillisecondsPerDay), std::nullopt);
  EXPECT_EQ(DecodeTime(-1), std::nullopt);
}

TEST(CalendarTest, StampAndDateTimeEncodings) {
  const TTimeStamp samples[] = {{1, 0},
                                {kDayNumberOf18991230, 0},
                                {kDayNumberOf18991230 - 1, 6 * 3600000},
                                {kDayNumberOf18991230 + 1, 12 * 3600000},
                                {738945, 45296789},
                                {kMaxDayNumber, kMillisecondsPerDay - 1}};
  for (const TTimeStamp& s : samples) {
    SCOPED_TRACE(s.date);
    EXPECT_EQ(DoubleToStamp(StampToDouble(s)), s);
    EXPECT_EQ(DateTimeToStamp(StampToDateTime(s)), s);
  }
  EXPECT_EQ(StampToDateTime({kDayNumberOf18991230, 0}), 0.0);
  EXPECT_EQ(StampToDateTime({kDayNumberOf18991230 - 1, 6 * 3600000}), -1.25);  // the desktop's convention
  EXPECT_EQ(StampToDateTime({kDayNumberOf18991230 + 2, 18 * 3600000}), 2.75);
  EXPECT_EQ(StampToDouble({2, 1}), 2.0 * 86400000 + 1);

  // A time that rounds up to midnight moves to the next day.
  EXPECT_EQ(DateTimeToStamp(1.9999999999), (TTimeStamp{kDayNumberOf18991230 + 2, 0}));
  for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -693594.0, 3e6})
    EXPECT_EQ(DateTimeToStamp(bad), std::nullopt) << bad;
  for (double bad : {std::nan(""), 0.0, -1.0, (kMaxDayNumber + 1.0) * kMillisecondsPerDay})
    EXPECT_EQ(DoubleToStamp(bad), std::nullopt) << bad;
}

TEST(CalendarTest, TwoDigitYearWindow) {
  EXPECT_EQ(ExpandTwoDigitYear(24, 2025, 50), 2024);
  EXPECT_EQ(ExpandTwoDigitYear(74, 2025, 50), 2074);  // 49 years ahead at most
  EXPECT_EQ(ExpandTwoDigitYear(75, 2025, 50), 1975);  // 50 years back at most
  EXPECT_EQ(ExpandTwoDigitYear(0, 2025, 50), 2000);
  EXPECT_EQ(ExpandTwoDigitYear(99, 2025, 50), 1999);
  EXPECT_EQ(ExpandTwoDigitYear(30, 2025, 10), 2030);
  EXPECT_EQ(ExpandTwoDigitYear(14, 2025, 10), 2114);
  EXPECT_EQ(ExpandTwoDigitYear(99, 2025, 0), 2099);
}

TEST(CalendarTest, ClockGivesAValidLocalMoment) {
  const TTimeStamp now = CurrentTimeStamp();
  ASSERT_TRUE(DecodeDate(now.date));
  ASSERT_TRUE(DecodeTime(now.time));
  EXPECT_GT(now.date, *EncodeDate(2020, 1, 1));
  // The two reads may straddle midnight; then they are a day apart.
  EXPECT_LE(TodayDayNumber() - now.date, 1);
  EXPECT_TRUE(DateTimeToStamp(NowDateTime()));
  EXPECT_TRUE(DoubleToStamp(NowStamp()));
}

TEST(FormatSettingsTest, RussianDefaultsAndScopedReplacement) {
  const auto defaults = CurrentFormatSettings();
  EXPECT_EQ(defaults->decimal_separator, ',');
  EXPECT_EQ(defaults->short_date_format, "dd.MM.yyyy");
  EXPECT_EQ(defaults->date_separator, '.');
  EXPECT_EQ(defaults->two_digit_year_window, 50);
  {
    TFormatSettings us;
    us.decimal_separator = '.';
    us.short_date_format = "M/d/yyyy";
    TScopedFormatSettings outer(us);
    EXPECT_EQ(CurrentFormatSettings()->decimal_separator, '.');
    {
      TFormatSettings other = us;
      other.decimal_separator = ';';
      TScopedFormatSettings inner(other);
      EXPECT_EQ(CurrentFormatSettings()->decimal_separator, ';');
    }
    EXPECT_EQ(CurrentFormatSettings()->short_date_format, "M/d/yyyy");
    EXPECT_EQ(defaults->decimal_separator, ',');  // a snapshot taken earlier stays as it was
  }
  EXPECT_EQ(CurrentFormatSettings()->decimal_separator, ',');
  EXPECT_EQ(CurrentFormatSettings()->short_date_format, "dd.MM.yyyy");
}

}  // namespace
}  // namespace tdb
