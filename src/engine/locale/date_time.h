// Calendar arithmetic of the engine's date and time encodings.
//
//   day number      int32, 1 January of year 1 of the proleptic Gregorian
//                   calendar = 1; valid from 1 to 3652059 (31 December 9999)
//   time            int32 milliseconds since midnight, 0 to 86399999
//   time stamp      the ftDateTime encoding: a double holding
//                   day number * 86400000 + milliseconds
//   date-time       the datasets' value: a double counting days since
//                   30 December 1899 (day number 693594), the time of day as
//                   the fraction; before that day the integer part counts
//                   back and the fraction still adds the time of day
//                   (-1.25 is 29 December 1899, 06:00)
//
// Plain functions without state; safe from any thread.  Functions that can
// meet an invalid value answer std::nullopt instead of raising.
#pragma once

#include <cstdint>
#include <optional>

namespace tdb {

constexpr int32_t kMinDayNumber = 1;        // 1 January 0001
constexpr int32_t kMaxDayNumber = 3652059;  // 31 December 9999

struct TDateParts {
  int year = 0;   // 1 to 9999
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to the month's length
  bool operator==(const TDateParts&) const = default;
};

struct TTimeParts {
  int hour = 0;         // 0 to 23
  int minute = 0;       // 0 to 59
  int second = 0;       // 0 to 59
  int millisecond = 0;  // 0 to 999
  bool operator==(const TTimeParts&) const = default;
};

// A date and a time of day together, as the two int32 the stamp is made of.
struct TTimeStamp {
  int32_t date = 0;  // day number
  int32_t time = 0;  // milliseconds since midnight
  bool operator==(const TTimeStamp&) const = default;
};

bool IsLeapYear(int year);

// Days in the month; 0 for a month outside 1 to 12.
int DaysInMonth(int year, int month);

// Day number of a date; nothing when the year, month or day is out of range
// ("31.02.2024", year 0, year 10000).
std::optional<int32_t> EncodeDate(int year, int month, int day);

// Date of a day number; nothing outside kMinDayNumber to kMaxDayNumber.
std::optional<TDateParts> DecodeDate(int32_t day_number);

// Milliseconds since midnight of a time; nothing when a part is out of range.
std::optional<int32_t> EncodeTime(int hour, int minute, int second, int millisecond);

// Parts of a time of day; nothing outside 0 to 86399999.
std::optional<TTimeParts> DecodeTime(int32_t milliseconds);

// The ftDateTime encoding of a date and time.  REQUIRES: nothing; the
// arithmetic is exact for every int32 pair.
double StampToDouble(const TTimeStamp& stamp);

// Date and time of an ftDateTime encoding; nothing unless the value is finite
// and lies within valid days.  A fraction of a millisecond is dropped.
std::optional<TTimeStamp> DoubleToStamp(double encoded);

// The datasets' date-time value of a date and time.  REQUIRES: nothing.
double StampToDateTime(const TTimeStamp& stamp);

// Date and time of a datasets' date-time value, rounded to the nearest
// millisecond (a time that rounds up to midnight moves to the next day);
// nothing when the value is not finite or leaves the valid days.
std::optional<TTimeStamp> DateTimeToStamp(double date_time);

// Expands a one- or two-digit year through the window of TFormatSettings:
// the year ending in those digits within [current_year - window,
// current_year - window + 99].  A window of 0 or less puts the year in the
// current century.
// REQUIRES: 0 <= two_digit_year <= 99.
int ExpandTwoDigitYear(int two_digit_year, int current_year, int window);

// The system clock's local date and time.  Each call reads the clock once.
TTimeStamp CurrentTimeStamp();
int32_t TodayDayNumber();
int32_t CurrentTimeOfDay();
// Now in the ftDateTime encoding and as the datasets' date-time value.
double NowStamp();
double NowDateTime();

}  // namespace tdb
