// The tree a filter expression is parsed into: one TExprNode per field
// reference, constant, function call or operator, all owned by one TExprNodes.
//
// TExprNodes owns every node created since the last Clear through a singly
// linked list (each node owns the one created before it); tree links (left,
// right, arguments) are plain pointers into that list and never own.  Clearing
// frees the list without recursion, whatever the shape of the tree.
//
// A node holds its value in the in-memory encoding of its data type: scalar
// values little-endian in `scalar`, texts of any length in `text`.  A field
// node instead points into the record buffer of its dataset once bound.
// Nodes are used from the thread of their parser only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compare/value_compare.h"
#include "engine/format/field_types.h"

namespace tdb {

class TExprNodes;
class TExprParserBase;

enum class TExprNodeKind { kField, kConstant, kFunction, kOperator };

enum class TExprOperator {
  kNone,
  kOr,
  kAnd,
  kNot,
  kEqual,
  kNotEqual,
  kLess,
  kGreater,
  kLessOrEqual,
  kGreaterOrEqual,
  kLike,
  kIn,
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
};

enum class TExprFunction {
  kNone,
  kUpper,
  kLower,
  kSubstring,
  kTrim,
  kTrimLeft,
  kTrimRight,
  kYear,
  kMonth,
  kDay,
  kHour,
  kMinute,
  kSecond,
  kGetDate,
};

class TExprNode {
 public:
  TExprNode(TExprNodes* owner, TExprNodeKind kind) : owner(owner), kind(kind) {}
  TExprNode(const TExprNode&) = delete;
  TExprNode& operator=(const TExprNode&) = delete;

  // The node created before this one in the owner's list; null for the first.
  TExprNode* next() const { return next_.get(); }

  // The node's current value for the value comparison.  REQUIRES: a field
  // node has been bound (or is a blob node whose text has been read).
  TFieldValue Value() const;

  // The value read as the class its data type belongs to.  REQUIRES: the
  // data type is of that class and the value is present.
  std::string_view Text() const;
  int64_t IntegerValue() const;  // ftSmallint ftWord ftInteger ftAutoInc ftLargeint
  double NumberValue() const;    // any numeric type, as a double
  bool BooleanValue() const;     // any non-zero 16-bit value is true
  int32_t Int32Value() const;    // ftDate, ftTime
  double DoubleValue() const;    // ftDateTime, ftFloat, ftCurrency

  // Store a result or constant in the encoding of `data_type`.
  void SetInt32(int32_t value);
  void SetInt64(int64_t value);
  void SetDouble(double value);
  void SetBoolean(bool value);
  void SetText(std::string value) { text = std::move(value); }

  TExprNodes* const owner;
  const TExprNodeKind kind;
  TExprOperator op = TExprOperator::kNone;
  TExprFunction function = TExprFunction::kNone;
  std::string name;                // field or function name as written
  TFieldType data_type = ftUnknown;
  TExprNode* left = nullptr;       // operands; NOT and IN have only `left`
  TExprNode* right = nullptr;
  std::vector<TExprNode*> arguments;  // a function's arguments or an IN list

  // Field nodes.
  bool is_blob = false;
  int field_index = -1;
  int32_t field_size = 0;              // declared size of a string field
  const uint8_t* field_data = nullptr; // bound at the first evaluation after a parse

  // Position of the first "*" of a text constant; -1 for none and for every
  // other node.
  std::ptrdiff_t partial_length = -1;

  // Height of the subtree under this node, 1 for a leaf; the parser bounds it
  // so that evaluation cannot run out of stack.
  int depth = 1;

  std::string text;                    // text values (also a blob field's text)
  std::array<uint8_t, 8> scalar{};     // non-text values, little-endian

 private:
  friend class TExprNodes;
  std::unique_ptr<TExprNode> next_;    // owns the node created before this one
};

class TExprNodes {
 public:
  explicit TExprNodes(TExprParserBase* parser) : parser_(parser) {}
  ~TExprNodes() { Clear(); }
  TExprNodes(const TExprNodes&) = delete;
  TExprNodes& operator=(const TExprNodes&) = delete;

  // A new node, owned by this list until Clear.
  TExprNode* NewNode(TExprNodeKind kind);

  // Frees every node; `root` becomes null.
  void Clear();

  TExprParserBase* parser() const { return parser_; }
  TExprNode* head() const { return head_.get(); }

  TExprNode* root = nullptr;  // the tree's root, a node of this list

 private:
  TExprParserBase* const parser_;     // the parser that owns this list
  std::unique_ptr<TExprNode> head_;   // the node created last
};

// True for ftString, ftFixedChar and the blob types read as text.
bool IsTextType(TFieldType type);
bool IsNumericType(TFieldType type);
bool IsDateTimeType(TFieldType type);

}  // namespace tdb
