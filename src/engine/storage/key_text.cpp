// Texts of key values for the unique-key message.
#include "engine/storage/key_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/base/byte_order.h"
#include "engine/locale/date_text.h"
#include "engine/locale/format_settings.h"
#include "engine/storage/blob_stream.h"

namespace tdb {

std::string GeneralFloatText(double value, char decimal_separator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  std::string text;
  // "1.5E+20" becomes "1.5E20", "1E-07" becomes "1E-7".
  for (const char* p = buf; *p; ++p) {
    if (*p == '.') {
      text += decimal_separator;
    } else if (*p == 'E') {
      text += 'E';
      ++p;
      if (*p == '-') text += '-';
      if (*p == '+' || *p == '-') ++p;
      while (*p == '0' && p[1]) ++p;
      text += p;
      break;
    } else {
      text += *p;
    }
  }
  return text;
}

std::string KeyValueText(const TFieldBufferItem& item) {
  if (!item.Active) return "";
  if (IsBlobFieldType(item.FieldType)) {
    if (!item.Stream) return "";
    const std::vector<uint8_t>& bytes = item.Stream->Bytes();
    return KeyValueText(bytes.data(), bytes.size(), item.FieldType);
  }
  if (!item.Buffer || item.DataSize <= 0) return "";
  return KeyValueText(static_cast<const uint8_t*>(item.Buffer), static_cast<size_t>(item.DataSize), item.FieldType);
}

std::string KeyValueText(const uint8_t* v, size_t size, TFieldType type) {
  if (!v) return "";
  auto fits = [&](size_t n) { return size >= n; };
  if (IsBlobFieldType(type) || IsStringFieldType(type)) {
    const char* p = reinterpret_cast<const char*>(v);
    return std::string(p, strnlen(p, size));
  }
  switch (type) {
    case ftSmallint:
      return fits(2) ? std::to_string(GetInt16LE(v)) : "";
    case ftWord:
      return fits(2) ? std::to_string(GetUInt16LE(v)) : "";
    case ftInteger:
    case ftAutoInc:
      return fits(4) ? std::to_string(GetInt32LE(v)) : "";
    case ftLargeint:
      return fits(8) ? std::to_string(GetInt64LE(v)) : "";
    case ftBoolean:
      return fits(2) ? (GetUInt16LE(v) != 0 ? "True" : "False") : "";
    case ftFloat:
    case ftCurrency:
      return fits(8) ? GeneralFloatText(GetDoubleLE(v), CurrentFormatSettings()->decimal_separator) : "";
    case ftDate:
      return fits(4) ? DateToText(GetInt32LE(v)) : "";
    case ftTime:
      return fits(4) ? TimeToText(GetInt32LE(v)) : "";
    case ftDateTime: {
      if (!fits(8)) return "";
      auto stamp = DoubleToStamp(GetDoubleLE(v));
      return stamp ? DateTimeToText(*stamp) : "";
    }
    default:
      return "";
  }
}

}  // namespace tdb
