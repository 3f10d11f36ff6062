// Translation of a filter tree into an SQL condition with parameters.
#include "server/server_filter.h"

#include <optional>

#include "engine/base/codepage.h"
#include "engine/compare/value_compare.h"
#include "engine/filter/like_match.h"
#include "server/server_schema.h"

namespace server {
namespace {

using tdb::TExprFunction;
using tdb::TExprNode;
using tdb::TExprNodeKind;
using tdb::TExprOperator;
using tdb::TTypeClass;

class Translator {
 public:
  Translator(const std::vector<receipts::FieldSchema>& fields, tdb::TFilterOptions options, SqlFilter& out)
      : fields_(fields), options_(options), out_(out) {}

  // The condition, or nothing when the node has no translation.
  std::optional<std::string> Condition(const TExprNode& node) {
    if (node.kind == TExprNodeKind::kField || node.kind == TExprNodeKind::kConstant) {
      if (node.data_type != tdb::ftBoolean) return std::nullopt;
      return Operand(node);
    }
    if (node.kind != TExprNodeKind::kOperator) return std::nullopt;
    switch (node.op) {
      case TExprOperator::kAnd:
      case TExprOperator::kOr: {
        auto l = Condition(*node.left);
        if (!l) return std::nullopt;
        auto r = Condition(*node.right);
        if (!r) return std::nullopt;
        return "(" + *l + (node.op == TExprOperator::kAnd ? " AND " : " OR ") + *r + ")";
      }
      case TExprOperator::kNot: {
        auto l = Condition(*node.left);
        if (!l) return std::nullopt;
        return "(NOT " + *l + ")";
      }
      case TExprOperator::kEqual:
      case TExprOperator::kNotEqual:
      case TExprOperator::kLess:
      case TExprOperator::kGreater:
      case TExprOperator::kLessOrEqual:
      case TExprOperator::kGreaterOrEqual: return Relation(node.op, *node.left, *node.right);
      case TExprOperator::kLike: return Like(node);
      case TExprOperator::kIn: return In(node);
      default: return std::nullopt;
    }
  }

 private:
  bool CaseInsensitive() const { return (options_ & tdb::foCaseInsensitive) != 0; }

  std::string Param(std::string value, const char* cast) {
    out_.params.emplace_back(std::move(value));
    return "$" + std::to_string(out_.params.size()) + "::" + cast;
  }

  // A value: a field, a constant or a function of them.
  std::optional<std::string> Operand(const TExprNode& node) {
    switch (node.kind) {
      case TExprNodeKind::kField: {
        if (node.is_blob || node.field_index < 0 || node.field_index >= static_cast<int>(fields_.size()))
          return std::nullopt;
        const receipts::FieldSchema& f = fields_[static_cast<size_t>(node.field_index)];
        if (f.type == tdb::ftDateTime) return std::nullopt;
        return SqlName(f.name);
      }
      case TExprNodeKind::kConstant: return Constant(node, node.text);
      case TExprNodeKind::kFunction: return Function(node);
      default: return std::nullopt;
    }
  }

  std::optional<std::string> Constant(const TExprNode& node, const std::string& text) {
    switch (tdb::TypeClassOf(node.data_type)) {
      case TTypeClass::kText: return Param(tdb::Cp1251ToUtf8(text), "text");
      case TTypeClass::kBoolean: return Param(node.BooleanValue() ? "true" : "false", "boolean");
      case TTypeClass::kNumeric:
        if (node.data_type == tdb::ftFloat || node.data_type == tdb::ftCurrency) return std::nullopt;
        return Param(std::to_string(node.IntegerValue()), "bigint");
      case TTypeClass::kDateTime:
        if (node.data_type != tdb::ftDate) return std::nullopt;
        return "(DATE '0001-01-01' + (" + Param(std::to_string(node.Int32Value()), "integer") + " - 1))";
      default: return std::nullopt;
    }
  }

