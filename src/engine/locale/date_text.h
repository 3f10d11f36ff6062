// Dates and times as text in the formats of the user's locale
// (TFormatSettings): what a field shows for a date, time or date-time value,
// what the unique-key message quotes, and how a typed or quoted date text is
// read back.
//
// Texts are Windows-1251.  Functions that take no settings use a snapshot of
// the current ones.  Stateless apart from that; safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/locale/date_time.h"
#include "engine/locale/format_settings.h"

namespace tdb {

// Formats by a picture as described in TFormatSettings (d dd M MM yy yyyy
// H HH h hh m mm s ss z zzz t tt, "/" and ":" for the separators, text in
// single or double quotes as written).  An invalid date or time gives "".
std::string FormatDateTimePicture(std::string_view picture, const TTimeStamp& stamp,
                                  const TFormatSettings& settings);

// A day number in the short date format ("05.03.2024"); "" when invalid.
std::string DateToText(int32_t day_number, const TFormatSettings& settings);
std::string DateToText(int32_t day_number);

// Milliseconds since midnight in the long time format ("9:05:00"); "" when
// invalid.
std::string TimeToText(int32_t milliseconds, const TFormatSettings& settings);
std::string TimeToText(int32_t milliseconds);

// Date, a blank and time; the time is left out when it is exactly midnight,
// as the desktop shows date-time values.  "" when invalid.
std::string DateTimeToText(const TTimeStamp& stamp, const TFormatSettings& settings);
std::string DateTimeToText(const TTimeStamp& stamp);

// Reads a date: two or three numbers separated by the date separator, in the
// order of d, M and y in the short date format; blanks around the text and
// around each number are allowed.  Day and month have one or two digits; a
// year of one or two digits goes through the two-digit-year window, a year of
// three or four digits is taken as written; two numbers are day and month of
// the current year.  Nothing for anything else or an impossible date.
// `current_year` of 0 means the clock's year.
std::optional<int32_t> TextToDate(std::string_view text, const TFormatSettings& settings, int current_year = 0);
std::optional<int32_t> TextToDate(std::string_view text);

// Reads a time: hours, optionally the time separator and minutes, optionally
// again and seconds, optionally the decimal separator (or ".") and up to three
// digits read as a number of milliseconds; a designator (the settings' or
// "AM"/"PM", either case) may stand before or after, and then the hours are
// 1 to 12 (12 counting as 0, the afternoon adding 12).  Nothing for anything
// else or an impossible time.
std::optional<int32_t> TextToTime(std::string_view text, const TFormatSettings& settings);
std::optional<int32_t> TextToTime(std::string_view text);

// Reads a date, optionally followed by blanks and a time (midnight when
// there is none).
std::optional<TTimeStamp> TextToDateTime(std::string_view text, const TFormatSettings& settings,
                                         int current_year = 0);
std::optional<TTimeStamp> TextToDateTime(std::string_view text);

}  // namespace tdb
