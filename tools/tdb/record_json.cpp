// Conversion of a dataset's records to and from the JSON lines of tdb dump,
// insert and locate.
#include "tdb/record_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

#include "engine/base/byte_order.h"
#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/dataset/field.h"
#include "engine/locale/date_time.h"

namespace tdbtool {
namespace {

using namespace tdb;

bool IsMemoType(TFieldType type) { return type == ftMemo || type == ftFmtMemo; }

std::string DateText(int32_t day) {
  auto d = DecodeDate(day);
  if (!d) return "";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d->year, d->month, d->day);
  return buf;
}

std::string TimeText(int32_t ms) {
  auto t = DecodeTime(ms);
  if (!t) return "";
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", t->hour, t->minute, t->second, t->millisecond);
  return buf;
}

std::string DoubleText(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

[[noreturn]] void Bad(const std::string& field, const std::string& what) {
  DatabaseError("field " + field + ": " + what);
}

// Reads exactly `digits` digits at text[pos].
bool Digits(const std::string& text, size_t pos, size_t digits, int& out) {
  if (pos + digits > text.size()) return false;
  out = 0;
  for (size_t i = 0; i < digits; ++i) {
    char c = text[pos + i];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  return true;
}

// A JSON integer literal (an optional "-" and digits) that fits 64 bits.
std::optional<int64_t> IntegerLiteral(const std::string& text) {
  int64_t n = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, n);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  return n;
}

std::optional<int32_t> ParseDate(const std::string& t) {
  int y, m, d;
  if (t.size() != 10 || t[4] != '-' || t[7] != '-' || !Digits(t, 0, 4, y) || !Digits(t, 5, 2, m) || !Digits(t, 8, 2, d))
    return std::nullopt;
  return EncodeDate(y, m, d);
}

std::optional<int32_t> ParseTime(const std::string& t) {
  int h, mi, s, ms;
  if (t.size() != 12 || t[2] != ':' || t[5] != ':' || t[8] != '.' || !Digits(t, 0, 2, h) || !Digits(t, 3, 2, mi) ||
      !Digits(t, 6, 2, s) || !Digits(t, 9, 3, ms))
    return std::nullopt;
  return EncodeTime(h, mi, s, ms);
}

// The field's raw value in the current buffer, DataSize() bytes.
std::vector<uint8_t> RawValue(const TField& field) {
  std::vector<uint8_t> bytes(static_cast<size_t>(field.DataSize()), 0);
  if (!bytes.empty()) field.GetData(bytes.data());
  return bytes;
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::string Base64Encode(const std::vector<uint8_t>& bytes) {
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    for (int k = 3; k >= 0; --k) out += kBase64[(v >> (6 * k)) & 63];
  }
  if (i + 1 == bytes.size()) {
    uint32_t v = bytes[i] << 16;
    out += kBase64[(v >> 18) & 63];
    out += kBase64[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == bytes.size()) {
    uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8);
    out += kBase64[(v >> 18) & 63];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::vector<uint8_t> Base64Decode(const std::string& text) {
  if (text.size() % 4 != 0) DatabaseError("invalid Base64 text");
  std::vector<uint8_t> out;
  for (size_t i = 0; i < text.size(); i += 4) {
    uint32_t v = 0;
    int pad = 0;
    for (size_t k = 0; k < 4; ++k) {
      char c = text[i + k];
      const char* p = c ? std::strchr(kBase64, c) : nullptr;
      if (c == '=' && i + 4 == text.size() && k >= 2) {
        ++pad;
        v <<= 6;
        continue;
      }
      if (!p || pad) DatabaseError("invalid Base64 text");
      v = (v << 6) | static_cast<uint32_t>(p - kBase64);
    }
    out.push_back(static_cast<uint8_t>(v >> 16));
    if (pad < 2) out.push_back(static_cast<uint8_t>(v >> 8));
    if (pad < 1) out.push_back(static_cast<uint8_t>(v));
  }
  return out;
}

std::string RecordToJson(const TDataSet& data) {
  std::string out = "{\"_recno\":" + std::to_string(data.GetBookmark());
  for (int i = 0; i < data.FieldCount(); ++i) {
    const TField& field = data.Field(i);
    TFieldType type = field.DataType();
    out += "," + JsonQuote(Cp1251ToUtf8(field.FieldName())) + ":";
    if (field.IsBlob()) {
      std::string bytes = data.GetBlobContent(field);
      if (IsMemoType(type)) out += JsonQuote(Cp1251ToUtf8(bytes));
      else out += JsonQuote(Base64Encode(std::vector<uint8_t>(bytes.begin(), bytes.end())));
      continue;
    }
    std::vector<uint8_t> raw = RawValue(field);
    const uint8_t* v = raw.data();
    std::string text;
    switch (type) {
      case ftString:
      case ftFixedChar:
        // The value is NUL-terminated inside its size + 1 bytes.
        out += JsonQuote(Cp1251ToUtf8(std::string(reinterpret_cast<const char*>(v), ::strnlen(reinterpret_cast<const char*>(v), raw.size()))));
        continue;
      case ftSmallint: out += std::to_string(GetInt16LE(v)); continue;
      case ftWord: out += std::to_string(GetUInt16LE(v)); continue;
      case ftInteger:
      case ftAutoInc: out += std::to_string(GetInt32LE(v)); continue;
      case ftLargeint: out += std::to_string(GetInt64LE(v)); continue;
      case ftBoolean: out += GetUInt16LE(v) ? "true" : "false"; continue;
      case ftFloat:
      case ftCurrency: {
        double d = GetDoubleLE(v);
        out += std::isfinite(d) ? DoubleText(d) : "null";
        continue;
      }
      case ftDate: text = DateText(GetInt32LE(v)); break;
      case ftTime: text = TimeText(GetInt32LE(v)); break;
      case ftDateTime: {
        auto stamp = DoubleToStamp(GetDoubleLE(v));
        std::string date = stamp ? DateText(stamp->date) : "";
        std::string time = stamp ? TimeText(stamp->time) : "";
        if (!date.empty() && !time.empty()) text = date + "T" + time;
        break;
      }
      default:  // the blob types, handled above
        out += "null";
        continue;
    }
    out += text.empty() ? "null" : JsonQuote(text);
  }
  return out + "}";
}

void RecordFromJson(const JsonValue& object, TDataSet& data) {
  if (object.kind != JsonValue::kObject) DatabaseError("a record must be a JSON object");
  for (const auto& [name, value] : object.members) {
    if (name == "_recno") continue;
    std::string cp_name = Utf8ToCp1251(name);
    TField* found = Cp1251ToUtf8(cp_name) == name ? data.FindField(cp_name) : nullptr;
    if (!found) DatabaseError("no field " + name);
    TField& field = *found;
    TFieldType type = field.DataType();
    std::vector<uint8_t> raw(static_cast<size_t>(field.DataSize()), 0);
    uint8_t* v = raw.data();
    auto text = [&]() -> std::string {
      if (value.kind != JsonValue::kString) Bad(name, "a string is expected");
      return value.text;
    };
    auto cp1251 = [&]() {
      std::string s = text();
      std::string c = Utf8ToCp1251(s);
      if (Cp1251ToUtf8(c) != s) Bad(name, "characters outside Windows-1251");
      if (c.find('\0') != std::string::npos && !IsBlobFieldType(type)) Bad(name, "a NUL character");
      return c;
    };
    auto integer = [&](int64_t lo, int64_t hi) -> int64_t {
      // Read from the literal, so that a 64-bit value beyond 2^53 (which a
      // double cannot hold) comes in exactly; "5.0" or "1e3" still count.
      std::optional<int64_t> n;
      if (value.kind == JsonValue::kNumber) {
        n = IntegerLiteral(value.text);
        if (!n && value.number == std::floor(value.number) && std::fabs(value.number) <= 9007199254740992.0)
          n = static_cast<int64_t>(value.number);
      }
      if (!n || *n < lo || *n > hi)
        Bad(name, "an integer from " + std::to_string(lo) + " to " + std::to_string(hi) + " is expected");
      return *n;
    };
    if (field.IsBlob()) {
      if (IsMemoType(type)) {
        data.SetBlobContent(field, cp1251());
      } else {
        std::vector<uint8_t> bytes;
        try {
          bytes = Base64Decode(text());
        } catch (const EDatabaseError&) {
          Bad(name, "Base64 text is expected");
        }
        data.SetBlobContent(field, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      }
      continue;
    }
    switch (type) {
      case ftString:
      case ftFixedChar: {
        std::string c = cp1251();
        if (c.size() > static_cast<size_t>(field.Size()))
          Bad(name, "longer than " + std::to_string(field.Size()) + " characters");
        std::memcpy(v, c.data(), c.size());
        break;
      }
      case ftSmallint: PutInt16LE(v, static_cast<int16_t>(integer(-32768, 32767))); break;
      case ftWord: PutUInt16LE(v, static_cast<uint16_t>(integer(0, 65535))); break;
      case ftInteger:
      case ftAutoInc: PutInt32LE(v, static_cast<int32_t>(integer(INT32_MIN, INT32_MAX))); break;
      case ftLargeint:
        PutInt64LE(v, integer(std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()));
        break;
      case ftBoolean:
        if (value.kind != JsonValue::kBool) Bad(name, "true or false is expected");
        PutUInt16LE(v, value.boolean ? 1 : 0);
        break;
      case ftFloat:
      case ftCurrency:
        if (value.kind == JsonValue::kNull) Bad(name, "null (a value that is not a finite number) cannot be stored");
        if (value.kind != JsonValue::kNumber || !std::isfinite(value.number)) Bad(name, "a number is expected");
        PutDoubleLE(v, value.number);
        break;
      case ftDate: {
        auto d = value.kind == JsonValue::kNull ? std::optional<int32_t>(0) : ParseDate(text());
        if (!d) Bad(name, "a date YYYY-MM-DD is expected");
        PutInt32LE(v, *d);
        break;
      }
      case ftTime: {
        auto t = value.kind == JsonValue::kNull ? std::optional<int32_t>(0) : ParseTime(text());
        if (!t) Bad(name, "a time HH:MM:SS.mmm is expected");
        PutInt32LE(v, *t);
        break;
      }
      case ftDateTime: {
        if (value.kind == JsonValue::kNull) {
          PutDoubleLE(v, 0);
          break;
        }
        std::string s = text();
        auto d = s.size() == 23 && s[10] == 'T' ? ParseDate(s.substr(0, 10)) : std::nullopt;
        auto t = d ? ParseTime(s.substr(11)) : std::nullopt;
        if (!t) Bad(name, "a date-time YYYY-MM-DDTHH:MM:SS.mmm is expected");
        PutDoubleLE(v, StampToDouble(TTimeStamp{*d, *t}));
        break;
      }
      default:  // the blob types, handled above
        Bad(name, "a value of this type cannot be written");
    }
    field.SetData(v);
  }
}

TVariant VariantFromText(const TField& field, const std::string& utf8) {
  switch (field.DataType()) {
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc:
    case ftLargeint:
      if (auto n = IntegerLiteral(utf8)) return *n;
      break;
    case ftFloat:
    case ftCurrency: {
      double d = 0;
      const char* end = utf8.data() + utf8.size();
      auto [ptr, ec] = std::from_chars(utf8.data(), end, d);
      if (ec == std::errc() && ptr == end && !utf8.empty() && std::isfinite(d)) return d;
      break;
    }
    case ftBoolean:
      if (utf8 == "true" || utf8 == "false") return utf8 == "true";
      break;
    case ftDate:
      if (auto d = ParseDate(utf8)) return StampToDateTime(TTimeStamp{*d, 0});
      break;
    case ftTime:
      if (auto t = ParseTime(utf8)) return StampToDateTime(TTimeStamp{kDayNumberOf18991230, *t});
      break;
    case ftDateTime: {
      auto d = utf8.size() == 23 && utf8[10] == 'T' ? ParseDate(utf8.substr(0, 10)) : std::nullopt;
      auto t = d ? ParseTime(utf8.substr(11)) : std::nullopt;
      if (t) return StampToDateTime(TTimeStamp{*d, *t});
      break;
    }
    default:
      break;
  }
  return Utf8ToCp1251(utf8);
}

}  // namespace tdbtool
