// The fixed date and time scanner of filter constants and the conversion of
// a constant to a date, time or date-time value.
#include "engine/filter/filter_date_text.h"

#include <string>

#include "engine/base/database_error.h"
#include "engine/compare/collation.h"
#include "engine/locale/date_text.h"

namespace tdb {
namespace {

class TFixedScanner {
 public:
  TFixedScanner(std::string_view text, const TFormatSettings& settings) : text_(text), settings_(settings) {}

  bool AtEndAfterBlanks() {
    SkipBlanks();
    return pos_ >= text_.size();
  }
  bool AtEnd() const { return pos_ >= text_.size(); }

  // Up to 4 digits after optional blanks: digits are taken while the value
  // read so far is below 1000.
  bool Number(int& value, int& digits) {
    SkipBlanks();
    value = 0;
    digits = 0;
    while (pos_ < text_.size() && IsDigit(text_[pos_]) && value < 1000) {
      value = value * 10 + (text_[pos_++] - '0');
      ++digits;
    }
    return digits > 0;
  }

  bool Char(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

  // Month "/" day "/" year.
  std::optional<int32_t> Date(int current_year) {
    int month = 0, day = 0, year = 0, digits = 0;
    if (!Number(month, digits) || !Char('/') || !Number(day, digits) || !Char('/') || !Number(year, digits))
      return std::nullopt;
    if (digits <= 2) year = ExpandTwoDigitYear(year, current_year, settings_.two_digit_year_window);
    return EncodeDate(year, month, day);
  }

  std::optional<int32_t> Time() {
    int marker = Marker();
    int hour = 0, minute = 0, second = 0, millisecond = 0, digits = 0;
    if (!Number(hour, digits)) return std::nullopt;
    if (Char(':')) {
      if (!Number(minute, digits)) return std::nullopt;
      if (Char(':')) {
        if (!Number(second, digits)) return std::nullopt;
        if (Char(settings_.decimal_separator) && !Number(millisecond, digits)) return std::nullopt;
      }
    }
    if (marker == 0) marker = Marker();
    SkipBlanks();
    if (marker != 0) {
      if (hour < 1 || hour > 12) return std::nullopt;
      if (hour == 12) hour = 0;
      if (marker == 2) hour += 12;
    }
    return EncodeTime(hour, minute, second, millisecond);
  }

 private:
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  void SkipBlanks() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  }

  bool Word(std::string_view word) {
    if (word.empty() || text_.size() - pos_ < word.size()) return false;
    if (!SameTextIgnoringCase(text_.substr(pos_, word.size()), word)) return false;
    pos_ += word.size();
    return true;
  }

  // 0 for none, 1 for morning, 2 for afternoon.
  int Marker() {
    SkipBlanks();
    if (Word(settings_.time_am_string) || Word("AM")) return 1;
    if (Word(settings_.time_pm_string) || Word("PM")) return 2;
    return 0;
  }

  std::string_view text_;
  const TFormatSettings& settings_;
  size_t pos_ = 0;
};

int ClockYear() {
  const auto today = DecodeDate(TodayDayNumber());
  return today ? today->year : 2000;
}

[[noreturn]] void NotValid(std::string_view text, std::string_view what) {
  DatabaseError(Format("'%s' is not a valid %s", {text, what}));
}

}  // namespace

std::optional<int32_t> ScanFixedDate(std::string_view text, const TFormatSettings& settings, int current_year) {
  TFixedScanner in(text, settings);
  const auto date = in.Date(current_year);
  if (!date || !in.AtEndAfterBlanks()) return std::nullopt;
  return date;
}

std::optional<int32_t> ScanFixedTime(std::string_view text, const TFormatSettings& settings) {
  TFixedScanner in(text, settings);
  const auto time = in.Time();
  if (!time || !in.AtEnd()) return std::nullopt;
  return time;
}

std::optional<TTimeStamp> ScanFixedDateTime(std::string_view text, const TFormatSettings& settings,
                                            int current_year) {
  TFixedScanner in(text, settings);
  const auto date = in.Date(current_year);
  if (!date) return std::nullopt;
  if (in.AtEndAfterBlanks()) return TTimeStamp{*date, 0};
  const auto time = in.Time();
  if (!time) return std::nullopt;
  return TTimeStamp{*date, *time};
}

bool ReadsAsDateTime(std::string_view text) {
  const auto settings = CurrentFormatSettings();
  const int year = ClockYear();
  // A date alone is a date with a time at midnight.
  return ScanFixedDateTime(text, *settings, year) || ScanFixedTime(text, *settings) ||
         TextToDateTime(text, *settings, year) || TextToTime(text, *settings);
}

int32_t DateTextToDate(std::string_view text) {
  const auto settings = CurrentFormatSettings();
  const int year = ClockYear();
  if (auto d = ScanFixedDate(text, *settings, year)) return *d;
  if (auto d = TextToDate(text, *settings, year)) return *d;
  NotValid(text, "date");
}

int32_t TimeTextToTime(std::string_view text) {
  const auto settings = CurrentFormatSettings();
  if (auto t = ScanFixedTime(text, *settings)) return *t;
  if (auto t = TextToTime(text, *settings)) return *t;
  NotValid(text, "time");
}

double DateTimeTextToStamp(std::string_view text) {
  const auto settings = CurrentFormatSettings();
  const int year = ClockYear();
  if (auto s = ScanFixedDateTime(text, *settings, year)) return StampToDouble(*s);
  if (auto s = TextToDateTime(text, *settings, year)) return StampToDouble(*s);
  NotValid(text, "date and time");
}

}  // namespace tdb

