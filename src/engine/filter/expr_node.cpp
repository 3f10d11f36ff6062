// Expression nodes: their owning list and the reading and writing of their
// values in the field encodings.
#include "engine/filter/expr_node.h"

#include <cstring>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"

namespace tdb {

bool IsTextType(TFieldType type) { return TypeClassOf(type) == TTypeClass::kText; }
bool IsNumericType(TFieldType type) { return TypeClassOf(type) == TTypeClass::kNumeric; }
bool IsDateTimeType(TFieldType type) { return TypeClassOf(type) == TTypeClass::kDateTime; }

namespace {

// The bytes of a non-text value: the record buffer for a bound field, the
// node's own storage otherwise.
const uint8_t* ScalarBytes(const TExprNode& node) {
  if (node.kind == TExprNodeKind::kField) {
    if (node.field_data == nullptr) DatabaseError(Format("Field '%s' has no record buffer", {node.name}));
    return node.field_data;
  }
  return node.scalar.data();
}

bool ReadsFromRecord(const TExprNode& node) { return node.kind == TExprNodeKind::kField && !node.is_blob; }

}  // namespace

TFieldValue TExprNode::Value() const {
  if (IsTextType(data_type)) {
    if (ReadsFromRecord(*this)) {
      // A string field's slot holds its declared size plus the NUL.
      const std::ptrdiff_t slot = field_size >= 0 ? static_cast<std::ptrdiff_t>(field_size) + 1 : 1;
      return TFieldValue{ScalarBytes(*this), data_type, slot};
    }
    return TFieldValue{text.c_str(), data_type, static_cast<std::ptrdiff_t>(text.size())};
  }
  return TFieldValue{ScalarBytes(*this), data_type, -1};
}

std::string_view TExprNode::Text() const {
  if (ReadsFromRecord(*this)) {
    const TFieldValue v = Value();
    const char* p = static_cast<const char*>(v.data);
    return std::string_view(p, strnlen(p, static_cast<size_t>(v.text_length)));
  }
  // Texts end at their first NUL, as zero-terminated values do.
  const std::string_view all(text);
  return all.substr(0, all.find('\0'));
}

int64_t TExprNode::IntegerValue() const {
  const uint8_t* p = ScalarBytes(*this);
  switch (data_type) {
    case ftSmallint: return GetInt16LE(p);
    case ftWord: return GetUInt16LE(p);
    case ftLargeint: return GetInt64LE(p);
    default: return GetInt32LE(p);
  }
}

double TExprNode::NumberValue() const {
  if (data_type == ftFloat || data_type == ftCurrency) return GetDoubleLE(ScalarBytes(*this));
  return static_cast<double>(IntegerValue());
}

bool TExprNode::BooleanValue() const { return GetUInt16LE(ScalarBytes(*this)) != 0; }
int32_t TExprNode::Int32Value() const { return GetInt32LE(ScalarBytes(*this)); }
double TExprNode::DoubleValue() const { return GetDoubleLE(ScalarBytes(*this)); }

void TExprNode::SetInt32(int32_t value) {
  scalar.fill(0);
  PutInt32LE(scalar.data(), value);
}
void TExprNode::SetInt64(int64_t value) { PutInt64LE(scalar.data(), value); }
void TExprNode::SetDouble(double value) { PutDoubleLE(scalar.data(), value); }
void TExprNode::SetBoolean(bool value) {
  scalar.fill(0);
  scalar[0] = value ? 1 : 0;
}

TExprNode* TExprNodes::NewNode(TExprNodeKind kind) {
  auto node = std::make_unique<TExprNode>(this, kind);
  node->next_ = std::move(head_);
  head_ = std::move(node);
  return head_.get();
}

void TExprNodes::Clear() {
  root = nullptr;
  // Unlink before freeing so that no node's destructor frees a chain.
  while (head_) {
    std::unique_ptr<TExprNode> older = std::move(head_->next_);
    head_ = std::move(older);
  }
}

}  // namespace tdb
