// The filter language on the server: a parsed filter expression turned into
// an SQL condition whose values all travel as parameters.
//
// What has a translation with the same meaning: fields; constants; AND, OR,
// NOT; the six relations between operands of one type class (texts by the
// columns' collation, a "*" in a text constant as a prefix compare, letter
// case ignored under foCaseInsensitive); LIKE ("%" and "_", no escape
// character; under foCaseInsensitive the letters the language folds, a-z or
// with foLikeFoldsEveryLetter every letter of Windows-1251, folded by a
// table of them, whatever the server's locale); IN with a list of
// constants; UPPER, LOWER, YEAR, MONTH, DAY.
// Everything else (arithmetic, SUBSTRING, TRIM, the time parts, GETDATE,
// relations across type classes, a LIKE pattern with "%%", whose matching
// differs) is left to the program: the dataset evaluates the whole filter on
// the rows the server sends.  At the top, the conditions of an AND are
// translated one by one, so that the server still narrows the rows by what
// it can.  Stateless.
#pragma once

#include <string>
#include <vector>

#include "data/database_creator.h"
#include "engine/filter/expr_node.h"
#include "engine/filter/filter_source.h"
#include "server/server_connection.h"

namespace server {

struct SqlFilter {
  std::string where;                // empty: no condition for the server
  std::vector<ServerParam> params;  // $1, $2, ... of `where`
  bool residual = false;            // the program must evaluate the filter on each row
};

// `fields` are the dataset's fields in the order of their indexes in the tree.
SqlFilter TranslateFilter(const tdb::TExprNode* root, const std::vector<receipts::FieldSchema>& fields,
                          tdb::TFilterOptions options);

}  // namespace server
