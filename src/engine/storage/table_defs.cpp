// Name lookup of the definition collections.
#include "engine/storage/table_defs.h"

#include "engine/compare/collation.h"

namespace tdb {

bool SameDefName(std::string_view left, std::string_view right) { return SameTextIgnoringCase(left, right); }

}  // namespace tdb
