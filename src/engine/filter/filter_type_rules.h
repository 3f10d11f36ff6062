// The type rules of the filter language: which operand types each operator
// and function accepts and what type its result has.  Text constants that
// read as dates or times are converted here, once, where a date or time is
// wanted.
//
// Date and time pairs whose result the language leaves undefined (ftDate
// with ftTime and ftTime with ftDateTime in relations; ftDate - ftTime,
// ftDate - ftDateTime, ftTime - ftDate, ftTime - ftDateTime and
// ftDateTime - ftDate) are refused like any other mismatch.
//
// Stateless; called by the parser as each node is built.
#pragma once

#include "engine/filter/expr_node.h"

namespace tdb {

// Checks an operator node whose operands are linked, sets its result type,
// and converts date text operands.  Raises EDatabaseError "Type mismatch in
// expression", or a conversion error for a date text that the conversion to
// the wanted type refuses.
void ApplyOperatorTypeRules(TExprNode& node);

// Checks a function node's arguments and sets its result type.  Raises
// "Type mismatch in expression".
void ApplyFunctionTypeRules(TExprNode& node);

}  // namespace tdb
