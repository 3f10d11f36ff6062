// The filter expression language of a table dataset: a filter text such as
// "slugebnoe=true" or "naim LIKE 'Упл%' AND tip IN (0, 2)" parsed into a tree
// of TExprNode and evaluated on the record in the dataset's buffer in use.
//
// The parser is bound at creation to the dataset's fields through a
// TFilterFieldSource, which must outlive it.  Parse replaces the tree; field
// nodes bind to the buffer in use at the first Evaluate after a parse, so the
// dataset parses again whenever it applies the filter.  Only a boolean
// expression is accepted as a whole filter.  One thread at a time.
#pragma once

#include <optional>
#include <string_view>

#include "engine/filter/expr_parser.h"
#include "engine/filter/filter_source.h"

namespace tdb {

// Bounds on hostile texts: how deeply parentheses, function calls and IN
// lists may nest, and how tall the tree may grow (a long chain of "+" or OR).
constexpr int kMaxFilterNesting = 100;
constexpr int kMaxFilterTreeDepth = 1000;

class TFilterParser : public TExprParserBase {
 public:
  explicit TFilterParser(const TFilterFieldSource& source) : fields_(source) {}

 protected:
  size_t ReadToken(size_t position) override;
  TExprNode* ParseExpression() override;
  std::optional<TFilterFieldInfo> GetFieldDataType(std::string_view name) const override;
  void GetFieldValue(TExprNode& field) override;
  TFieldType GetFunctionDataType(std::string_view name) const override;
  bool IsFunctionName(std::string_view name) const override;
  // The whole filter must be a condition.
  void CheckRoot(TExprNode& root) override;

 private:
  size_t ReadNumber(size_t position);
  size_t ReadText(size_t position);
  bool MinusIsOperator() const;

  TExprNode* ParseAndTerm();
  TExprNode* ParseNotTerm();
  TExprNode* ParseComparison();
  TExprNode* ParseSum();
  TExprNode* ParseProduct();
  TExprNode* ParsePrimary();
  // Reads "(" [ expression { "," expression } ] ")" into `list`; the current
  // token is the "(".
  void ParseList(std::vector<TExprNode*>& list);

  TExprNode* NewOperator(TExprOperator op, TExprNode* left, TExprNode* right);
  TExprNode* NewField(const std::string& name);
  TExprNode* NewNumber();
  TExprNode* NewText();
  TExprNode* NewFunction(const std::string& name);
  // Sets the node's height from its operands and refuses a tree too tall.
  void SetDepth(TExprNode& node);

  bool TokenIsWord(std::string_view word) const;

  const TFilterFieldSource& fields_;  // the dataset's fields; outlives the parser
  int nesting_ = 0;                   // expressions being parsed, one inside another
};

}  // namespace tdb
