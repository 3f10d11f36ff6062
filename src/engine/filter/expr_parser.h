// The frame of an expression parser: it owns the node tree, runs a parse from
// the first token to the end of the text, and evaluates the tree.  The
// language itself (tokens, grammar, names) is supplied by a derived parser.
//
// The parser owns its TExprNodes; a parse replaces the previous tree, and a
// parse that raises leaves no tree.  One thread at a time.
#pragma once

#include <optional>
#include <string_view>

#include "engine/filter/expr_node.h"
#include "engine/filter/filter_source.h"
#include "engine/filter/syntax_parser.h"

namespace tdb {

class TExprParserBase : public TSyntaxParserBase {
 public:
  TExprParserBase() : nodes_(this) {}

  // Parses `text` into a new tree.  Raises EDatabaseError with the language's
  // message on any error; the previous tree is gone either way.
  void Parse(std::string_view text);

  // Evaluates the tree with `options` and returns the root's value.
  // REQUIRES: a successful Parse.  Raises EDatabaseError for an evaluation
  // error (division by zero, an invalid date, a field without a buffer).
  bool Evaluate(TFilterOptions options);

  // True after a successful Parse.
  bool HasExpression() const { return nodes_.root != nullptr; }

  // The options of the last evaluation.
  TFilterOptions last_options() const { return options_; }

  const TExprNodes& nodes() const { return nodes_; }

 protected:
  // Parses one expression starting at the current token and returns its node.
  virtual TExprNode* ParseExpression() = 0;
  // The field of that name, or nothing.
  virtual std::optional<TFilterFieldInfo> GetFieldDataType(std::string_view name) const = 0;
  // Makes a field node's value readable in the buffer in use (binds it, or
  // reads a blob's text).
  virtual void GetFieldValue(TExprNode& field) = 0;
  // The result type of a function of that name, ftUnknown when the type rules
  // decide it.
  virtual TFieldType GetFunctionDataType(std::string_view name) const = 0;
  virtual bool IsFunctionName(std::string_view /*name*/) const { return false; }
  // Raises "Filter expression incorrectly terminated" unless at the end.
  virtual void CheckEnd();
  // Checks the finished tree as a whole; nothing here.
  virtual void CheckRoot(TExprNode& /*root*/) {}

  TExprNodes nodes_;            // owns the tree
  TFilterOptions options_ = 0;  // of the last evaluation
};

}  // namespace tdb