  std::optional<std::string> Function(const TExprNode& node) {
    if (node.arguments.size() != 1) return std::nullopt;
    const TExprNode& arg = *node.arguments[0];
    switch (node.function) {
      case TExprFunction::kUpper:
      case TExprFunction::kLower: {
        if (tdb::TypeClassOf(arg.data_type) != TTypeClass::kText) return std::nullopt;
        auto a = Operand(arg);
        if (!a) return std::nullopt;
        return std::string(node.function == TExprFunction::kUpper ? "upper(" : "lower(") + *a + ")";
      }
      case TExprFunction::kYear:
      case TExprFunction::kMonth:
      case TExprFunction::kDay: {
        if (arg.data_type != tdb::ftDate) return std::nullopt;
        auto a = Operand(arg);
        if (!a) return std::nullopt;
        const char* part = node.function == TExprFunction::kYear ? "year"
                           : node.function == TExprFunction::kMonth ? "month"
                                                                     : "day";
        return std::string("CAST(extract(") + part + " FROM " + *a + ") AS bigint)";
      }
      default: return std::nullopt;
    }
  }

  static const char* Sql(TExprOperator op) {
    switch (op) {
      case TExprOperator::kEqual: return " = ";
      case TExprOperator::kNotEqual: return " <> ";
      case TExprOperator::kLess: return " < ";
      case TExprOperator::kGreater: return " > ";
      case TExprOperator::kLessOrEqual: return " <= ";
      default: return " >= ";
    }
  }

  // Numbers compare as integers here (float constants stay with the program),
  // dates as dates, booleans as booleans; texts by the collation.
  std::optional<std::string> Relation(TExprOperator op, const TExprNode& left, const TExprNode& right) {
    const TTypeClass lc = tdb::TypeClassOf(left.data_type);
    const TTypeClass rc = tdb::TypeClassOf(right.data_type);
    if (lc == TTypeClass::kNone || lc != rc) return std::nullopt;
    if (lc == TTypeClass::kNumeric) {
      const bool lf = left.data_type == tdb::ftFloat || left.data_type == tdb::ftCurrency;
      const bool rf = right.data_type == tdb::ftFloat || right.data_type == tdb::ftCurrency;
      if (lf || rf) return FloatRelation(op, left, right);
    }
    if (lc == TTypeClass::kDateTime && (left.data_type != tdb::ftDate || right.data_type != tdb::ftDate))
      return std::nullopt;
    if (lc == TTypeClass::kBoolean && op != TExprOperator::kEqual && op != TExprOperator::kNotEqual)
      return std::nullopt;
    if (lc != TTypeClass::kText) {
      auto l = Operand(left);
      auto r = Operand(right);
      if (!l || !r) return std::nullopt;
      return "(" + *l + Sql(op) + *r + ")";
    }
    // Texts: a "*" in the right constant makes the compare a prefix compare.
    std::ptrdiff_t partial = (options_ & tdb::foNoPartialCompare) ? -1 : right.partial_length;
    std::optional<std::string> l = Operand(left);
    std::optional<std::string> r;
    if (partial >= 0 && right.kind == TExprNodeKind::kConstant)
      r = Constant(right, right.text.substr(0, static_cast<size_t>(partial)));
    else if (partial >= 0)
      return std::nullopt;
    else
      r = Operand(right);
    if (!l || !r) return std::nullopt;
    if (partial >= 0) l = "left(" + *l + ", " + std::to_string(partial) + ")";
    if (CaseInsensitive()) {
      l = "lower(" + *l + ")";
      r = "lower(" + *r + ")";
    }
    return "(" + *l + " COLLATE \"und-x-icu\"" + Sql(op) + *r + ")";
  }

  // A float or currency relation: both sides as double precision.
  std::optional<std::string> FloatRelation(TExprOperator op, const TExprNode& left, const TExprNode& right) {
    auto side = [&](const TExprNode& n) -> std::optional<std::string> {
      if (n.kind == TExprNodeKind::kConstant) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", n.NumberValue());
        return Param(buf, "double precision");
      }
      auto o = Operand(n);
      if (!o) return std::nullopt;
      return "CAST(" + *o + " AS double precision)";
    };
    auto l = side(left);
    auto r = side(right);
    if (!l || !r) return std::nullopt;
    return "(" + *l + Sql(op) + *r + ")";
  }

