// Operand checks and result types of operators and functions.
#include "engine/filter/filter_type_rules.h"

#include "engine/base/database_error.h"
#include "engine/filter/filter_date_text.h"

namespace tdb {
namespace {

[[noreturn]] void Mismatch() { DatabaseError("Type mismatch in expression"); }

void Require(bool condition) {
  if (!condition) Mismatch();
}

bool IsBoolean(const TExprNode& n) { return n.data_type == ftBoolean; }

bool IsTextConstant(const TExprNode& n) { return n.kind == TExprNodeKind::kConstant && n.data_type == ftString; }

bool IsDateTextConstant(const TExprNode& n) { return IsTextConstant(n) && ReadsAsDateTime(n.Text()); }

// Pairs of date and time types whose comparison means something.
bool ComparableDateTypes(TFieldType a, TFieldType b) {
  if (a == b) return true;
  return (a == ftDate && b == ftDateTime) || (a == ftDateTime && b == ftDate);
}

// Turns a date text constant into a constant of the date or time type.
void ConvertDateText(TExprNode& n, TFieldType type) {
  const std::string text(n.Text());
  switch (type) {
    case ftDate: n.SetInt32(DateTextToDate(text)); break;
    case ftTime: n.SetInt32(TimeTextToTime(text)); break;
    default: n.SetDouble(DateTimeTextToStamp(text)); break;
  }
  n.data_type = type;
  n.partial_length = -1;
  n.text.clear();
}

// A date or time operand on the right of a date or time left operand:
// either a value of a comparable type or a date text made into one.
void MatchDateOperand(TFieldType left_type, TExprNode& right) {
  if (IsDateTimeType(right.data_type)) {
    Require(ComparableDateTypes(left_type, right.data_type));
  } else if (IsDateTextConstant(right)) {
    ConvertDateText(right, left_type);
  } else {
    Mismatch();
  }
}

void RelationRules(TExprNode& node) {
  TExprNode& l = *node.left;
  TExprNode& r = *node.right;
  switch (TypeClassOf(l.data_type)) {
    case TTypeClass::kNumeric: Require(IsNumericType(r.data_type)); break;
    case TTypeClass::kDateTime: MatchDateOperand(l.data_type, r); break;
    case TTypeClass::kText:
      if (IsTextType(r.data_type)) break;
      Require(IsDateTimeType(r.data_type) && IsDateTextConstant(l));
      ConvertDateText(l, r.data_type);
      break;
    case TTypeClass::kBoolean:
      Require(IsBoolean(r) && (node.op == TExprOperator::kEqual || node.op == TExprOperator::kNotEqual));
      break;
    case TTypeClass::kNone: Mismatch();
  }
  node.data_type = ftBoolean;
}

void InRules(TExprNode& node) {
  const TFieldType left_type = node.left->data_type;
  const TTypeClass cls = TypeClassOf(left_type);
  Require(cls != TTypeClass::kNone);
  for (TExprNode* value : node.arguments) {
    if (cls == TTypeClass::kDateTime)
      MatchDateOperand(left_type, *value);
    else
      Require(TypeClassOf(value->data_type) == cls);
  }
  node.data_type = ftBoolean;
}

int NumericRank(TFieldType t) {
  switch (t) {
    case ftSmallint: return 0;
    case ftWord: return 1;
    case ftInteger:
    case ftAutoInc: return 2;
    case ftLargeint: return 3;
    case ftFloat: return 4;
    default: return 5;  // ftCurrency
  }
}

// Subtraction from a date or time value.
TFieldType DateDifferenceType(TFieldType left, TFieldType right) {
  const bool number = IsNumericType(right);
  switch (left) {
    case ftDate: Require(number || right == ftDate); return ftInteger;
    case ftTime: Require(number || right == ftTime); return ftInteger;
    default: Require(number || right == ftTime || right == ftDateTime); return ftFloat;
  }
}

void ArithmeticRules(TExprNode& node) {
  TExprNode& l = *node.left;
  TExprNode& r = *node.right;
  const bool subtract = node.op == TExprOperator::kSubtract;
  if (IsNumericType(l.data_type) && IsNumericType(r.data_type)) {
    if (node.op == TExprOperator::kDivide) {
      node.data_type = ftFloat;
      return;
    }
    TFieldType t = NumericRank(r.data_type) > NumericRank(l.data_type) ? r.data_type : l.data_type;
    if (t == ftSmallint || t == ftWord) t = ftInteger;
    node.data_type = t;
  } else if (IsTextType(l.data_type) && IsTextType(r.data_type)) {
    Require(node.op == TExprOperator::kAdd);
    node.data_type = ftString;
  } else if (IsDateTimeType(l.data_type)) {
    if (node.op == TExprOperator::kAdd) {
      Require(IsNumericType(r.data_type));
      node.data_type = l.data_type;
      return;
    }
    Require(subtract);
    if (IsDateTextConstant(r)) ConvertDateText(r, l.data_type);
    node.data_type = DateDifferenceType(l.data_type, r.data_type);
  } else {
    Require(subtract && IsDateTimeType(r.data_type) && IsDateTextConstant(l));
    ConvertDateText(l, ftDateTime);
    node.data_type = DateDifferenceType(ftDateTime, r.data_type);
  }
}

bool IsIntegerConstant(const TExprNode& n) {
  if (n.kind != TExprNodeKind::kConstant) return false;
  return n.data_type == ftSmallint || n.data_type == ftInteger || n.data_type == ftWord || n.data_type == ftAutoInc;
}

}  // namespace

void ApplyOperatorTypeRules(TExprNode& node) {
  switch (node.op) {
    case TExprOperator::kOr:
    case TExprOperator::kAnd:
      Require(IsBoolean(*node.left) && IsBoolean(*node.right));
      node.data_type = ftBoolean;
      return;
    case TExprOperator::kNot:
      Require(IsBoolean(*node.left));
      node.data_type = ftBoolean;
      return;
    case TExprOperator::kEqual:
    case TExprOperator::kNotEqual:
    case TExprOperator::kLess:
    case TExprOperator::kGreater:
    case TExprOperator::kLessOrEqual:
    case TExprOperator::kGreaterOrEqual: return RelationRules(node);
    case TExprOperator::kLike:
      Require(IsTextType(node.left->data_type) && IsTextType(node.right->data_type));
      node.data_type = ftBoolean;
      return;
    case TExprOperator::kIn: return InRules(node);
    case TExprOperator::kAdd:
    case TExprOperator::kSubtract:
    case TExprOperator::kMultiply:
    case TExprOperator::kDivide: return ArithmeticRules(node);
    case TExprOperator::kNone: break;
  }
  Mismatch();
}

void ApplyFunctionTypeRules(TExprNode& node) {
  const auto& args = node.arguments;
  const auto one_of = [&](TFieldType a, TFieldType b) {
    return args.size() == 1 && (args[0]->data_type == a || args[0]->data_type == b);
  };
  switch (node.function) {
    case TExprFunction::kUpper:
    case TExprFunction::kLower:
    case TExprFunction::kTrim:
    case TExprFunction::kTrimLeft:
    case TExprFunction::kTrimRight:
      Require(args.size() == 1 && IsTextType(args[0]->data_type));
      node.data_type = ftString;
      return;
    case TExprFunction::kSubstring:
      Require(args.size() == 3 && IsTextType(args[0]->data_type) && IsIntegerConstant(*args[1]) &&
              IsIntegerConstant(*args[2]));
      node.data_type = ftString;
      return;
    case TExprFunction::kYear:
    case TExprFunction::kMonth:
    case TExprFunction::kDay:
      Require(one_of(ftDate, ftDateTime));
      node.data_type = ftInteger;
      return;
    case TExprFunction::kHour:
    case TExprFunction::kMinute:
    case TExprFunction::kSecond:
      Require(one_of(ftTime, ftDateTime));
      node.data_type = ftInteger;
      return;
    case TExprFunction::kGetDate:
      Require(args.empty());
      node.data_type = ftDateTime;
      return;
    case TExprFunction::kNone: break;
  }
  Mismatch();
}

}  // namespace tdb
