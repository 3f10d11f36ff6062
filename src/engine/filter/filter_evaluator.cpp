// The evaluation of every kind of node: relations through the typed value
// comparison, LIKE, IN, arithmetic (integers wrap, dates and times by their
// own rules) and the functions.
#include "engine/filter/filter_evaluator.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "engine/base/database_error.h"
#include "engine/filter/like_match.h"
#include "engine/locale/date_time.h"

namespace tdb {
namespace {

// Doubles truncated towards zero, saturating instead of overflowing; NaN
// counts as 0.
int64_t TruncToInt64(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
  if (value <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(value);
}

bool IsFloatType(TFieldType t) { return t == ftFloat || t == ftCurrency; }

// A numeric operand as a whole number: integers exactly, doubles truncated.
int64_t WholeNumber(const TExprNode& node) {
  return IsFloatType(node.data_type) ? TruncToInt64(node.NumberValue()) : node.IntegerValue();
}

// A numeric operand as a number of whole days or milliseconds, in doubles.
double WholeNumberAsDouble(const TExprNode& node) {
  return IsFloatType(node.data_type) ? std::trunc(node.NumberValue()) : static_cast<double>(node.IntegerValue());
}

// 32-bit integer arithmetic that wraps; done in unsigned so that it is
// defined.
int32_t Wrap32(uint32_t value) { return static_cast<int32_t>(value); }
uint32_t U32(int64_t value) { return static_cast<uint32_t>(static_cast<uint64_t>(value)); }

std::string AsciiCase(std::string_view text, bool upper) {
  std::string out(text);
  for (char& c : out) {
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Text held by a node only until its parent has used it: results and blob
// texts, which every evaluation makes anew.  Constants keep theirs.
bool IsRecomputedText(const TExprNode& node) {
  return node.kind == TExprNodeKind::kOperator || node.kind == TExprNodeKind::kFunction ||
         (node.kind == TExprNodeKind::kField && node.is_blob);
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view TrimText(std::string_view text, bool leading, bool trailing) {
  if (leading)
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  if (trailing)
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The platform's refusal of a time stamp, with its day number and
// milliseconds.
[[noreturn]] void InvalidTimeStamp(int64_t date, int64_t time) {
  DatabaseError(Format("'%s.%s' is not a valid timestamp", {std::to_string(date), std::to_string(time)}));
}

// Day number and milliseconds of an ftDateTime encoding as far as they can be
// told, for the message about an invalid one.
[[noreturn]] void InvalidStamp(double encoded) {
  if (!std::isfinite(encoded)) InvalidTimeStamp(0, 0);
  const double date = std::trunc(encoded / kMillisecondsPerDay);
  InvalidTimeStamp(TruncToInt64(date), TruncToInt64(encoded - date * kMillisecondsPerDay));
}

TDateParts DateOf(const TExprNode& arg) {
  if (arg.data_type == ftDate) {
    const int32_t day = arg.Int32Value();
    if (auto parts = DecodeDate(day)) return *parts;
    InvalidTimeStamp(day, 0);
  }
  const double encoded = arg.DoubleValue();
  if (auto stamp = DoubleToStamp(encoded))
    if (auto parts = DecodeDate(stamp->date)) return *parts;
  InvalidStamp(encoded);
}

TTimeParts TimeOf(const TExprNode& arg) {
  if (arg.data_type == ftTime) {
    const int32_t ms = arg.Int32Value();
    if (auto parts = DecodeTime(ms)) return *parts;
    // A time alone belongs to no day.
    InvalidTimeStamp(0, ms);
  }
  const double encoded = arg.DoubleValue();
  if (auto stamp = DoubleToStamp(encoded))
    if (auto parts = DecodeTime(stamp->time)) return *parts;
  InvalidStamp(encoded);
}

}  // namespace

bool TExprEvaluator::EvaluateCondition(TExprNode& root) {
  Evaluate(root);
  if (root.data_type == ftBoolean) return root.BooleanValue();
  const TFieldValue v = root.Value();
  return static_cast<const uint8_t*>(v.data)[0] != 0;
}

void TExprEvaluator::Evaluate(TExprNode& node) {
  switch (node.kind) {
    case TExprNodeKind::kField: load_field_(node); return;
    case TExprNodeKind::kConstant: return;
    case TExprNodeKind::kFunction: EvaluateFunction(node); return;
    case TExprNodeKind::kOperator: EvaluateOperator(node); return;
  }
}

TLikeCase TExprEvaluator::LikeFolding() const {
  if ((options_ & foCaseInsensitive) == 0) return TLikeCase::kExact;
  return (options_ & foLikeFoldsEveryLetter) != 0 ? TLikeCase::kAllLetters : TLikeCase::kLatin;
}

bool TExprEvaluator::Relation(TExprOperator op, const TExprNode& left, const TExprNode& right) const {
  TCompareOptions compare;
  compare.case_insensitive = (options_ & foCaseInsensitive) != 0;
  compare.partial_allowed = (options_ & foNoPartialCompare) == 0;
  compare.partial_length = right.partial_length;
  TRelation relation = TRelation::kEqual;
  switch (op) {
    case TExprOperator::kNotEqual: relation = TRelation::kNotEqual; break;
    case TExprOperator::kLess: relation = TRelation::kLess; break;
    case TExprOperator::kGreater: relation = TRelation::kGreater; break;
    case TExprOperator::kLessOrEqual: relation = TRelation::kLessOrEqual; break;
    case TExprOperator::kGreaterOrEqual: relation = TRelation::kGreaterOrEqual; break;
    default: break;
  }
  return TestRelation(relation, left.Value(), right.Value(), compare);
}

void TExprEvaluator::EvaluateOperator(TExprNode& node) {
  TExprNode& left = *node.left;
  switch (node.op) {
    case TExprOperator::kOr:
      Evaluate(left);
      if (left.BooleanValue()) return node.SetBoolean(true);
      Evaluate(*node.right);
      return node.SetBoolean(node.right->BooleanValue());
    case TExprOperator::kAnd:
      Evaluate(left);
      if (!left.BooleanValue()) return node.SetBoolean(false);
      Evaluate(*node.right);
      return node.SetBoolean(node.right->BooleanValue());
    case TExprOperator::kNot:
      Evaluate(left);
      return node.SetBoolean(!left.BooleanValue());
    case TExprOperator::kEqual:
    case TExprOperator::kNotEqual:
    case TExprOperator::kLess:
    case TExprOperator::kGreater:
    case TExprOperator::kLessOrEqual:
    case TExprOperator::kGreaterOrEqual:
      Evaluate(left);
      Evaluate(*node.right);
      return node.SetBoolean(Relation(node.op, left, *node.right));
    case TExprOperator::kLike:
      Evaluate(left);
      Evaluate(*node.right);
      return node.SetBoolean(LikeMatch(left.Text(), node.right->Text(), LikeFolding()));
    case TExprOperator::kIn: {
      Evaluate(left);
      for (TExprNode* value : node.arguments) Evaluate(*value);
      bool found = false;
      for (const TExprNode* value : node.arguments) {
        if (Relation(TExprOperator::kEqual, left, *value)) {
          found = true;
          break;
        }
      }
      return node.SetBoolean(found);
    }
    case TExprOperator::kAdd:
    case TExprOperator::kSubtract:
    case TExprOperator::kMultiply:
    case TExprOperator::kDivide:
      Evaluate(left);
      Evaluate(*node.right);
      if (IsDateTimeType(left.data_type)) return DateArithmetic(node);
      return Arithmetic(node);
    case TExprOperator::kNone: break;
  }
  DatabaseError("Invalid filter expression operator");
}

void TExprEvaluator::Arithmetic(TExprNode& node) {
  TExprNode& l = *node.left;
  TExprNode& r = *node.right;
  if (IsTextType(node.data_type)) {
    // Operand texts that the next evaluation computes again are taken over
    // or dropped, so that a long chain of "+" holds its text once, not once
    // per link.
    std::string joined;
    if (IsRecomputedText(l)) {
      joined = std::move(l.text);
      if (const size_t nul = joined.find('\0'); nul != std::string::npos) joined.resize(nul);
    } else {
      joined.assign(l.Text());
    }
    joined += r.Text();
    if (IsRecomputedText(r)) std::string().swap(r.text);
    return node.SetText(std::move(joined));
  }
  if (node.op == TExprOperator::kDivide) {
    const double divisor = r.NumberValue();
    if (divisor == 0) DatabaseError("Floating point division by zero");
    return node.SetDouble(l.NumberValue() / divisor);
  }
  if (IsFloatType(node.data_type)) {
    const double a = l.NumberValue(), b = r.NumberValue();
    switch (node.op) {
      case TExprOperator::kAdd: return node.SetDouble(a + b);
      case TExprOperator::kSubtract: return node.SetDouble(a - b);
      default: return node.SetDouble(a * b);
    }
  }
  if (node.data_type == ftLargeint) {
    const uint64_t a = static_cast<uint64_t>(l.IntegerValue()), b = static_cast<uint64_t>(r.IntegerValue());
    switch (node.op) {
      case TExprOperator::kAdd: return node.SetInt64(static_cast<int64_t>(a + b));
      case TExprOperator::kSubtract: return node.SetInt64(static_cast<int64_t>(a - b));
      default: return node.SetInt64(static_cast<int64_t>(a * b));
    }
  }
  const uint32_t a = U32(l.IntegerValue()), b = U32(r.IntegerValue());
  switch (node.op) {
    case TExprOperator::kAdd: return node.SetInt32(Wrap32(a + b));
    case TExprOperator::kSubtract: return node.SetInt32(Wrap32(a - b));
    default: return node.SetInt32(Wrap32(a * b));
  }
}

// The pairs reaching here are those the type rules let through: ftDate and
// ftTime with a number or their own type, ftDateTime with a number, ftTime
// or ftDateTime.
void TExprEvaluator::DateArithmetic(TExprNode& node) {
  const TExprNode& l = *node.left;
  const TExprNode& r = *node.right;
  const bool add = node.op == TExprOperator::kAdd;
  if (l.data_type == ftDate || l.data_type == ftTime) {
    const uint32_t a = U32(l.Int32Value());
    const uint32_t b = IsNumericType(r.data_type) ? U32(WholeNumber(r)) : U32(r.Int32Value());
    return node.SetInt32(Wrap32(add ? a + b : a - b));
  }
  const double stamp = l.DoubleValue();
  if (IsNumericType(r.data_type)) {
    const double shift = WholeNumberAsDouble(r) * kMillisecondsPerDay;
    return node.SetDouble(add ? stamp + shift : stamp - shift);
  }
  if (r.data_type == ftTime) return node.SetDouble(stamp - r.Int32Value());
  return node.SetDouble(stamp - r.DoubleValue());
}

void TExprEvaluator::EvaluateFunction(TExprNode& node) {
  for (TExprNode* arg : node.arguments) Evaluate(*arg);
  const TExprNode* arg = node.arguments.empty() ? nullptr : node.arguments[0];
  switch (node.function) {
    case TExprFunction::kUpper: return node.SetText(AsciiCase(arg->Text(), true));
    case TExprFunction::kLower: return node.SetText(AsciiCase(arg->Text(), false));
    case TExprFunction::kTrim: return node.SetText(std::string(TrimText(arg->Text(), true, true)));
    case TExprFunction::kTrimLeft: return node.SetText(std::string(TrimText(arg->Text(), true, false)));
    case TExprFunction::kTrimRight: return node.SetText(std::string(TrimText(arg->Text(), false, true)));
    case TExprFunction::kSubstring: {
      const std::string_view text = arg->Text();
      const int64_t start = node.arguments[1]->IntegerValue();
      const int64_t count = node.arguments[2]->IntegerValue();
      // A start before the first character or a negative count gives nothing.
      if (start < 1 || count < 0 || static_cast<uint64_t>(start) > text.size()) return node.SetText(std::string());
      return node.SetText(std::string(text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(count))));
    }
    case TExprFunction::kYear: return node.SetInt32(DateOf(*arg).year);
    case TExprFunction::kMonth: return node.SetInt32(DateOf(*arg).month);
    case TExprFunction::kDay: return node.SetInt32(DateOf(*arg).day);
    case TExprFunction::kHour: return node.SetInt32(TimeOf(*arg).hour);
    case TExprFunction::kMinute: return node.SetInt32(TimeOf(*arg).minute);
    case TExprFunction::kSecond: return node.SetInt32(TimeOf(*arg).second);
    case TExprFunction::kGetDate:  // a constant since the parse
    case TExprFunction::kNone: break;
  }
}

}  // namespace tdb
