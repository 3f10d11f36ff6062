// The user's locale settings that the engine's conversions of dates, times and
// numbers follow: decimal separator, date and time formats, the morning and
// afternoon designators and the two-digit-year window.
//
// The defaults are those of a Russian desktop: "," as decimal separator,
// "dd.MM.yyyy" as short date format, "H:mm:ss" as long time format (24-hour
// clock), no designators, and a two-digit year read within 50 years before and
// 49 after the current year.
//
// One instance is current for the process.  Readers take a shared snapshot that
// stays valid however long they hold it; replacing the current instance is
// safe from any thread and does not disturb snapshots already taken.  Tests
// replace it for their duration with TScopedFormatSettings.
#pragma once

#include <memory>
#include <string>

namespace tdb {

struct TFormatSettings {
  // Separates the integer part of a number from its fraction.
  char decimal_separator = ',';
  // Separates day, month and year when a date is read; "/" in a format picture
  // stands for it.
  char date_separator = '.';
  // Separates hours, minutes and seconds when a time is read; ":" in a format
  // picture stands for it.
  char time_separator = ':';
  // Picture of a date: d dd M MM yy yyyy, "/" for the date separator, any other
  // character as itself.  The order of d, M and y also fixes the order in which
  // the parts of a date text are read.
  std::string short_date_format = "dd.MM.yyyy";
  // Picture of a time: H HH (24-hour), h hh (12-hour), m mm, s ss, zzz
  // (milliseconds), tt (the designator), ":" for the time separator.
  std::string long_time_format = "H:mm:ss";
  // Designators of the morning and afternoon hours; Windows-1251 text, empty
  // when the locale keeps a 24-hour clock.  "AM" and "PM" are read always.
  std::string time_am_string;
  std::string time_pm_string;
  // A year written with one or two digits is the year with those last digits
  // that lies from `two_digit_year_window` years before the current year to
  // 99 - `two_digit_year_window` years after it; 0 puts it in the current century.
  int two_digit_year_window = 50;
};

// The Russian defaults listed above.
TFormatSettings RussianFormatSettings();

// Snapshot of the current settings; never null.
std::shared_ptr<const TFormatSettings> CurrentFormatSettings();

// Makes `settings` the current settings of the process.
void SetCurrentFormatSettings(const TFormatSettings& settings);

// Replaces the current settings for its lifetime and restores the previous
// ones when it goes.  Guards nest; destroy them in reverse order.
class TScopedFormatSettings {
 public:
  explicit TScopedFormatSettings(const TFormatSettings& settings);
  ~TScopedFormatSettings();
  TScopedFormatSettings(const TScopedFormatSettings&) = delete;
  TScopedFormatSettings& operator=(const TScopedFormatSettings&) = delete;

 private:
  std::shared_ptr<const TFormatSettings> previous_;  // restored at destruction
};

}  // namespace tdb
