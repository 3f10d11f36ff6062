// The typed comparison of field values, by type class.
#include "engine/compare/value_compare.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/compare/collation.h"

namespace tdb {
namespace {

[[noreturn]] void TypeMismatch() { DatabaseError("Type mismatch in expression"); }

template <typename T>
TCompareOutcome Order(T a, T b) {
  return TCompareOutcome{a == b, a < b, a > b};
}

TCompareOutcome FromSign(int sign) { return TCompareOutcome{sign == 0, sign < 0, sign > 0}; }

const uint8_t* Bytes(const TFieldValue& v) {
  if (v.data == nullptr) DatabaseError("Field value missing in comparison");
  return static_cast<const uint8_t*>(v.data);
}

std::string_view TextOf(const TFieldValue& v) {
  const char* p = static_cast<const char*>(static_cast<const void*>(Bytes(v)));
  const size_t n = v.text_length >= 0 ? strnlen(p, static_cast<size_t>(v.text_length)) : std::strlen(p);
  return std::string_view(p, n);
}

bool IsFloatType(TFieldType t) { return t == ftFloat || t == ftCurrency; }

int64_t IntegerOf(const TFieldValue& v) {
  const uint8_t* p = Bytes(v);
  switch (v.type) {
    case ftSmallint: return GetInt16LE(p);
    case ftWord: return GetUInt16LE(p);
    case ftInteger:
    case ftAutoInc: return GetInt32LE(p);
    case ftLargeint: return GetInt64LE(p);
    default: TypeMismatch();
  }
}

double NumberOf(const TFieldValue& v) {
  return IsFloatType(v.type) ? GetDoubleLE(Bytes(v)) : static_cast<double>(IntegerOf(v));
}

// An ftDate or ftDateTime value in the ftDateTime encoding.
double StampOf(const TFieldValue& v) {
  if (v.type == ftDate) return static_cast<double>(GetInt32LE(Bytes(v))) * kMillisecondsPerDay;
  return GetDoubleLE(Bytes(v));
}

TCompareOutcome CompareDateTimes(const TFieldValue& l, const TFieldValue& r) {
  if (l.type == r.type && l.type != ftDateTime) return Order(GetInt32LE(Bytes(l)), GetInt32LE(Bytes(r)));
  if (l.type == ftTime || r.type == ftTime) TypeMismatch();
  return Order(StampOf(l), StampOf(r));
}

}  // namespace

TTypeClass TypeClassOf(TFieldType type) {
  switch (type) {
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc:
    case ftLargeint:
    case ftFloat:
    case ftCurrency: return TTypeClass::kNumeric;
    case ftString:
    case ftFixedChar:
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo: return TTypeClass::kText;
    case ftBoolean: return TTypeClass::kBoolean;
    case ftDate:
    case ftTime:
    case ftDateTime: return TTypeClass::kDateTime;
    default: return TTypeClass::kNone;
  }
}

TCompareOutcome CompareValues(const TFieldValue& left, const TFieldValue& right, const TCompareOptions& options) {
  const TTypeClass cls = TypeClassOf(left.type);
  if (cls == TTypeClass::kNone || cls != TypeClassOf(right.type)) TypeMismatch();
  switch (cls) {
    case TTypeClass::kNumeric:
      if (IsFloatType(left.type) || IsFloatType(right.type)) return Order(NumberOf(left), NumberOf(right));
      return Order(IntegerOf(left), IntegerOf(right));
    case TTypeClass::kText: {
      const std::ptrdiff_t limit = options.partial_allowed ? options.partial_length : -1;
      return FromSign(CompareText(TextOf(left), TextOf(right),
                                  options.case_insensitive ? TCaseSensitivity::kInsensitive
                                                           : TCaseSensitivity::kSensitive,
                                  limit));
    }
    case TTypeClass::kBoolean: return Order(Bytes(left)[0], Bytes(right)[0]);
    case TTypeClass::kDateTime: return CompareDateTimes(left, right);
    case TTypeClass::kNone: break;
  }
  TypeMismatch();
}

bool TestRelation(TRelation relation, const TFieldValue& left, const TFieldValue& right,
                  const TCompareOptions& options) {
  const TCompareOutcome o = CompareValues(left, right, options);
  switch (relation) {
    case TRelation::kEqual: return o.equal;
    case TRelation::kNotEqual: return !o.equal;
    case TRelation::kLess: return o.less;
    case TRelation::kLessOrEqual: return !o.greater;
    case TRelation::kGreater: return o.greater;
    case TRelation::kGreaterOrEqual: return !o.less;
  }
  return false;
}

int CompareKeyValue(const TFieldValue& key, const TFieldValue& stored, bool partial, bool case_insensitive) {
  // Keys of the same numeric or date type, as most index searches compare:
  // the answer of CompareValues without its general path.
  if (key.type == stored.type && key.data && stored.data) {
    const uint8_t* a = static_cast<const uint8_t*>(key.data);
    const uint8_t* b = static_cast<const uint8_t*>(stored.data);
    switch (key.type) {
      case ftInteger:
      case ftAutoInc:
      case ftDate: {
        const int32_t x = GetInt32LE(a), y = GetInt32LE(b);
        return x == y ? 0 : (x < y ? -1 : 1);
      }
      case ftFloat:
      case ftCurrency: {
        const double x = GetDoubleLE(a), y = GetDoubleLE(b);
        return x == y ? 0 : (x < y ? -1 : 1);
      }
      default: break;
    }
  }
  TCompareOptions options;
  options.case_insensitive = case_insensitive;
  options.partial_allowed = partial;
  if (partial && TypeClassOf(key.type) == TTypeClass::kText)
    options.partial_length = static_cast<std::ptrdiff_t>(TextOf(key).size());
  const TCompareOutcome o = CompareValues(key, stored, options);
  if (o.equal) return 0;
  return o.less ? -1 : 1;
}

int CompareKeyValue(const void* key, const void* stored, TFieldType type, bool partial, bool case_insensitive) {
  return CompareKeyValue(TFieldValue{key, type, -1}, TFieldValue{stored, type, -1}, partial, case_insensitive);
}

}  // namespace tdb
