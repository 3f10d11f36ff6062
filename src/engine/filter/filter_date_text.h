// Date and time values written as text constants in a filter ('01/31/2005',
// '10:30', '01/31/2005 10:30 PM').
//
// A fixed scanner reads month/day/year whatever the locale says, and times
// with an optional morning or afternoon marker; the locale's own reading
// (date_text.h) is the fallback.  Texts are Windows-1251.  The current
// format settings are read at each call; stateless apart from that.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/locale/date_time.h"
#include "engine/locale/format_settings.h"

namespace tdb {

// The fixed scanner alone, each form reading the whole text (blanks at the
// end allowed).  `current_year` places one- and two-digit years.
std::optional<int32_t> ScanFixedDate(std::string_view text, const TFormatSettings& settings, int current_year);
std::optional<int32_t> ScanFixedTime(std::string_view text, const TFormatSettings& settings);
// A date followed by a time; midnight when the date uses up the text; what
// follows the time is not examined.
std::optional<TTimeStamp> ScanFixedDateTime(std::string_view text, const TFormatSettings& settings,
                                            int current_year);

// True when the text reads as a date, a date with a time or a time, by the
// fixed scanner or else by the locale.
bool ReadsAsDateTime(std::string_view text);

// The text as a value of `type` (ftDate day number, ftTime milliseconds,
// ftDateTime encoding as a double): the fixed scanner for that form first,
// the locale's reading second.  Raises EDatabaseError "'%s' is not a valid
// date" ("time", "date and time") when neither reads it.
// REQUIRES: type is ftDate, ftTime or ftDateTime.
int32_t DateTextToDate(std::string_view text);
int32_t TimeTextToTime(std::string_view text);
double DateTimeTextToStamp(std::string_view text);

}  // namespace tdb
