// Fuzzes the filter language: the input is a filter text, parsed over a table
// with a field of every type and records holding edge values, then evaluated
// on each record with every combination of filter options, under two
// locales.  Refusals (EDatabaseError) are expected; anything else (a crash,
// a sanitizer report, another exception, a hang) is a finding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "engine/base/database_error.h"
#include "engine/filter/fake_field_source.h"
#include "engine/filter/filter_parser.h"
#include "engine/locale/format_settings.h"

namespace {

using namespace tdb;

TFakeFieldSource& Table() {
  static TFakeFieldSource* table = [] {
    auto* s = new TFakeFieldSource;
    s->AddField("s", ftString, 20);
    s->AddField("fc", ftFixedChar, 4);
    s->AddField("si", ftSmallint);
    s->AddField("i", ftInteger);
    s->AddField("w", ftWord);
    s->AddField("b", ftBoolean);
    s->AddField("f", ftFloat);
    s->AddField("cur", ftCurrency);
    s->AddField("d", ftDate);
    s->AddField("t", ftTime);
    s->AddField("dt", ftDateTime);
    s->AddField("ai", ftAutoInc);
    s->AddField("li", ftLargeint);
    s->AddField("m", ftMemo);
    s->AddField("bl", ftBlob);
    s->AddField("g", ftGraphic);
    s->AddField("fm", ftFmtMemo);
    s->AddField("ole", ftParadoxOle);
    s->AddField("my field", ftInteger);

    int r = s->AddRecord();  // ordinary values
    s->SetText(r, "s", "abc*");
    s->SetText(r, "fc", "ab");
    s->SetInt(r, "si", -3);
    s->SetInt(r, "i", 42);
    s->SetInt(r, "w", 65535);
    s->SetInt(r, "b", 1);
    s->SetDouble(r, "f", 1.5);
    s->SetDouble(r, "cur", 100.25);
    s->SetDate(r, "d", 2005, 1, 31);
    s->SetTime(r, "t", 10, 30);
    s->SetStamp(r, "dt", 2005, 1, 31, 12, 0);
    s->SetInt(r, "ai", 7);
    s->SetInt(r, "li", 5000000000LL);
    s->SetText(r, "m", "memo text");
    s->SetText(r, "bl", std::string("bin\0ary", 7));

    r = s->AddRecord();  // everything zero or empty: date 0 is no valid date
    (void)r;

    r = s->AddRecord();  // extremes
    s->SetText(r, "s", std::string(20, '\xFF'));
    s->SetText(r, "fc", "zzzz");
    s->SetInt(r, "si", -32768);
    s->SetInt(r, "i", std::numeric_limits<int32_t>::min());
    s->SetInt(r, "b", 2);
    s->SetDouble(r, "f", std::numeric_limits<double>::quiet_NaN());
    s->SetDouble(r, "cur", -std::numeric_limits<double>::infinity());
    s->SetInt(r, "d", std::numeric_limits<int32_t>::max());
    s->SetInt(r, "t", -1);
    s->SetDouble(r, "dt", 1e300);
    s->SetInt(r, "ai", std::numeric_limits<int32_t>::max());
    s->SetInt(r, "li", std::numeric_limits<int64_t>::min());
    s->SetText(r, "m", std::string(3000, '%'));
    return s;
  }();
  return *table;
}

TFormatSettings DotLocale() {
  TFormatSettings s = RussianFormatSettings();
  s.decimal_separator = '.';
  s.date_separator = '/';
  s.short_date_format = "M/d/yyyy";
  s.time_am_string = "AM";
  s.time_pm_string = "PM";
  return s;
}

void Run(std::string_view text) {
  TFakeFieldSource& table = Table();
  TFilterParser parser(table);
  try {
    parser.Parse(text);
  } catch (const EDatabaseError&) {
    return;
  }
  for (int rec = 0; rec < table.RecordCount(); ++rec) {
    table.Load(rec);
    for (TFilterOptions options = 0; options < 4; ++options) {
      try {
        parser.Evaluate(options);
      } catch (const EDatabaseError&) {
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  {
    TScopedFormatSettings russian(RussianFormatSettings());
    Run(text);
  }
  {
    TScopedFormatSettings dot(DotLocale());
    Run(text);
  }
  return 0;
}
