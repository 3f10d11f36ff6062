// The filter language end to end over a small table: which records each
// filter passes, the values of constant expressions, and every error.
#include "engine/filter/filter_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/locale/date_time.h"
#include "engine/locale/format_settings.h"
#include "engine/filter/fake_field_source.h"

namespace tdb {
namespace {

std::string W(const std::string& utf8) { return Utf8ToCp1251(utf8); }

using Records = std::vector<int>;
const Records kAll = {0, 1, 2, 3, 4};

struct SelectCase {
  std::string filter;
  Records expected;
  TFilterOptions options = 0;
};

class FilterTest : public ::testing::Test {
 protected:
  FilterTest() : settings_(RussianFormatSettings()) {
    s_.AddField("slugebnoe", ftBoolean);
    s_.AddField("tip", ftInteger);
    s_.AddField("naim", ftString, 40);
    s_.AddField("platel", ftString, 40);
    s_.AddField("DatePlat", ftDate);
    s_.AddField("summa", ftFloat);
    s_.AddField("a", ftInteger);
    s_.AddField("b", ftInteger);
    s_.AddField("c", ftInteger);
    s_.AddField("my field", ftInteger);
    s_.AddField(W("Сумма"), ftInteger);
    s_.AddField("vremya", ftTime);
    s_.AddField("moment", ftDateTime);
    s_.AddField("big", ftLargeint);
    s_.AddField("small", ftSmallint);
    s_.AddField("memo", ftMemo);
    struct Row {
      bool slug;
      int tip;
      const char* naim;
      const char* platel;
      int y, m, d;
      double summa;
      int a, b, c, my, summa_ru;
      int h, mi, sec;
      int my_, mm_, md_, mh_, mmi_;
      int64_t big;
      int small;
      const char* memo;
    };
    const Row rows[] = {
        {false, 0, "Уплата налога", "Иванов", 2005, 1, 30, 1, 1, 2, 0, 1, 10, 10, 30, 0, 2005, 1, 31, 12, 0, 1, -1,
         "первая запись memo"},
        {true, 1, "уплата пени", "Петров", 2005, 1, 31, 1.2, 1, 3, 3, 0, 3, 22, 30, 0, 2005, 2, 1, 0, 0, 5000000000LL, 2,
         "вторая"},
        {false, 2, "Упл*", "Ивашов", 2005, 2, 1, 2, 0, 2, 0, 1, 0, 0, 0, 0, 2004, 12, 31, 23, 59, -1, 0, ""},
        {true, 0, "", "ИВАНОВ", 2004, 12, 31, 0, 1, 2, 3, 2, 7, 12, 0, 0, 2005, 1, 31, 0, 0, 0, 0, ""},
        {false, 2, "Штраф", "sidorov", 2005, 3, 15, 100.5, 0, 0, 3, 5, 20, 9, 5, 30, 2005, 3, 15, 9, 5, 2, 300, "memo"},
    };
    for (const Row& r : rows) {
      const int i = s_.AddRecord();
      s_.SetInt(i, "slugebnoe", r.slug);
      s_.SetInt(i, "tip", r.tip);
      s_.SetText(i, "naim", W(r.naim));
      s_.SetText(i, "platel", W(r.platel));
      s_.SetDate(i, "DatePlat", r.y, r.m, r.d);
      s_.SetDouble(i, "summa", r.summa);
      s_.SetInt(i, "a", r.a);
      s_.SetInt(i, "b", r.b);
      s_.SetInt(i, "c", r.c);
      s_.SetInt(i, "my field", r.my);
      s_.SetInt(i, W("Сумма"), r.summa_ru);
      s_.SetTime(i, "vremya", r.h, r.mi, r.sec);
      s_.SetStamp(i, "moment", r.my_, r.mm_, r.md_, r.mh_, r.mmi_);
      s_.SetInt(i, "big", r.big);
      s_.SetInt(i, "small", r.small);
      s_.SetText(i, "memo", W(r.memo));
    }
  }

  // The records that pass `filter` (UTF-8), as the dataset applies it.
  std::vector<int> Select(const std::string& filter, TFilterOptions options = 0) {
    TFilterParser parser(s_);
    parser.Parse(W(filter));
    std::vector<int> passed;
    for (int i = 0; i < s_.RecordCount(); ++i) {
      s_.Load(i);
      if (parser.Evaluate(options)) passed.push_back(i);
    }
    return passed;
  }

