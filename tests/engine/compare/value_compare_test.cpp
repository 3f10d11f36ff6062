// Typed comparison of field values in their stored encodings, and
// CompareKeyValue as the index search uses it.
#include "engine/compare/value_compare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/base/byte_order.h"
#include "engine/base/codepage.h"
#include "engine/base/database_error.h"

namespace tdb {
namespace {

// A value's bytes in its field encoding, owned by the test.
struct Value {
  uint8_t bytes[16] = {};
  std::string text;
  bool is_text = false;
  TFieldType type = ftUnknown;
  TFieldValue ref() const {
    return TFieldValue{is_text ? static_cast<const void*>(text.c_str()) : bytes, type, -1};
  }
};

Value Int16(TFieldType t, int16_t v) { Value x; x.type = t; PutInt16LE(x.bytes, v); return x; }
Value Int32(TFieldType t, int32_t v) { Value x; x.type = t; PutInt32LE(x.bytes, v); return x; }
Value Int64(int64_t v) { Value x; x.type = ftLargeint; PutInt64LE(x.bytes, v); return x; }
Value Double(TFieldType t, double v) { Value x; x.type = t; PutDoubleLE(x.bytes, v); return x; }
Value Bool(uint16_t v) { Value x; x.type = ftBoolean; PutUInt16LE(x.bytes, v); return x; }
Value Text(const char* utf8, TFieldType t = ftString) { Value x; x.type = t; x.is_text = true; x.text = Utf8ToCp1251(utf8); return x; }

std::string Outcome(const Value& l, const Value& r, TCompareOptions o = {}) {
  const TCompareOutcome c = CompareValues(l.ref(), r.ref(), o);
  return std::string(c.less ? "<" : "") + (c.equal ? "=" : "") + (c.greater ? ">" : "");
}

TEST(ValueCompareTest, NumbersAcrossTypes) {
  EXPECT_EQ(Outcome(Int32(ftInteger, 3), Double(ftFloat, 3.0)), "=");
  EXPECT_EQ(Outcome(Double(ftCurrency, 2.5), Int16(ftSmallint, 3)), "<");
  EXPECT_EQ(Outcome(Int16(ftWord, -1), Int16(ftSmallint, -1)), ">");  // the word is 65535
  EXPECT_EQ(Outcome(Int32(ftAutoInc, 7), Int64(7)), "=");
  EXPECT_EQ(Outcome(Int32(ftInteger, -5), Int64(-6)), ">");
  // Beyond 2^53 doubles would make these equal; integers compare exactly.
  const int64_t big = (int64_t{1} << 53) + 1;
  EXPECT_EQ(Outcome(Int64(big), Int64(big - 1)), ">");
  EXPECT_EQ(Outcome(Int64(std::numeric_limits<int64_t>::min()), Int64(std::numeric_limits<int64_t>::max())), "<");
  // A NaN orders against nothing: = < > all false, so <> <= >= all true.
  const Value nan = Double(ftFloat, std::nan(""));
  EXPECT_EQ(Outcome(nan, Double(ftFloat, 1)), "");
  EXPECT_TRUE(TestRelation(TRelation::kNotEqual, nan.ref(), nan.ref(), {}));
  EXPECT_EQ(CompareKeyValue(nan.bytes, nan.bytes, ftFloat, false, false), 1);
}

TEST(ValueCompareTest, RelationsAreNegationsOfTheThreeAnswers) {
  const Value one = Int32(ftInteger, 1), two = Int32(ftInteger, 2);
  struct Case {
    TRelation relation;
    bool one_two, two_one, one_one;
  };
  const Case cases[] = {
      {TRelation::kEqual, false, false, true},          {TRelation::kNotEqual, true, true, false},
      {TRelation::kLess, true, false, false},           {TRelation::kLessOrEqual, true, false, true},
      {TRelation::kGreater, false, true, false},        {TRelation::kGreaterOrEqual, false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.relation));
    EXPECT_EQ(TestRelation(c.relation, one.ref(), two.ref(), {}), c.one_two);
    EXPECT_EQ(TestRelation(c.relation, two.ref(), one.ref(), {}), c.two_one);
    EXPECT_EQ(TestRelation(c.relation, one.ref(), one.ref(), {}), c.one_one);
  }
}

TEST(ValueCompareTest, BooleansByTheLowByte) {
  EXPECT_TRUE(TestRelation(TRelation::kGreater, Bool(2).ref(), Bool(1).ref(), {}));  // both read true
  EXPECT_FALSE(TestRelation(TRelation::kEqual, Bool(2).ref(), Bool(1).ref(), {}));
  EXPECT_EQ(Outcome(Bool(1), Bool(1)), "=");
  EXPECT_EQ(Outcome(Bool(0), Bool(1)), "<");
  EXPECT_EQ(Outcome(Bool(0x0100), Bool(0)), "=");  // the high byte plays no part
}

TEST(ValueCompareTest, DatesTimesAndDateTimes) {
  const int32_t day = 739000;
  const Value date = Int32(ftDate, day);
  EXPECT_EQ(Outcome(date, Double(ftDateTime, day * 86400000.0)), "=");
  EXPECT_EQ(Outcome(date, Double(ftDateTime, day * 86400000.0 + 60000)), "<");  // 00:01 of that day
  EXPECT_EQ(Outcome(Double(ftDateTime, day * 86400000.0 + 60000), date), ">");
  EXPECT_EQ(Outcome(date, Int32(ftDate, day - 1)), ">");
  EXPECT_EQ(Outcome(Int32(ftTime, 1000), Int32(ftTime, 999)), ">");
  EXPECT_EQ(Outcome(Double(ftDateTime, 5.0), Double(ftDateTime, 5.0)), "=");
  EXPECT_THROW(Outcome(Int32(ftTime, 0), date), EDatabaseError);
  EXPECT_THROW(Outcome(Double(ftDateTime, 0), Int32(ftTime, 0)), EDatabaseError);
}

TEST(ValueCompareTest, PairsFromDifferentClassesAreRefused) {
  const Value pairs[][2] = {
      {Int32(ftInteger, 0), Text("0")},
      {Bool(1), Int32(ftInteger, 1)},
      {Int32(ftDate, 1), Int32(ftInteger, 1)},
      {Int32(ftInteger, 1), Int32(static_cast<TFieldType>(ftParadoxOle), 1)},
      {Int32(ftUnknown, 1), Int32(ftUnknown, 1)},
  };
  for (const auto& p : pairs) {
    try {
      Outcome(p[0], p[1]);
      ADD_FAILURE() << p[0].type << " with " << p[1].type;
    } catch (const EDatabaseError& e) {
      EXPECT_STREQ(e.what(), "Type mismatch in expression");
    }
  }
}

TEST(ValueCompareTest, TextCaseAndPartialLength) {
  TCompareOptions ci;
  ci.case_insensitive = true;
  EXPECT_EQ(Outcome(Text("ab"), Text("AB")), "<");
  EXPECT_EQ(Outcome(Text("ab"), Text("AB"), ci), "=");
  EXPECT_EQ(Outcome(Text("Ж"), Text("Z", ftFixedChar)), ">");

  TCompareOptions partial;
  partial.partial_length = 2;
  EXPECT_EQ(Outcome(Text("Иванов"), Text("Ив"), partial), "=");  // the right value's length counts
  EXPECT_EQ(Outcome(Text("И"), Text("Ив"), partial), "<");
  partial.partial_allowed = false;  // foNoPartialCompare
  EXPECT_EQ(Outcome(Text("Иванов"), Text("Ив"), partial), ">");

  // Blob content with an explicit length: the text ends there or at a NUL.
  const std::string blob("abc\0zz", 6);
  const Value ab = Text("ab");
  EXPECT_TRUE(CompareValues(TFieldValue{blob.data(), ftMemo, 2}, ab.ref(), {}).equal);
  EXPECT_TRUE(CompareValues(TFieldValue{blob.data(), ftBlob, 6}, Text("abc").ref(), {}).equal);
  const char unterminated[3] = {'a', 'b', 'c'};
  EXPECT_TRUE(CompareValues(TFieldValue{unterminated, ftString, 3}, Text("abc").ref(), {}).equal);
}

TEST(ValueCompareTest, CompareKeyValueOfTextKeys) {
  const std::string key = Utf8ToCp1251("Ив");
  struct Case {
    const char* stored;
    bool partial, case_insensitive;
    int expected;
  };
  const Case cases[] = {
      {"Иванов", true, false, 0},   {"Ивлев", true, false, 0},   {"Ив", true, false, 0},
      {"Иа", true, false, 1},       {"Ия", true, false, -1},     {"И", true, false, 1},
      {"Иванов", false, false, -1}, {"Ив", false, false, 0},     {"ив", false, false, 1},
      {"ИВАНОВ", true, true, 0},    {"ИВАНОВ", true, false, -1}, {"ив", false, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    const std::string stored = Utf8ToCp1251(c.stored);
    EXPECT_EQ(CompareKeyValue(key.c_str(), stored.c_str(), ftString, c.partial, c.case_insensitive), c.expected);
  }
  // The partial flag means nothing to other types.
  const Value a = Int32(ftInteger, 10), b = Int32(ftInteger, 12);
  EXPECT_EQ(CompareKeyValue(a.bytes, b.bytes, ftInteger, true, false), -1);
  EXPECT_EQ(CompareKeyValue(b.bytes, a.bytes, ftInteger, true, true), 1);
  EXPECT_THROW(CompareKeyValue(nullptr, b.bytes, ftInteger, false, false), EDatabaseError);
}

// Numeric and date keys of one type take a short path: its answers must be
// CompareValues' on every pair, the edges of the types included.
TEST(ValueCompareTest, CompareKeyValueOfNumbersAndDatesAgreesWithCompareValues) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<std::vector<Value>> groups = {
      {Int32(ftInteger, std::numeric_limits<int32_t>::min()), Int32(ftInteger, -1), Int32(ftInteger, 0),
       Int32(ftInteger, 1), Int32(ftInteger, std::numeric_limits<int32_t>::max())},
      {Int32(ftAutoInc, 0), Int32(ftAutoInc, 41), Int32(ftAutoInc, 42)},
      {Int32(ftDate, -5), Int32(ftDate, 693594), Int32(ftDate, 739000)},
      {Double(ftFloat, -inf), Double(ftFloat, -1.5), Double(ftFloat, -0.0), Double(ftFloat, 0.0),
       Double(ftFloat, 1e-300), Double(ftFloat, inf), Double(ftFloat, std::nan(""))},
      {Double(ftCurrency, -0.01), Double(ftCurrency, 0.0), Double(ftCurrency, 99999.99)},
  };
  for (const std::vector<Value>& group : groups)
    for (const Value& a : group)
      for (const Value& b : group) {
        const TCompareOutcome o = CompareValues(a.ref(), b.ref(), TCompareOptions{});
        const int expected = o.equal ? 0 : (o.less ? -1 : 1);
        EXPECT_EQ(CompareKeyValue(a.ref(), b.ref(), false, false), expected)
            << "type " << a.type << ": " << GetDoubleLE(a.bytes) << " / " << GetDoubleLE(b.bytes);
      }
}

}  // namespace
}  // namespace tdb
