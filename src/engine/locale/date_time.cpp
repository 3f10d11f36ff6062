// Proleptic Gregorian day numbers, times of day and the two double encodings
// built from them, plus the local clock.
#include "engine/locale/date_time.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "engine/format/field_types.h"

namespace tdb {
namespace {

constexpr int kDaysBeforeMonth[2][13] = {
    {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};

constexpr int32_t kDaysPer400Years = 146097;
constexpr int32_t kDaysPer100Years = 36524;
constexpr int32_t kDaysPer4Years = 1461;

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kLength[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kLength[month];
}

std::optional<int32_t> EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return std::nullopt;
  const int32_t y = year - 1;
  return y * 365 + y / 4 - y / 100 + y / 400 + kDaysBeforeMonth[IsLeapYear(year)][month] + day;
}

std::optional<TDateParts> DecodeDate(int32_t day_number) {
  if (day_number < kMinDayNumber || day_number > kMaxDayNumber) return std::nullopt;
  int32_t n = day_number - 1;  // days since 1 January 0001
  int32_t year = 1 + 400 * (n / kDaysPer400Years);
  n %= kDaysPer400Years;
  int32_t centuries = n / kDaysPer100Years;
  if (centuries == 4) centuries = 3;  // the 400th year's last day
  year += 100 * centuries;
  n -= centuries * kDaysPer100Years;
  year += 4 * (n / kDaysPer4Years);
  n %= kDaysPer4Years;
  int32_t years = n / 365;
  if (years == 4) years = 3;  // a leap year's last day
  year += years;
  n -= years * 365;
  const bool leap = IsLeapYear(year);
  int month = 12;
  while (kDaysBeforeMonth[leap][month] > n) --month;
  return TDateParts{year, month, static_cast<int>(n - kDaysBeforeMonth[leap][month] + 1)};
}

std::optional<int32_t> EncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999)
    return std::nullopt;
  return ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
}

std::optional<TTimeParts> DecodeTime(int32_t milliseconds) {
  if (milliseconds < 0 || milliseconds >= kMillisecondsPerDay) return std::nullopt;
  return TTimeParts{milliseconds / 3600000, milliseconds / 60000 % 60, milliseconds / 1000 % 60,
                    milliseconds % 1000};
}

double StampToDouble(const TTimeStamp& stamp) {
  return static_cast<double>(stamp.date) * kMillisecondsPerDay + static_cast<double>(stamp.time);
}

std::optional<TTimeStamp> DoubleToStamp(double encoded) {
  if (!std::isfinite(encoded)) return std::nullopt;
  const double day = std::floor(encoded / kMillisecondsPerDay);
  if (day < kMinDayNumber || day > kMaxDayNumber) return std::nullopt;
  double ms = std::floor(encoded - day * kMillisecondsPerDay);
  // The division may land one day off at the edge of a day.
  if (ms < 0 || ms >= kMillisecondsPerDay) return std::nullopt;
  return TTimeStamp{static_cast<int32_t>(day), static_cast<int32_t>(ms)};
}

double StampToDateTime(const TTimeStamp& stamp) {
  // Computed in milliseconds first, then divided, so that the value is the
  // nearest double to the exact count of days.
  double ms = (static_cast<double>(stamp.date) - kDayNumberOf18991230) * kMillisecondsPerDay;
  ms += ms >= 0 ? stamp.time : -static_cast<double>(stamp.time);
  return ms / kMillisecondsPerDay;
}

std::optional<TTimeStamp> DateTimeToStamp(double date_time) {
  if (!std::isfinite(date_time)) return std::nullopt;
  const double whole = std::trunc(date_time);
  const double day = whole + kDayNumberOf18991230;
  if (day < kMinDayNumber || day > kMaxDayNumber) return std::nullopt;
  TTimeStamp stamp{static_cast<int32_t>(day),
                   static_cast<int32_t>(std::llround(std::fabs(date_time - whole) * kMillisecondsPerDay))};
  if (stamp.time >= kMillisecondsPerDay) {
    if (stamp.date == kMaxDayNumber) return std::nullopt;
    ++stamp.date;
    stamp.time -= kMillisecondsPerDay;
  }
  return stamp;
}

int ExpandTwoDigitYear(int two_digit_year, int current_year, int window) {
  if (window <= 0) return two_digit_year + (current_year / 100) * 100;
  const int threshold = current_year - window;
  int year = two_digit_year + (threshold / 100) * 100;
  if (year < threshold) year += 100;
  return year;
}

TTimeStamp CurrentTimeStamp() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto date = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  // A leap second (tm_sec 60) is held at the minute's last second.
  const auto time = EncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec, ms < 0 ? 0 : ms);
  return TTimeStamp{date.value_or(kDayNumberOf18991230), time.value_or(0)};
}

int32_t TodayDayNumber() { return CurrentTimeStamp().date; }
int32_t CurrentTimeOfDay() { return CurrentTimeStamp().time; }
double NowStamp() { return StampToDouble(CurrentTimeStamp()); }
double NowDateTime() { return StampToDateTime(CurrentTimeStamp()); }

}  // namespace tdb
