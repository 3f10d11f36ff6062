// Evaluation of a checked expression tree on the record in the buffer in
// use: operands before their operator, AND and OR short-circuited, results
// stored in each node in the encoding of its type.
//
// The evaluator borrows the tree for one evaluation; field nodes are made
// readable through the loader the parser passes in.  Recursion follows the
// tree, whose height the parser bounds.
#pragma once

#include <functional>

#include "engine/filter/expr_node.h"
#include "engine/filter/filter_source.h"
#include "engine/filter/like_match.h"

namespace tdb {

class TExprEvaluator {
 public:
  using TFieldLoader = std::function<void(TExprNode&)>;

  TExprEvaluator(TFilterOptions options, TFieldLoader load_field)
      : options_(options), load_field_(std::move(load_field)) {}

  // Evaluates the tree under `root` and answers whether the record passes:
  // the boolean value, or for another type whether the value's first byte is
  // not zero.  Raises EDatabaseError for evaluation errors.
  bool EvaluateCondition(TExprNode& root);

  // Evaluates the subtree under `node`; the value is left in the node.
  void Evaluate(TExprNode& node);

 private:
  void EvaluateOperator(TExprNode& node);
  void EvaluateFunction(TExprNode& node);
  bool Relation(TExprOperator op, const TExprNode& left, const TExprNode& right) const;
  TLikeCase LikeFolding() const;
  void Arithmetic(TExprNode& node);
  void DateArithmetic(TExprNode& node);

  TFilterOptions options_;
  TFieldLoader load_field_;
};

}  // namespace tdb
