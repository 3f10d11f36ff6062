// The filter language's tokens and grammar, and the binding of its field
// references to the dataset.
#include "engine/filter/filter_parser.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "engine/base/database_error.h"
#include "engine/filter/filter_type_rules.h"
#include "engine/locale/date_time.h"
#include "engine/locale/format_settings.h"

namespace tdb {
namespace {

// Only the first 256 characters of a text constant count.
constexpr size_t kMaxTextConstant = 256;

struct TFunctionName {
  std::string_view name;
  TExprFunction function;
};

constexpr TFunctionName kFunctions[] = {
    {"UPPER", TExprFunction::kUpper},   {"LOWER", TExprFunction::kLower},
    {"SUBSTRING", TExprFunction::kSubstring}, {"TRIM", TExprFunction::kTrim},
    {"TRIMLEFT", TExprFunction::kTrimLeft},   {"TRIMRIGHT", TExprFunction::kTrimRight},
    {"YEAR", TExprFunction::kYear},     {"MONTH", TExprFunction::kMonth},
    {"DAY", TExprFunction::kDay},       {"HOUR", TExprFunction::kHour},
    {"MINUTE", TExprFunction::kMinute}, {"SECOND", TExprFunction::kSecond},
    {"GETDATE", TExprFunction::kGetDate},
};

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Keywords and function names are compared without regard to ASCII case.
bool SameAsciiText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

TExprFunction FunctionOf(std::string_view name) {
  for (const TFunctionName& f : kFunctions)
    if (SameAsciiText(f.name, name)) return f.function;
  return TExprFunction::kNone;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsNameStart(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return IsAsciiLetter(c) || c == '_' || (u >= 129 && u <= 254);
}

bool IsNameChar(char c) { return IsAsciiLetter(c) || IsDigit(c) || c == '_' || c == '.' || c == '[' || c == ']'; }

// A number text as a 32-bit integer: an optional "-" and digits only.
std::optional<int32_t> TextToInt32(std::string_view text) {
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) return std::nullopt;
  return static_cast<int32_t>(value);
}

// A number text as a double: an optional "-", digits with at most one
// decimal separator (at least one digit), and an optional exponent.
std::optional<double> TextToDouble(std::string_view text, char separator) {
  std::string normal;
  size_t i = 0;
  if (i < text.size() && text[i] == '-') normal += text[i++];
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) normal += text[i++], ++digits;
  if (i < text.size() && text[i] == separator) {
    normal += '.';
    ++i;
    while (i < text.size() && IsDigit(text[i])) normal += text[i++], ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    normal += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal += text[i++];
    size_t exponent_digits = 0;
    while (i < text.size() && IsDigit(text[i])) normal += text[i++], ++exponent_digits;
    if (exponent_digits == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  if (error != std::errc() || end != normal.data() + normal.size()) return std::nullopt;
  return value;
}

// Counts the expressions being parsed one inside another.
class TNestingGuard {
 public:
  explicit TNestingGuard(int& nesting) : nesting_(nesting) {
    if (++nesting_ > kMaxFilterNesting) {
      --nesting_;
      DatabaseError("Filter expression nested too deeply");
    }
  }
  ~TNestingGuard() { --nesting_; }
  TNestingGuard(const TNestingGuard&) = delete;
  TNestingGuard& operator=(const TNestingGuard&) = delete;

 private:
  int& nesting_;
};

}  // namespace

// ---- Tokens ----

bool TFilterParser::MinusIsOperator() const {
  switch (previous_kind_) {
    case TTokenKind::kName:
    case TTokenKind::kBracketName:
    case TTokenKind::kNumber:
    case TTokenKind::kText:
    case TTokenKind::kRParen: return true;
    default: return false;
  }
}

size_t TFilterParser::ReadToken(size_t position) {
  token_text_.clear();
  if (position >= source_.size()) {
    token_kind_ = TTokenKind::kEnd;
    return position;
  }
  const char c = source_[position];
  if (IsNameStart(c)) {
    size_t end = position + 1;
    while (end < source_.size() && IsNameChar(source_[end])) ++end;
    token_text_ = source_.substr(position, end - position);
    token_kind_ = SameAsciiText(token_text_, "LIKE") ? TTokenKind::kLike
                  : SameAsciiText(token_text_, "IN") ? TTokenKind::kIn
                                                     : TTokenKind::kName;
    return end;
  }
  if (IsDigit(c) || (c == '-' && !MinusIsOperator())) return ReadNumber(position);
  if (c == '\'') return ReadText(position);
  if (c == '[') {
    const size_t close = source_.find(']', position + 1);
    if (close == std::string::npos) DatabaseError("Unterminated field name");
    token_text_ = source_.substr(position + 1, close - position - 1);
    token_kind_ = TTokenKind::kBracketName;
    return close + 1;
  }
  const char n = CharAt(position + 1);
  size_t length = 1;
  switch (c) {
    case '(': token_kind_ = TTokenKind::kLParen; break;
    case ')': token_kind_ = TTokenKind::kRParen; break;
    case ',': token_kind_ = TTokenKind::kComma; break;
    case '=': token_kind_ = TTokenKind::kEqual; break;
    case '+': token_kind_ = TTokenKind::kPlus; break;
    case '-': token_kind_ = TTokenKind::kMinus; break;
    case '*': token_kind_ = TTokenKind::kMultiply; break;
    case '/': token_kind_ = TTokenKind::kDivide; break;
    case '<':
      if (n == '>') token_kind_ = TTokenKind::kNotEqual, length = 2;
      else if (n == '=') token_kind_ = TTokenKind::kLessOrEqual, length = 2;
      else token_kind_ = TTokenKind::kLess;
      break;
    case '>':
      if (n == '=') token_kind_ = TTokenKind::kGreaterOrEqual, length = 2;
      else token_kind_ = TTokenKind::kGreater;
      break;
    default:
      DatabaseError(Format("Invalid filter expression character: '%s'", {std::string_view(&source_[position], 1)}));
  }
  token_text_ = source_.substr(position, length);
  return position + length;
}

size_t TFilterParser::ReadNumber(size_t position) {
  const char separator = CurrentFormatSettings()->decimal_separator;
  size_t end = position + 1;
  while (end < source_.size()) {
    const char c = source_[end];
    const bool sign_of_exponent = (c == '+' || c == '-') && (source_[end - 1] == 'E' || source_[end - 1] == 'e');
    if (!(IsDigit(c) || c == 'E' || c == 'e' || c == separator || sign_of_exponent)) break;
    ++end;
  }
  // With "," as decimal separator, "IN (1, 2)" lists two numbers: a "," that
  // ends a number and is followed by a blank separates instead.
  if (separator == ',' && source_[end - 1] == ',' && end < source_.size() && IsBlankChar(source_[end])) --end;
  token_text_ = source_.substr(position, end - position);
  token_kind_ = TTokenKind::kNumber;
  return end;
}

size_t TFilterParser::ReadText(size_t position) {
  size_t i = position + 1;
  for (;;) {
    if (i >= source_.size()) DatabaseError("Unterminated string constant");
    const char c = source_[i++];
    if (c == '\'') {
      if (CharAt(i) != '\'') break;
      ++i;  // "''" stands for one quote
    }
    if (token_text_.size() < kMaxTextConstant) token_text_ += c;
  }
  token_kind_ = TTokenKind::kText;
  return i;
}

bool TFilterParser::TokenIsWord(std::string_view word) const {
  return token_kind_ == TTokenKind::kName && SameAsciiText(token_text_, word);
}

// ---- Grammar ----

TExprNode* TFilterParser::ParseExpression() {
  TNestingGuard guard(nesting_);
  TExprNode* left = ParseAndTerm();
  while (TokenIsWord("OR")) {
    NextToken();
    left = NewOperator(TExprOperator::kOr, left, ParseAndTerm());
  }
  return left;
}

TExprNode* TFilterParser::ParseAndTerm() {
  TExprNode* left = ParseNotTerm();
  while (TokenIsWord("AND")) {
    NextToken();
    left = NewOperator(TExprOperator::kAnd, left, ParseNotTerm());
  }
  return left;
}

TExprNode* TFilterParser::ParseNotTerm() {
  if (!TokenIsWord("NOT")) return ParseComparison();
  // A single NOT: in "NOT NOT x" the second one is a field name.
  NextToken();
  return NewOperator(TExprOperator::kNot, ParseComparison(), nullptr);
}

TExprNode* TFilterParser::ParseComparison() {
  TExprNode* left = ParseSum();
  TExprOperator op = TExprOperator::kNone;
  switch (token_kind_) {
    case TTokenKind::kEqual: op = TExprOperator::kEqual; break;
    case TTokenKind::kNotEqual: op = TExprOperator::kNotEqual; break;
    case TTokenKind::kLess: op = TExprOperator::kLess; break;
    case TTokenKind::kGreater: op = TExprOperator::kGreater; break;
    case TTokenKind::kLessOrEqual: op = TExprOperator::kLessOrEqual; break;
    case TTokenKind::kGreaterOrEqual: op = TExprOperator::kGreaterOrEqual; break;
    case TTokenKind::kLike: op = TExprOperator::kLike; break;
    case TTokenKind::kIn: {
      NextToken();
      if (token_kind_ != TTokenKind::kLParen)
        DatabaseError(Format("'(' expected but %s found", {TokenForMessage()}));
      TExprNode* node = nodes_.NewNode(TExprNodeKind::kOperator);
      node->op = TExprOperator::kIn;
      node->left = left;
      ParseList(node->arguments);
      if (node->arguments.empty()) DatabaseError("IN predicate list may not be empty");
      SetDepth(*node);
      ApplyOperatorTypeRules(*node);
      return node;
    }
    default: return left;
  }
  NextToken();
  return NewOperator(op, left, ParseSum());
}

TExprNode* TFilterParser::ParseSum() {
  TExprNode* left = ParseProduct();
  for (;;) {
    TExprOperator op = TExprOperator::kNone;
    if (token_kind_ == TTokenKind::kPlus) op = TExprOperator::kAdd;
    else if (token_kind_ == TTokenKind::kMinus) op = TExprOperator::kSubtract;
    else return left;
    NextToken();
    left = NewOperator(op, left, ParseProduct());
  }
}

TExprNode* TFilterParser::ParseProduct() {
  TExprNode* left = ParsePrimary();
  for (;;) {
    TExprOperator op = TExprOperator::kNone;
    if (token_kind_ == TTokenKind::kMultiply) op = TExprOperator::kMultiply;
    else if (token_kind_ == TTokenKind::kDivide) op = TExprOperator::kDivide;
    else return left;
    NextToken();
    left = NewOperator(op, left, ParsePrimary());
  }
}

TExprNode* TFilterParser::ParsePrimary() {
  TExprNode* node = nullptr;
  switch (token_kind_) {
    case TTokenKind::kName: {
      const std::string name = token_text_;
      if (IsFunctionName(name)) {
        size_t after = position_;
        while (after < source_.size() && IsBlankChar(source_[after])) ++after;
        if (CharAt(after) == '(' && after < source_.size()) return NewFunction(name);
      }
      if (TokenIsWord("True") || TokenIsWord("False")) {
        node = nodes_.NewNode(TExprNodeKind::kConstant);
        node->data_type = ftBoolean;
        node->SetBoolean(TokenIsWord("True"));
      } else {
        node = NewField(name);
      }
      break;
    }
    case TTokenKind::kBracketName: node = NewField(token_text_); break;
    case TTokenKind::kNumber: node = NewNumber(); break;
    case TTokenKind::kText: node = NewText(); break;
    case TTokenKind::kLParen: {
      NextToken();
      node = ParseExpression();
      if (token_kind_ != TTokenKind::kRParen)
        DatabaseError(Format("')' expected but %s found", {TokenForMessage()}));
      break;
    }
    default: DatabaseError(Format("Expression expected but %s found", {TokenForMessage()}));
  }
  NextToken();
  return node;
}

void TFilterParser::ParseList(std::vector<TExprNode*>& list) {
  NextToken();
  if (token_kind_ == TTokenKind::kRParen) {
    NextToken();
    return;
  }
  for (;;) {
    if (token_kind_ == TTokenKind::kEnd) DatabaseError(Format("')' expected but %s found", {TokenForMessage()}));
    list.push_back(ParseExpression());
    if (token_kind_ == TTokenKind::kComma) {
      NextToken();
    } else if (token_kind_ == TTokenKind::kRParen) {
      NextToken();
      return;
    } else if (token_kind_ == TTokenKind::kEnd) {
      DatabaseError(Format("')' expected but %s found", {TokenForMessage()}));
    } else {
      DatabaseError(Format("')' or ',' expected but %s found", {TokenForMessage()}));
    }
  }
}

// ---- Nodes ----

void TFilterParser::SetDepth(TExprNode& node) {
  int below = 0;
  if (node.left) below = std::max(below, node.left->depth);
  if (node.right) below = std::max(below, node.right->depth);
  for (const TExprNode* arg : node.arguments) below = std::max(below, arg->depth);
  node.depth = below + 1;
  if (node.depth > kMaxFilterTreeDepth) DatabaseError("Filter expression nested too deeply");
}

TExprNode* TFilterParser::NewOperator(TExprOperator op, TExprNode* left, TExprNode* right) {
  TExprNode* node = nodes_.NewNode(TExprNodeKind::kOperator);
  node->op = op;
  node->left = left;
  node->right = right;
  SetDepth(*node);
  ApplyOperatorTypeRules(*node);
  return node;
}

TExprNode* TFilterParser::NewField(const std::string& name) {
  const auto info = GetFieldDataType(name);
  if (!info) DatabaseError(Format("Field '%s' not found", {name}));
  TExprNode* node = nodes_.NewNode(TExprNodeKind::kField);
  node->name = name;
  node->data_type = info->type;
  node->field_index = info->index;
  node->field_size = info->size;
  node->is_blob = info->is_blob;
  return node;
}

TExprNode* TFilterParser::NewNumber() {
  TExprNode* node = nodes_.NewNode(TExprNodeKind::kConstant);
  if (const auto whole = TextToInt32(token_text_)) {
    node->data_type = ftInteger;
    node->SetInt32(*whole);
  } else if (const auto number = TextToDouble(token_text_, CurrentFormatSettings()->decimal_separator)) {
    node->data_type = ftFloat;
    node->SetDouble(*number);
  } else {
    DatabaseError(Format("'%s' is not a valid floating point value", {token_text_}));
  }
  return node;
}

TExprNode* TFilterParser::NewText() {
  TExprNode* node = nodes_.NewNode(TExprNodeKind::kConstant);
  node->data_type = ftString;
  node->text = token_text_;
  const size_t star = node->text.find('*');
  node->partial_length = star == std::string::npos ? -1 : static_cast<std::ptrdiff_t>(star);
  return node;
}

// The current token is the function's name, followed by "(".
TExprNode* TFilterParser::NewFunction(const std::string& name) {
  NextToken();
  std::vector<TExprNode*> arguments;
  ParseList(arguments);
  const TExprFunction function = FunctionOf(name);
  TExprNode* node = nullptr;
  if (function == TExprFunction::kGetDate) {
    // The moment of the parse, a constant from then on.
    if (!arguments.empty()) DatabaseError("Type mismatch in expression");
    node = nodes_.NewNode(TExprNodeKind::kConstant);
    node->SetDouble(NowStamp());
  } else {
    node = nodes_.NewNode(TExprNodeKind::kFunction);
    node->arguments = std::move(arguments);
    SetDepth(*node);
  }
  node->name = name;
  node->function = function;
  node->data_type = GetFunctionDataType(name);
  ApplyFunctionTypeRules(*node);
  return node;
}

// ---- Names and values ----

std::optional<TFilterFieldInfo> TFilterParser::GetFieldDataType(std::string_view name) const {
  return fields_.FindFilterField(name);
}

void TFilterParser::GetFieldValue(TExprNode& field) {
  if (field.is_blob) {
    field.text = fields_.BlobFieldText(field.field_index);
    return;
  }
  if (field.field_data != nullptr) return;
  field.field_data = fields_.FieldValuePointer(field.field_index);
  if (field.field_data == nullptr) DatabaseError(Format("Field '%s' has no record buffer", {field.name}));
}

TFieldType TFilterParser::GetFunctionDataType(std::string_view name) const {
  switch (FunctionOf(name)) {
    case TExprFunction::kYear:
    case TExprFunction::kMonth:
    case TExprFunction::kDay:
    case TExprFunction::kHour:
    case TExprFunction::kMinute:
    case TExprFunction::kSecond: return ftInteger;
    case TExprFunction::kGetDate: return ftDateTime;
    default: return ftUnknown;
  }
}

bool TFilterParser::IsFunctionName(std::string_view name) const { return FunctionOf(name) != TExprFunction::kNone; }

void TFilterParser::CheckRoot(TExprNode& root) {
  if (root.data_type != ftBoolean) DatabaseError("Type mismatch in expression");
}

}  // namespace tdb
