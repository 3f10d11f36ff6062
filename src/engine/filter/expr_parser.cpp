// The parse and evaluation frame common to expression parsers.
#include "engine/filter/expr_parser.h"

#include "engine/base/database_error.h"
#include "engine/filter/filter_evaluator.h"

namespace tdb {

void TExprParserBase::Parse(std::string_view text) {
  nodes_.Clear();
  try {
    SetSource(text);
    NextToken();
    TExprNode* root = ParseExpression();
    CheckEnd();
    CheckRoot(*root);
    nodes_.root = root;
  } catch (...) {
    nodes_.Clear();
    throw;
  }
}

void TExprParserBase::CheckEnd() {
  if (token_kind_ != TTokenKind::kEnd) DatabaseError("Filter expression incorrectly terminated");
}

bool TExprParserBase::Evaluate(TFilterOptions options) {
  if (nodes_.root == nullptr) DatabaseError("No filter expression to evaluate");
  options_ = options;
  TExprEvaluator evaluator(options, [this](TExprNode& field) { GetFieldValue(field); });
  return evaluator.EvaluateCondition(*nodes_.root);
}

}  // namespace tdb
