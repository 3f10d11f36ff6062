// Formatting of dates and times by picture, and the strict reading of date
// and time texts in the locale's order and separators.
#include "engine/locale/date_text.h"

#include "engine/format/field_types.h"

namespace tdb {
namespace {

void AppendNumber(std::string& out, int value, int min_digits) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < min_digits) out.append(min_digits - digits.size(), '0');
  out += digits;
}

// Length of the run of `c` that starts at `i`.
size_t RunLength(std::string_view s, size_t i) {
  size_t n = 1;
  while (i + n < s.size() && s[i + n] == s[i]) ++n;
  return n;
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Cursor over a text being read; every Read* consumes only on success.
class TScanner {
 public:
  explicit TScanner(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  size_t position() const { return pos_; }
  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  bool ReadChar(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  // Reads 1 to max_digits digits; refuses a longer run of digits.
  bool ReadNumber(int max_digits, int& value, int& digits) {
    size_t end = pos_;
    while (end < text_.size() && text_[end] >= '0' && text_[end] <= '9') ++end;
    digits = static_cast<int>(end - pos_);
    if (digits == 0 || digits > max_digits) return false;
    value = 0;
    for (; pos_ < end; ++pos_) value = value * 10 + (text_[pos_] - '0');
    return true;
  }
  // Reads `word` compared without regard to ASCII letter case.
  bool ReadWord(std::string_view word) {
    if (word.empty() || text_.size() - pos_ < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
      if (AsciiUpper(text_[pos_ + i]) != AsciiUpper(word[i])) return false;
    pos_ += word.size();
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

enum class TDesignator { kNone, kMorning, kAfternoon };

TDesignator ReadDesignator(TScanner& in, const TFormatSettings& settings) {
  if (in.ReadWord(settings.time_am_string) || in.ReadWord("AM")) return TDesignator::kMorning;
  if (in.ReadWord(settings.time_pm_string) || in.ReadWord("PM")) return TDesignator::kAfternoon;
  return TDesignator::kNone;
}

enum class TDateOrder { kDMY, kMDY, kYMD };

TDateOrder DateOrderOf(std::string_view picture) {
  const size_t d = picture.find('d'), m = picture.find('M'), y = picture.find('y');
  if (y < d && y < m) return TDateOrder::kYMD;
  if (m < d) return TDateOrder::kMDY;
  return TDateOrder::kDMY;
}

int ClockYear() {
  const auto today = DecodeDate(TodayDayNumber());
  return today ? today->year : 2000;
}

std::optional<int32_t> ReadDate(TScanner& in, const TFormatSettings& settings, int current_year) {
  int value[3] = {0, 0, 0}, digits[3] = {0, 0, 0};
  int count = 0;
  for (; count < 3; ++count) {
    if (count > 0) {
      in.SkipBlanks();
      if (!in.ReadChar(settings.date_separator)) break;
    }
    in.SkipBlanks();
    if (!in.ReadNumber(4, value[count], digits[count])) return std::nullopt;
  }
  if (count < 2) return std::nullopt;
  if (current_year == 0) current_year = ClockYear();

  int year = current_year, year_digits = 4, month = 0, day = 0;
  switch (DateOrderOf(settings.short_date_format)) {
    case TDateOrder::kDMY:
      day = value[0], month = value[1];
      if (count == 3) year = value[2], year_digits = digits[2];
      if (digits[0] > 2 || digits[1] > 2) return std::nullopt;
      break;
    case TDateOrder::kMDY:
      month = value[0], day = value[1];
      if (count == 3) year = value[2], year_digits = digits[2];
      if (digits[0] > 2 || digits[1] > 2) return std::nullopt;
      break;
    case TDateOrder::kYMD:
      if (count == 3) {
        year = value[0], year_digits = digits[0], month = value[1], day = value[2];
        if (digits[1] > 2 || digits[2] > 2) return std::nullopt;
      } else {
        month = value[0], day = value[1];
        if (digits[0] > 2 || digits[1] > 2) return std::nullopt;
      }
      break;
  }
  if (year_digits <= 2) year = ExpandTwoDigitYear(year, current_year, settings.two_digit_year_window);
  return EncodeDate(year, month, day);
}

std::optional<int32_t> ReadTime(TScanner& in, const TFormatSettings& settings) {
  in.SkipBlanks();
  TDesignator designator = ReadDesignator(in, settings);
  in.SkipBlanks();
  int hour = 0, minute = 0, second = 0, ms = 0, digits = 0;
  if (!in.ReadNumber(2, hour, digits)) return std::nullopt;
  if (in.ReadChar(settings.time_separator)) {
    if (!in.ReadNumber(2, minute, digits)) return std::nullopt;
    if (in.ReadChar(settings.time_separator)) {
      if (!in.ReadNumber(2, second, digits)) return std::nullopt;
      if (in.ReadChar(settings.decimal_separator) || in.ReadChar('.'))
        if (!in.ReadNumber(3, ms, digits)) return std::nullopt;
    }
  }
  if (designator == TDesignator::kNone) {
    in.SkipBlanks();
    designator = ReadDesignator(in, settings);
  }
  if (designator != TDesignator::kNone) {
    if (hour < 1 || hour > 12) return std::nullopt;
    if (hour == 12) hour = 0;
    if (designator == TDesignator::kAfternoon) hour += 12;
  }
  return EncodeTime(hour, minute, second, ms);
}

bool AtEndAfterBlanks(TScanner& in) {
  in.SkipBlanks();
  return in.AtEnd();
}

}  // namespace

std::string FormatDateTimePicture(std::string_view picture, const TTimeStamp& stamp,
                                  const TFormatSettings& settings) {
  const auto date = DecodeDate(stamp.date);
  const auto time = DecodeTime(stamp.time);
  if (!date || !time) return std::string();
  std::string out;
  for (size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    const size_t run = RunLength(picture, i);
    switch (c) {
      case 'd': AppendNumber(out, date->day, run >= 2 ? 2 : 1); break;
      case 'M': AppendNumber(out, date->month, run >= 2 ? 2 : 1); break;
      case 'y':
        if (run <= 2) AppendNumber(out, date->year % 100, 2);
        else AppendNumber(out, date->year, 4);
        break;
      case 'H': AppendNumber(out, time->hour, run >= 2 ? 2 : 1); break;
      case 'h': AppendNumber(out, (time->hour + 11) % 12 + 1, run >= 2 ? 2 : 1); break;
      case 'm': AppendNumber(out, time->minute, run >= 2 ? 2 : 1); break;
      case 's': AppendNumber(out, time->second, run >= 2 ? 2 : 1); break;
      case 'z': AppendNumber(out, time->millisecond, run >= 3 ? 3 : 1); break;
      case 't': {
        const std::string& designator = time->hour < 12 ? settings.time_am_string : settings.time_pm_string;
        out += run >= 2 ? designator : designator.substr(0, 1);
        break;
      }
      case '/': out.append(run, settings.date_separator); break;
      case ':': out.append(run, settings.time_separator); break;
      case '\'':
      case '"': {
        const size_t close = picture.find(c, i + 1);
        const size_t end = close == std::string_view::npos ? picture.size() : close;
        out.append(picture.substr(i + 1, end - i - 1));
        i = close == std::string_view::npos ? picture.size() : close + 1;
        continue;
      }
      default: out.append(run, c); break;
    }
    i += run;
  }
  return out;
}

std::string DateToText(int32_t day_number, const TFormatSettings& settings) {
  return FormatDateTimePicture(settings.short_date_format, TTimeStamp{day_number, 0}, settings);
}
std::string DateToText(int32_t day_number) { return DateToText(day_number, *CurrentFormatSettings()); }

std::string TimeToText(int32_t milliseconds, const TFormatSettings& settings) {
  return FormatDateTimePicture(settings.long_time_format, TTimeStamp{kDayNumberOf18991230, milliseconds}, settings);
}
std::string TimeToText(int32_t milliseconds) { return TimeToText(milliseconds, *CurrentFormatSettings()); }

std::string DateTimeToText(const TTimeStamp& stamp, const TFormatSettings& settings) {
  std::string date = DateToText(stamp.date, settings);
  std::string time = TimeToText(stamp.time, settings);
  if (date.empty() || time.empty()) return std::string();
  if (stamp.time == 0) return date;
  return date + ' ' + time;
}
std::string DateTimeToText(const TTimeStamp& stamp) { return DateTimeToText(stamp, *CurrentFormatSettings()); }

std::optional<int32_t> TextToDate(std::string_view text, const TFormatSettings& settings, int current_year) {
  TScanner in(text);
  const auto date = ReadDate(in, settings, current_year);
  if (!date || !AtEndAfterBlanks(in)) return std::nullopt;
  return date;
}
std::optional<int32_t> TextToDate(std::string_view text) { return TextToDate(text, *CurrentFormatSettings()); }

std::optional<int32_t> TextToTime(std::string_view text, const TFormatSettings& settings) {
  TScanner in(text);
  const auto time = ReadTime(in, settings);
  if (!time || !AtEndAfterBlanks(in)) return std::nullopt;
  return time;
}
std::optional<int32_t> TextToTime(std::string_view text) { return TextToTime(text, *CurrentFormatSettings()); }

std::optional<TTimeStamp> TextToDateTime(std::string_view text, const TFormatSettings& settings,
                                         int current_year) {
  TScanner in(text);
  const auto date = ReadDate(in, settings, current_year);
  if (!date) return std::nullopt;
  if (AtEndAfterBlanks(in)) return TTimeStamp{*date, 0};
  const auto time = ReadTime(in, settings);
  if (!time || !AtEndAfterBlanks(in)) return std::nullopt;
  return TTimeStamp{*date, *time};
}
std::optional<TTimeStamp> TextToDateTime(std::string_view text) {
  return TextToDateTime(text, *CurrentFormatSettings());
}

}  // namespace tdb
