// Typed access to a field's value and the conversions between its encoding
// and strings, numbers, booleans and date-time values.
#include "engine/dataset/field.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/dataset/dataset.h"
#include "engine/locale/date_text.h"
#include "engine/locale/date_time.h"
#include "engine/locale/number_text.h"

namespace tdb {
namespace {

bool IsIntegerType(TFieldType t) {
  return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc || t == ftLargeint;
}
bool IsFloatType(TFieldType t) { return t == ftFloat || t == ftCurrency; }
bool IsDateType(TFieldType t) { return t == ftDate || t == ftTime || t == ftDateTime; }

constexpr double kZeroDateTime = 0.0;

std::optional<bool> TextToBoolean(std::string_view text) {
  std::string lower;
  for (char c : text)
    if (c != ' ') lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (lower == "true" || lower == "t" || lower == "yes" || lower == "y" || lower == "1") return true;
  if (lower == "false" || lower == "f" || lower == "no" || lower == "n" || lower == "0" || lower.empty())
    return false;
  return std::nullopt;
}

}  // namespace

TField::TField(TDataSet* dataset, std::string name, TFieldType type, int32_t size, int field_no)
    : dataset_(dataset), name_(std::move(name)), type_(type), size_(IsStringFieldType(type) ? size : 0),
      field_no_(field_no) {}

int32_t TField::DataSize() const { return IsBlob() ? 0 : FieldSlotSize(type_, size_); }

bool TField::GetData(void* dst) const { return dataset_->GetFieldData(*this, dst); }

void TField::SetData(const void* src) {
  TDataSetState state = dataset_->State();
  if (state != dsEdit && state != dsInsert && state != dsSetKey && state != dsCalcFields && state != dsFilter &&
      state != dsNewValue)
    dataset_->Error("Dataset not in edit or insert mode");
  dataset_->SetFieldData(*this, src);
}

void TField::ReadValue(uint8_t* dst) const {
  if (!GetData(dst)) std::memset(dst, 0, static_cast<size_t>(DataSize()));
}

void TField::Store(const void* bytes) { SetData(bytes); }

[[noreturn]] void TField::ValueError(const std::string& message, TErrorKind kind) const {
  const std::string& owner = dataset_->Name;
  throw EFieldError(owner.empty() ? message : owner + ": " + message, name_, kind);
}

[[noreturn]] void TField::ConversionError(std::string_view target) const {
  ValueError(Format("Cannot access field '%s' as type %s", {name_, target}), ekGeneral);
}

int64_t TField::IntegerOf(const uint8_t* v) const {
  switch (type_) {
    case ftSmallint: return GetInt16LE(v);
    case ftWord: return GetUInt16LE(v);
    case ftInteger:
    case ftAutoInc: return GetInt32LE(v);
    case ftLargeint: return GetInt64LE(v);
    case ftBoolean: return GetUInt16LE(v) != 0 ? 1 : 0;
    default: return 0;
  }
}

double TField::FloatOf(const uint8_t* v) const {
  if (IsFloatType(type_)) return GetDoubleLE(v);
  if (IsDateType(type_)) return DateTimeOf(v);
  return static_cast<double>(IntegerOf(v));
}

double TField::DateTimeOf(const uint8_t* v) const {
  switch (type_) {
    case ftDate: {
      int32_t day = GetInt32LE(v);
      if (day < kMinDayNumber || day > kMaxDayNumber) return kZeroDateTime;
      return StampToDateTime(TTimeStamp{day, 0});
    }
    case ftTime: {
      int32_t ms = GetInt32LE(v);
      if (ms < 0 || ms >= kMillisecondsPerDay) return kZeroDateTime;
      return static_cast<double>(ms) / kMillisecondsPerDay;
    }
    case ftDateTime: {
      auto stamp = DoubleToStamp(GetDoubleLE(v));
      return stamp ? StampToDateTime(*stamp) : kZeroDateTime;
    }
    default: return GetDoubleLE(v);
  }
}

std::string TField::TextOf(const uint8_t* v) const {
  auto settings = CurrentFormatSettings();
  switch (type_) {
    case ftString:
    case ftFixedChar: {
      const char* text = reinterpret_cast<const char*>(v);
      size_t n = 0;
      while (n < static_cast<size_t>(DataSize()) && text[n] != '\0') ++n;
      return std::string(text, n);
    }
    case ftBoolean: return GetUInt16LE(v) != 0 ? "True" : "False";
    case ftFloat:
    case ftCurrency: return FloatToText(GetDoubleLE(v), settings->decimal_separator);
    case ftDate:
    case ftTime:
    case ftDateTime: {
      auto stamp = DateTimeToStamp(DateTimeOf(v));
      if (!stamp) return "";
      if (type_ == ftDate) return DateToText(stamp->date, *settings);
      if (type_ == ftTime) return TimeToText(stamp->time, *settings);
      return DateTimeToText(*stamp, *settings);
    }
    default:
      if (IsIntegerType(type_)) return std::to_string(IntegerOf(v));
      return "";
  }
}

std::string TField::AsString() const {
  if (IsBlob()) return dataset_->GetBlobContent(*this);
  std::vector<uint8_t> value(static_cast<size_t>(DataSize()) + 1);
  ReadValue(value.data());
  return TextOf(value.data());
}

void TField::SetAsString(std::string_view text) {
  if (IsBlob()) {
    TDataSetState state = dataset_->State();
    if (state != dsEdit && state != dsInsert) dataset_->Error("Dataset not in edit or insert mode");
    dataset_->SetBlobContent(*this, text);
    return;
  }
  auto settings = CurrentFormatSettings();
  std::string quoted(text);
  switch (type_) {
    case ftString:
    case ftFixedChar: {
      std::vector<uint8_t> value(static_cast<size_t>(DataSize()), 0);
      size_t n = std::min(text.size(), static_cast<size_t>(size_));
      size_t nul = text.find('\0');
      if (nul != std::string_view::npos) n = std::min(n, nul);
      std::memcpy(value.data(), text.data(), n);
      Store(value.data());
      return;
    }
    case ftBoolean: {
      auto b = TextToBoolean(text);
      if (!b) ValueError(Format("'%s' is not a valid boolean value", {quoted}));
      SetAsBoolean(*b);
      return;
    }
    case ftFloat:
    case ftCurrency: {
      auto d = TextToFloat(text, settings->decimal_separator);
      if (!d) ValueError(Format("'%s' is not a valid floating point value", {quoted}));
      SetAsFloat(*d);
      return;
    }
    case ftDate: {
      auto day = TextToDate(text, *settings);
      if (!day) ValueError(Format("'%s' is not a valid date", {quoted}));
      uint8_t bytes[4];
      PutInt32LE(bytes, *day);
      Store(bytes);
      return;
    }
    case ftTime: {
      auto ms = TextToTime(text, *settings);
      if (!ms) ValueError(Format("'%s' is not a valid time", {quoted}));
      uint8_t bytes[4];
      PutInt32LE(bytes, *ms);
      Store(bytes);
      return;
    }
    case ftDateTime: {
      auto stamp = TextToDateTime(text, *settings);
      if (!stamp) ValueError(Format("'%s' is not a valid date and time", {quoted}));
      uint8_t bytes[8];
      PutDoubleLE(bytes, StampToDouble(*stamp));
      Store(bytes);
      return;
    }
    default: {
      auto i = TextToInt64(text);
      if (!i) ValueError(Format("'%s' is not a valid integer value", {quoted}));
      SetAsLargeInt(*i);
      return;
    }
  }
}

int64_t TField::AsLargeInt() const {
  if (IsIntegerType(type_) || type_ == ftBoolean) {
    uint8_t value[8] = {0};
    ReadValue(value);
    return IntegerOf(value);
  }
  if (IsStringFieldType(type_)) {
    std::string text = AsString();
    auto i = TextToInt64(text);
    if (!i) ValueError(Format("'%s' is not a valid integer value", {text}));
    return *i;
  }
  if (IsFloatType(type_)) {
    double d = std::round(AsFloat());
    if (!(d > -9.2e18 && d < 9.2e18)) ValueError("Integer value out of range", ekOutOfRange);
    return static_cast<int64_t>(d);
  }
  ConversionError("Integer");
}

int32_t TField::AsInteger() const {
  int64_t v = AsLargeInt();
  if (v < INT32_MIN || v > INT32_MAX)
    ValueError(Format("%s is not a valid value for field '%s'", {std::to_string(v), name_}), ekOutOfRange);
  return static_cast<int32_t>(v);
}

void TField::StoreInteger(int64_t v) {
  uint8_t bytes[8] = {0};
  auto range_error = [&](int64_t lo, int64_t hi) {
    if (v < lo || v > hi)
      ValueError(Format("%s is not a valid value for field '%s'. The allowed range is %s to %s",
                        {std::to_string(v), name_, std::to_string(lo), std::to_string(hi)}),
                 ekOutOfRange);
  };
  switch (type_) {
    case ftSmallint: range_error(INT16_MIN, INT16_MAX); PutInt16LE(bytes, static_cast<int16_t>(v)); break;
    case ftWord: range_error(0, UINT16_MAX); PutUInt16LE(bytes, static_cast<uint16_t>(v)); break;
    case ftInteger:
    case ftAutoInc: range_error(INT32_MIN, INT32_MAX); PutInt32LE(bytes, static_cast<int32_t>(v)); break;
    case ftLargeint: PutInt64LE(bytes, v); break;
    case ftBoolean: PutUInt16LE(bytes, v != 0 ? 1 : 0); break;
    default: break;
  }
  Store(bytes);
}

void TField::SetAsLargeInt(int64_t value) {
  if (IsIntegerType(type_) || type_ == ftBoolean) return StoreInteger(value);
  if (IsFloatType(type_)) return SetAsFloat(static_cast<double>(value));
  if (IsStringFieldType(type_)) return SetAsString(std::to_string(value));
  ConversionError("Integer");
}

void TField::SetAsInteger(int32_t value) { SetAsLargeInt(value); }

bool TField::AsBoolean() const {
  if (type_ == ftBoolean || IsIntegerType(type_)) return AsLargeInt() != 0;
  if (IsStringFieldType(type_)) {
    std::string text = AsString();
    auto b = TextToBoolean(text);
    if (!b) ValueError(Format("'%s' is not a valid boolean value", {text}));
    return *b;
  }
  ConversionError("Boolean");
}

void TField::SetAsBoolean(bool value) {
  if (type_ == ftBoolean || IsIntegerType(type_)) return StoreInteger(value ? 1 : 0);
  if (IsStringFieldType(type_)) return SetAsString(value ? "True" : "False");
  ConversionError("Boolean");
}

double TField::AsFloat() const {
  if (IsFloatType(type_) || IsIntegerType(type_) || IsDateType(type_)) {
    uint8_t value[8] = {0};
    ReadValue(value);
    return FloatOf(value);
  }
  if (IsStringFieldType(type_)) {
    std::string text = AsString();
    auto d = TextToFloat(text, CurrentFormatSettings()->decimal_separator);
    if (!d) ValueError(Format("'%s' is not a valid floating point value", {text}));
    return *d;
  }
  ConversionError("Float");
}

void TField::StoreFloat(double value) {
  // NaN compares neither less nor greater than anything, and an infinity
  // has no text form to search by: either would break an index's order.
  if (!std::isfinite(value))
    ValueError(Format("Invalid floating point value %s for field '%s'", {std::isnan(value) ? "NaN"
                                                                         : value > 0       ? "INF"
                                                                                           : "-INF",
                                                                         name_}),
               ekOutOfRange);
  uint8_t bytes[8];
  PutDoubleLE(bytes, value);
  Store(bytes);
}

void TField::SetAsFloat(double value) {
  if (IsFloatType(type_)) return StoreFloat(value);
  if (IsIntegerType(type_)) {
    double r = std::round(value);
    if (!(r > -9.2e18 && r < 9.2e18)) ValueError("Integer value out of range", ekOutOfRange);
    return StoreInteger(static_cast<int64_t>(r));
  }
  if (IsDateType(type_)) return SetAsDateTime(value);
  if (IsStringFieldType(type_)) return SetAsString(FloatToText(value, CurrentFormatSettings()->decimal_separator));
  ConversionError("Float");
}

TCurrency TField::AsCurrency() const { return TCurrency::FromDouble(AsFloat()); }

void TField::SetAsCurrency(TCurrency value) { SetAsFloat(value.ToDouble()); }

double TField::AsDateTime() const {
  if (IsDateType(type_) || IsFloatType(type_)) {
    uint8_t value[8] = {0};
    ReadValue(value);
    return DateTimeOf(value);
  }
  if (IsStringFieldType(type_)) {
    std::string text = AsString();
    auto stamp = TextToDateTime(text, *CurrentFormatSettings());
    if (!stamp) ValueError(Format("'%s' is not a valid date and time", {text}));
    return StampToDateTime(*stamp);
  }
  ConversionError("DateTime");
}

void TField::StoreDateTime(double value) {
  auto stamp = DateTimeToStamp(value);
  if (!stamp) ValueError(Format("Invalid date-time value for field '%s'", {name_}));
  uint8_t bytes[8] = {0};
  switch (type_) {
    case ftDate: PutInt32LE(bytes, stamp->date); break;
    case ftTime: PutInt32LE(bytes, stamp->time); break;
    default: PutDoubleLE(bytes, StampToDouble(*stamp)); break;
  }
  Store(bytes);
}

void TField::SetAsDateTime(double value) {
  if (IsDateType(type_)) return StoreDateTime(value);
  if (IsFloatType(type_)) return StoreFloat(value);
  if (IsStringFieldType(type_)) {
    auto stamp = DateTimeToStamp(value);
    if (!stamp) ValueError(Format("Invalid date-time value for field '%s'", {name_}));
    return SetAsString(DateTimeToText(*stamp));
  }
  ConversionError("DateTime");
}

}  // namespace tdb