  // The message of the error that parsing and evaluating `filter` on every
  // record raises, in UTF-8; "" when there is none.
  std::string ErrorOf(const std::string& filter, TFilterOptions options = 0) {
    try {
      Select(filter, options);
    } catch (const EDatabaseError& e) {
      return Cp1251ToUtf8(e.what());
    }
    return "";
  }

  // Each filter selects its records.
  void Expect(const std::vector<SelectCase>& cases) {
    for (const SelectCase& c : cases) {
      SCOPED_TRACE(c.filter);
      try {
        EXPECT_EQ(Select(c.filter, c.options), c.expected);
      } catch (const EDatabaseError& e) {
        ADD_FAILURE() << Cp1251ToUtf8(e.what());
      }
    }
  }

  TScopedFormatSettings settings_;
  TFakeFieldSource s_;
};

TEST_F(FilterTest, EquivalentSpellingsOfOneFilter) {
  Expect({
      {"slugebnoe=true", {1, 3}},
      {"slugebnoe = TRUE", {1, 3}},
      {"Slugebnoe=True", {1, 3}},
      {"SLUGEBNOE<>false", {1, 3}},
      {"[slugebnoe]=true", {1, 3}},
      {"/* marked */ slugebnoe=true", {1, 3}},
      {"slugebnoe /* marked */ = true", {1, 3}},
      {"(slugebnoe)", {1, 3}},
      {"slugebnoe", {1, 3}},
      {"not  slugebnoe = false", {1, 3}},
  });
}

TEST_F(FilterTest, IntegersInListsNotAndPrecedence) {
  Expect({
      {"tip=0", {0, 3}},
      {"tip=0 OR tip=2", {0, 2, 3, 4}},
      {"tip IN (0, 2)", {0, 2, 3, 4}},
      {"tip in (2)", {2, 4}},
      {"NOT slugebnoe", {0, 2, 4}},
      {"NOT tip=0", {1, 2, 4}},
      {"NOT (tip=0 OR tip=2)", {1}},
      {"a=1 AND b=2 OR c=3", {0, 1, 3, 4}},
      {"c=3 OR a=1 AND b=2", {0, 1, 3, 4}},
      {"a=1 AND (b=2 OR c=3)", {0, 1, 3}},
      {"tip+1*2=2", {0, 3}},     // * before +
      {"(tip+1)*2=2", {0, 3}},
      {"tip-1-1=0", {2, 4}},     // left to right
      {"tip - -1 = 1", {0, 3}},  // the second minus starts a number
      {"tip -1=0", {1}},         // after a name a minus subtracts
      {"tip<>0 AND tip<=1", {1}},
      {"tip>=2", {2, 4}},
      {"tip>1 OR tip<1", {0, 2, 3, 4}},
  });
}

TEST_F(FilterTest, FieldNames) {
  Expect({
      {"[my field]=1", {0, 2}},
      {"[MY FIELD]=1", {0, 2}},
      {"[Сумма]>5", {0, 3, 4}},
      {"[сумма]>5", {0, 3, 4}},  // names match without regard to case, Cyrillic too
      {"TIP=0", {0, 3}},
  });
}

TEST_F(FilterTest, PartialComparisonAndCase) {
  Expect({
      {"naim='Упл*'", {0, 2}},
      {"naim='Упл*'", {2}, foNoPartialCompare},
      {"'Упл*'=naim", {2}},  // the partial length is the right operand's
      {"naim='упл*'", {1}},
      {"naim='упл*'", {0, 1, 2}, foCaseInsensitive},
      {"naim='*'", kAll},
      {"naim IN ('Штраф', 'Упл*')", {0, 2, 4}},
      {"platel='иванов'", {0, 3}, foCaseInsensitive},
      {"platel='иванов'", {}},
      {"naim LIKE 'Упл%'", {0, 2}},
      {"naim LIKE 'упл%'", {1}, foCaseInsensitive},  // LIKE folds only Latin letters
      {"naim LIKE 'упл%'", {0, 1, 2}, foCaseInsensitive | foLikeFoldsEveryLetter},
      {"naim LIKE 'упл%'", {1}, foLikeFoldsEveryLetter},  // no effect while case counts
      {"platel LIKE '%ВАН%'", {0, 3}, foCaseInsensitive | foLikeFoldsEveryLetter},
      {"platel LIKE 'SIDOROV'", {4}, foCaseInsensitive},
      {"platel LIKE 'SIDOROV'", {}},
      {"naim LIKE '%*'", {2}, foNoPartialCompare},
      {"naim=''", {3}},
      {"naim<>''", {0, 1, 2, 4}},
  });
}

TEST_F(FilterTest, DatesAndTimes) {
  Expect({
      {"DatePlat>='01/31/2005'", {1, 2, 4}},
      {"DatePlat='1/31/05'", {1}},
      {"DatePlat = ' 1/ 31/ 2005 '", {1}},
      {"DatePlat='31.01.2005'", {1}},  // the locale's own format
      {"'01/31/2005'<DatePlat", {2, 4}},
      {"DatePlat IN ('01/30/2005', '02/01/2005')", {0, 2}},
      {"DatePlat<moment", {0, 1, 3, 4}},
      {"moment>'01/31/2005'", {0, 1, 4}},
      {"moment='01/31/2005 12:00'", {0}},
      {"moment='01/31/2005 12:00 PM'", {0}},
      {"vremya='10:30'", {0}},
      {"vremya='10:30 PM'", {1}},
      {"vremya='pm 10:30'", {1}},
      {"vremya='12:00 AM'", {2}},
      {"vremya='12:00 PM'", {3}},
      {"vremya='9:05:30,000'", {4}},
      {"vremya>='9:05:30'", {0, 1, 3, 4}},
      {"YEAR(DatePlat)=2004", {3}},
      {"MONTH(DatePlat)=1", {0, 1}},
      {"DAY(DatePlat)=31", {1, 3}},
      {"HOUR(vremya)=22", {1}},
      {"MINUTE(vremya)=5", {4}},
      {"SECOND(vremya)=30", {4}},
      {"YEAR(moment)=2004", {2}},
      {"HOUR(moment)=12", {0}},
      {"MINUTE(moment)=59", {2}},
      {"DAY(moment)=1 AND MONTH(moment)=2", {1}},
      {"GETDATE()>moment", kAll},
      {"getdate ( ) > DatePlat", kAll},
  });
}

TEST_F(FilterTest, DateArithmetic) {
  Expect({
      {"DatePlat+1='02/01/2005'", {1}},
      {"DatePlat+1,9='02/01/2005'", {1}},  // whole days only
      {"DatePlat-DatePlat=0", kAll},
      {"DatePlat-'01/30/2005'=1", {1}},
      {"vremya+60000='10:31'", {0}},
      {"vremya-vremya=0", kAll},
      {"vremya-'10:00'=1800000", {0}},
      {"moment+1='02/01/2005 12:00'", {0}},
      {"moment-moment=0", kAll},
      {"moment-'01/31/2005'=43200000", {0}},
      {"'02/01/2005'-moment=43200000", {0}},
  });
}

TEST_F(FilterTest, NumbersTextsAndBlobs) {
  Expect({
      {"summa IN (1, 2)", {0, 2}},
      {"summa IN (1,2)", {1}},  // one number 1,2 with the decimal comma
      {"summa>100,4", {4}},
      {"summa/2>50", {4}},
      {"summa*2=2,4", {1}},
      {"big*2=10000000000", {1}},
      {"big>4294967296", {1}},
      {"small+1=0", {0}},
      {"small*small=90000", {4}},
      {"UPPER(platel)='ИВАНОВ'", {3}},  // Cyrillic letters stay as they are
      {"UPPER(platel)='SIDOROV'", {4}},
      {"LOWER(UPPER(platel))='sidorov'", {4}},
      {"SUBSTRING(naim, 1, 3)='Упл'", {0, 2}},
      {"SUBSTRING(naim, 8, 100)='налога'", {0}},
      {"naim+'!'='Штраф!'", {4}},
      {"TRIM('  '+naim+'  ')=naim", kAll},
      {"memo LIKE '%memo'", {0, 4}},
      {"memo=''", {2, 3}},
      {"memo='вторая'", {1}},
      {"memo+naim='memoШтраф'", {4}},
      {"UPPER(memo)='MEMO'", {4}},
  });
}

TEST_F(FilterTest, DecimalPointLocale) {
  TFormatSettings dot = RussianFormatSettings();
  dot.decimal_separator = '.';
  TScopedFormatSettings scope(dot);
  Expect({
      {"summa IN (1,2)", {0, 2}},
      {"summa=1.2", {1}},
      {"summa>100.4", {4}},
  });
}

TEST_F(FilterTest, LocaleDateOrder) {
  TFormatSettings british = RussianFormatSettings();
  british.date_separator = '/';
  british.short_date_format = "dd/MM/yyyy";
  TScopedFormatSettings scope(british);
  Expect({
      {"DatePlat>='01/31/2005'", {1, 2, 4}},  // the fixed scanner reads month first
      {"DatePlat>='31/01/2005'", {1, 2, 4}},  // month 31: the locale reads it
      {"DatePlat='01/02/2005'", {}},          // month 1, day 2 by the fixed scanner
  });
}

// Filters that hold or fail whatever the record: constant expressions.
// Differences and shifts whose results are numbers in the encodings.
TEST_F(FilterTest, DateDifferencesAreNumbers) {
  const int32_t day = EncodeDate(2005, 1, 30).value();
  const double moment = StampToDouble(TTimeStamp{day + 1, 12 * 3600000});
  const auto number = [](double v) { return std::to_string(static_cast<int64_t>(v)); };
  Expect({
      {("DatePlat-1=" + number(day - 1)), {0}},
      {("DatePlat-1,7=" + number(day - 1)), {0}},
      {("moment-1=" + number(moment - 86400000.0)), {0}},
      // 31 Jan 12:00 - 10:30 and 1 Feb 00:00 - 22:30 are the same moment.
      {("moment-vremya=" + number(moment - 37800000.0)), {0, 1}},
      {("vremya-1000=" + number(37800000.0 - 1000)), {0}},
  });
}

TEST_F(FilterTest, ConstantExpressions) {
  struct Case {
    const char* filter;
    bool expected;
    TFilterOptions options = 0;
  };
  const Case cases[] = {
      {"'ab' LIKE 'a%'", true},
      {"'abc' LIKE 'a_c'", true},
      {"'abc' LIKE 'ab'", false},
      {"'' LIKE '%'", true},
      {"'' LIKE ''", true},
      {"'' LIKE '%%'", false},
      {"'ab' LIKE 'a%%'", true},
      {"'a' LIKE 'a%%'", false},
      {"'a*c' LIKE 'a*c'", true},
      {"'abc' LIKE 'a*'", false},
      {"'ABC' LIKE 'abc'", false},
      {"'ABC' LIKE 'abc'", true, foCaseInsensitive},
      {"'abc' LIKE 'ab_'", true},
      {"'abc' LIKE '%c%'", true},
      {"'abc' LIKE '%c%%'", false},  // a run of "%" at the end needs a character
      {"'abcc' LIKE '%c%'", true},
      {"'abc' LIKE '%b%'", true},
      {"1+2=3", true},
      {"7/2=3,5", true},
      {"2147483647+1=-2147483648", true},  // 32-bit arithmetic wraps
      {"-2147483648-1=2147483647", true},
      {"65536*65536=0", true},
      {"2147483648=2147483648", true},  // beyond 32 bits: a floating constant
      {"1E3=1000", true},
      {"2,5E1=25", true},
      {"1e-2=0,01", true},
      {"-5<0", true},
      {"3-5=-2", true},
      {"'a'+'b'='ab'", true},
      {"'it''s'='it'+''''+'s'", true},
      {"SUBSTRING('abc', 0, 2)=''", true},
      {"SUBSTRING('abc', -1, 2)=''", true},
      {"SUBSTRING('abc', 2, -1)=''", true},
      {"SUBSTRING('abc', 4, 1)=''", true},
      {"SUBSTRING('abc', 3, 1)='c'", true},
      {"SUBSTRING('abc', 2, 5)='bc'", true},
      {"substring ('abc', 1, 0)=''", true},
      {"TRIM('  a b  ')='a b'", true},
      {"TRIMLEFT('  a  ')='a  '", true},
      {"TRIMRIGHT('  a  ')='  a'", true},
      {"LOWER('AbC')='abc'", true},
      {"UPPER('иван')='иван'", true},
      {"UPPER('ivan')='IVAN'", true},
      {"''=''", true},
      {"'a'<'b'", true},
      {"true<>false", true},
      {"TRUE=tRuE", true},
      {"NOT false", true},
      {"YEAR(GETDATE())>=2024", true},
      {"'1/2/2005'<'1/3/2005'", true},  // two texts compare as texts
      {"'b'>'a' AND 1<2 AND (false OR true)", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    try {
      const Records expected = c.expected ? kAll : Records{};
      EXPECT_EQ(Select(c.filter, c.options), expected);
    } catch (const EDatabaseError& e) {
      ADD_FAILURE() << Cp1251ToUtf8(e.what());
    }
  }
}

TEST_F(FilterTest, TextConstantsCountTheirFirst256Characters) {
  const std::string x300(300, 'x'), x256(256, 'x'), x255(255, 'x');
  EXPECT_EQ(Select("'" + x300 + "'='" + x256 + "'"), kAll);
  EXPECT_EQ(Select("'" + x300 + "'='" + x255 + "'"), Records{});
  // A quote written as '' counts as one character.
  const std::string quotes(300, '\'');
  EXPECT_EQ(Select("'" + quotes + quotes + "'='" + std::string(256 * 2, '\'') + "'"), kAll);
}

TEST_F(FilterTest, ParseErrors) {
  struct Case {
    const char* filter;
    const char* message;
  };
  const Case cases[] = {
      {"slugebnoe=1", "Type mismatch in expression"},
      {"slugebnoe>false", "Type mismatch in expression"},
      {"slugebnoe<=true", "Type mismatch in expression"},
      {"tip='0'", "Type mismatch in expression"},
      {"tip IN ()", "IN predicate list may not be empty"},
      {"tip=1=1", "Filter expression incorrectly terminated"},
      {"tip=1 tip=2", "Filter expression incorrectly terminated"},
      {"-tip=1", "'-' is not a valid floating point value"},
      {"SUBSTRING(naim, tip, 3)='a'", "Type mismatch in expression"},
      {"SUBSTRING(naim, 1+1, 3)='a'", "Type mismatch in expression"},
      {"SUBSTRING(naim, 1, 3,0)='a'", "Type mismatch in expression"},
      {"SUBSTRING(naim, 1)='a'", "Type mismatch in expression"},
      {"UPPER(naim,", "')' expected but nothing found"},
      {"UPPER(naim", "')' expected but nothing found"},
      {"UPPER(", "')' expected but nothing found"},
      {"UPPER(naim x)='A'", "')' or ',' expected but 'x' found"},
      {"UPPER()='A'", "Type mismatch in expression"},
      {"UPPER(tip)='A'", "Type mismatch in expression"},
      {"UPPER(naim, naim)='A'", "Type mismatch in expression"},
      {"tip", "Type mismatch in expression"},  // a whole filter must be a condition
      {"naim", "Type mismatch in expression"},
      {"1", "Type mismatch in expression"},
      {"tip IN 1", "'(' expected but '1' found"},
      {"tip IN", "'(' expected but nothing found"},
      {"tip IN (1 2)", "')' or ',' expected but '2' found"},
      {"tip IN (1,", "')' expected but nothing found"},
      {"tip IN (1, 'a')", "Type mismatch in expression"},
      {"slugebnoe IN (true, 1)", "Type mismatch in expression"},
      {"naim IN ('a', 1)", "Type mismatch in expression"},
      {"(tip=1", "')' expected but nothing found"},
      {"(tip=1 OR", "Expression expected but nothing found"},
      {"(tip=1 naim", "')' expected but 'naim' found"},
      {"tip=", "Expression expected but nothing found"},
      {"tip=)", "Expression expected but ')' found"},
      {"tip=1 AND", "Expression expected but nothing found"},
      {"tip=,", "Expression expected but ',' found"},
      {"", "Expression expected but nothing found"},
      {"   /* only a comment */ ", "Expression expected but nothing found"},
      {"/*a*/ /*b*/ tip=1", "Expression expected but '/' found"},
      {"nosuch=1", "Field 'nosuch' not found"},
      {"[no such]=1", "Field 'no such' not found"},
      {"Сумма=1", "Field 'С' not found"},  // Cyrillic names need brackets
      {"NOT NOT slugebnoe", "Field 'NOT' not found"},
      {"getdate=1", "Field 'getdate' not found"},
      {"tip=1 #", "Invalid filter expression character: '#'"},
      {"tip=1.5", "Invalid filter expression character: '.'"},
      {"tip!=1", "Invalid filter expression character: '!'"},
      {"naim='abc", "Unterminated string constant"},
      {"naim='abc''", "Unterminated string constant"},
      {"[naim='a'", "Unterminated field name"},
      {"/* abc tip=1", "Invalid filter expression character: '/'"},
      {"/* a*b */ tip=1", "Invalid filter expression character: '*'"},
      {"tip=1,5,5", "'1,5,5' is not a valid floating point value"},
      {"tip=1E", "'1E' is not a valid floating point value"},
      {"tip=1E999", "'1E999' is not a valid floating point value"},
      {"DatePlat=1", "Type mismatch in expression"},
      {"DatePlat='abc'", "Type mismatch in expression"},
      {"DatePlat='10:00'", "'10:00' is not a valid date"},
      {"vremya='01/31/2005'", "'01/31/2005' is not a valid time"},
      {"moment='10:00'", "'10:00' is not a valid date and time"},
      {"DatePlat>='31/01/2005'", "Type mismatch in expression"},  // neither scanner reads it here
      {"DatePlat='02/30/2005'", "Type mismatch in expression"},
      {"vremya='25:00'", "Type mismatch in expression"},
      {"vremya='13:00 PM'", "Type mismatch in expression"},
      // A difference is a number, no longer a date.
      {"DatePlat-1='01/29/2005'", "Type mismatch in expression"},
      {"moment-1='01/30/2005 12:00'", "Type mismatch in expression"},
      // Date and time pairs without a defined result.
      {"DatePlat=vremya", "Type mismatch in expression"},
      {"vremya=moment", "Type mismatch in expression"},
      {"moment IN (vremya)", "Type mismatch in expression"},
      {"DatePlat-vremya=0", "Type mismatch in expression"},
      {"DatePlat-moment=0", "Type mismatch in expression"},
      {"vremya-DatePlat=0", "Type mismatch in expression"},
      {"vremya-moment=0", "Type mismatch in expression"},
      {"moment-DatePlat=0", "Type mismatch in expression"},
      {"'01/31/2005'-DatePlat=0", "Type mismatch in expression"},
      {"DatePlat+DatePlat=0", "Type mismatch in expression"},
      {"DatePlat*2=0", "Type mismatch in expression"},
      {"1+DatePlat=0", "Type mismatch in expression"},
      {"naim-naim='a'", "Type mismatch in expression"},
      {"naim*2='a'", "Type mismatch in expression"},
      {"tip+naim='a'", "Type mismatch in expression"},
      {"slugebnoe+1=1", "Type mismatch in expression"},
      {"naim LIKE 1", "Type mismatch in expression"},
      {"tip LIKE 'a'", "Type mismatch in expression"},
      {"NOT tip", "Type mismatch in expression"},
      {"tip AND slugebnoe", "Type mismatch in expression"},
      {"slugebnoe OR 'a'", "Type mismatch in expression"},
      {"YEAR('01/01/2005')=2005", "Type mismatch in expression"},
      {"YEAR(vremya)=1", "Type mismatch in expression"},
      {"HOUR(DatePlat)=1", "Type mismatch in expression"},
      {"GETDATE(1)>DatePlat", "Type mismatch in expression"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    EXPECT_EQ(ErrorOf(c.filter), c.message);
  }
}

TEST_F(FilterTest, NestingIsBounded) {
  const int deep = kMaxFilterNesting + 5;
  EXPECT_EQ(ErrorOf(std::string(deep, '(') + "tip=0" + std::string(deep, ')')),
            "Filter expression nested too deeply");
  std::string chain = "tip";
  for (int i = 0; i < kMaxFilterTreeDepth + 5; ++i) chain += "+tip";
  EXPECT_EQ(ErrorOf(chain + "=0"), "Filter expression nested too deeply");
  // Well within the bounds, both shapes work.
  EXPECT_EQ(Select(std::string(20, '(') + "tip=0" + std::string(20, ')')), (Records{0, 3}));
  std::string ors = "tip=9";
  for (int i = 0; i < 300; ++i) ors += " OR tip=9";
  EXPECT_EQ(Select(ors + " OR tip=1"), Records{1});
}

TEST_F(FilterTest, EvaluationErrors) {
  EXPECT_EQ(ErrorOf("tip/0=1"), "Floating point division by zero");
  EXPECT_EQ(ErrorOf("summa/(tip-tip)>0"), "Floating point division by zero");
  s_.SetInt(2, "DatePlat", 0);
  EXPECT_EQ(ErrorOf("YEAR(DatePlat)=2005"), "'0.0' is not a valid timestamp");
  s_.SetInt(2, "vremya", 90000000);
  EXPECT_EQ(ErrorOf("HOUR(vremya)=1"), "'0.90000000' is not a valid timestamp");
  s_.SetDouble(2, "moment", -86400000.0 - 5);
  EXPECT_EQ(ErrorOf("DAY(moment)=1"), "'-1.-5' is not a valid timestamp");
}

TEST_F(FilterTest, AndOrSkipTheirRightOperand) {
  TFilterParser parser(s_);
  parser.Parse("tip=0 OR tip/0=1");
  s_.Load(0);
  EXPECT_TRUE(parser.Evaluate(0));
  s_.Load(1);
  EXPECT_THROW(parser.Evaluate(0), EDatabaseError);
  parser.Parse("tip<>0 AND tip/0=1");
  s_.Load(0);
  EXPECT_FALSE(parser.Evaluate(0));
  s_.Load(1);
  EXPECT_THROW(parser.Evaluate(0), EDatabaseError);
}

TEST_F(FilterTest, FieldsBindOnceAfterEachParseAndBlobsAreReadEveryTime) {
  TFilterParser parser(s_);
  parser.Parse("tip=0 AND naim<>'x' OR memo='memo'");
  for (int i = 0; i < s_.RecordCount(); ++i) {
    s_.Load(i);
    parser.Evaluate(foCaseInsensitive);
  }
  EXPECT_EQ(s_.pointer_requests, 2);  // tip and naim, at the first evaluation
  EXPECT_EQ(s_.blob_reads, 3);        // memo wherever tip=0 AND naim<>'x' fails
  EXPECT_EQ(parser.last_options(), foCaseInsensitive);
  parser.Parse("tip=0");
  s_.Load(0);
  EXPECT_TRUE(parser.Evaluate(0));
  EXPECT_EQ(s_.pointer_requests, 3);
}

TEST_F(FilterTest, AFailedParseLeavesNoTree) {
  TFilterParser parser(s_);
  parser.Parse("tip=0");
  EXPECT_TRUE(parser.HasExpression());
  EXPECT_THROW(parser.Parse("tip="), EDatabaseError);
  EXPECT_FALSE(parser.HasExpression());
  EXPECT_EQ(parser.nodes().head(), nullptr);
  EXPECT_THROW(parser.Evaluate(0), EDatabaseError);
}

TEST_F(FilterTest, NoRecordBufferIsAnError) {
  TFilterParser parser(s_);
  parser.Parse("tip=0");
  s_.has_buffer = false;
  EXPECT_THROW(parser.Evaluate(0), EDatabaseError);
}

TEST_F(FilterTest, GetDateIsTheMomentOfTheParse) {
  TFilterParser parser(s_);
  const double before = NowStamp();
  parser.Parse("GETDATE()>moment");
  const double after = NowStamp();
  const TExprNode* now = nullptr;
  for (const TExprNode* n = parser.nodes().head(); n; n = n->next())
    if (n->function == TExprFunction::kGetDate) now = n;
  ASSERT_NE(now, nullptr);
  EXPECT_EQ(now->kind, TExprNodeKind::kConstant);
  EXPECT_EQ(now->data_type, ftDateTime);
  EXPECT_GE(now->DoubleValue(), before);
  EXPECT_LE(now->DoubleValue(), after);
}

TEST_F(FilterTest, ALongChainOfBlobConcatenationsStaysLinear) {
  // Were each link to keep its own partial text, 900 links over a 10 000
  // character memo would hold some 4 GB.
  s_.SetText(0, "memo", std::string(10000, 'a') + "b");
  std::string chain = "memo";
  for (int i = 0; i < 900; ++i) chain += "+memo";
  EXPECT_EQ(Select("(" + chain + ") LIKE '%b'"), Records{0});
}

TEST_F(FilterTest, ALongLikePatternFinishes) {
  // Each "%" could try every split of the text; the matcher must not.
  s_.SetText(0, "memo", std::string(20000, 'a'));
  std::string pattern;
  for (int i = 0; i < 120; ++i) pattern += "%a";
  EXPECT_EQ(Select("memo LIKE '" + pattern + "%b'"), Records{});
  EXPECT_EQ(Select("memo LIKE '" + pattern + "%'"), Records{0});
}

}  // namespace
}  // namespace tdb