  std::optional<std::string> Like(const TExprNode& node) {
    const TExprNode& pattern = *node.right;
    if (tdb::TypeClassOf(node.left->data_type) != TTypeClass::kText || pattern.kind != TExprNodeKind::kConstant)
      return std::nullopt;
    // "%%" and a "%" that is not last behave apart from SQL on an exhausted
    // text; such patterns stay with the program.
    if (pattern.text.find("%%") != std::string::npos) return std::nullopt;
    auto l = Operand(*node.left);
    if (!l) return std::nullopt;
    if (!CaseInsensitive()) return "(" + *l + " LIKE " + Param(tdb::Cp1251ToUtf8(pattern.text), "text") + " ESCAPE '')";
    // Letter case is folded as the language folds it, by its own table of
    // letters: the pattern here, the text on the server by translate().
    // upper(), lower() and ILIKE would fold by the server's locale, which
    // may fold other letters or none beyond a-z.
    const tdb::TLikeCase folding =
        (options_ & tdb::foLikeFoldsEveryLetter) != 0 ? tdb::TLikeCase::kAllLetters : tdb::TLikeCase::kLatin;
    std::string folded = pattern.text.substr(0, pattern.text.find('\0'));
    for (char& c : folded) c = static_cast<char>(tdb::LikeFold(static_cast<unsigned char>(c), folding));
    return "(" + Folded(*l, folded, folding) + " LIKE " + Param(tdb::Cp1251ToUtf8(folded), "text") + " ESCAPE '')";
  }

  // `expr` with the small letters of the capitals in `pattern` (folded)
  // turned into them.  The text's other letters may stay as they are: none
  // of them folds onto a letter of the pattern, so they match only "_" and
  // "%" either way; and a short list keeps translate() cheap on each row.
  static std::string Folded(const std::string& expr, const std::string& pattern, tdb::TLikeCase folding) {
    bool in_pattern[256] = {};
    for (char c : pattern) in_pattern[static_cast<unsigned char>(c)] = true;
    std::string small, capital;
    for (int c = 1; c < 256; ++c) {
      const unsigned char to = tdb::LikeFold(static_cast<unsigned char>(c), folding);
      if (to == c || !in_pattern[to]) continue;
      small += static_cast<char>(c);
      capital += static_cast<char>(to);
    }
    if (small.empty()) return expr;
    // Letters only: nothing in them needs quoting.
    return "translate(" + expr + ", '" + tdb::Cp1251ToUtf8(small) + "', '" + tdb::Cp1251ToUtf8(capital) + "')";
  }

  std::optional<std::string> In(const TExprNode& node) {
    auto l = Operand(*node.left);
    if (!l) return std::nullopt;
    std::string out;
    for (const TExprNode* value : node.arguments) {
      auto c = Relation(TExprOperator::kEqual, *node.left, *value);
      if (!c) return std::nullopt;
      out += (out.empty() ? "" : " OR ") + *c;
    }
    if (out.empty()) return "false";
    return "(" + out + ")";
  }

  const std::vector<receipts::FieldSchema>& fields_;
  tdb::TFilterOptions options_;
  SqlFilter& out_;
};

// Collects the conditions of an AND chain.
void Conjuncts(const TExprNode* node, std::vector<const TExprNode*>& out) {
  if (node->kind == TExprNodeKind::kOperator && node->op == TExprOperator::kAnd) {
    Conjuncts(node->left, out);
    Conjuncts(node->right, out);
  } else {
    out.push_back(node);
  }
}

}  // namespace

SqlFilter TranslateFilter(const tdb::TExprNode* root, const std::vector<receipts::FieldSchema>& fields,
                          tdb::TFilterOptions options) {
  SqlFilter out;
  if (!root) return out;
  std::vector<const TExprNode*> parts;
  Conjuncts(root, parts);
  std::string where;
  for (const TExprNode* part : parts) {
    SqlFilter attempt;
    attempt.params = out.params;
    Translator t(fields, options, attempt);
    std::optional<std::string> c = t.Condition(*part);
    if (!c) {
      out.residual = true;
      continue;
    }
    out.params = std::move(attempt.params);
    where += (where.empty() ? "" : " AND ") + *c;
  }
  out.where = where;
  return out;
}

}  // namespace server
