// tdb locate: finds a record by the values of key fields through the
// dataset's Locate and prints it in the dump format.
#include <ostream>

#include "engine/base/codepage.h"
#include "engine/dataset/variant.h"
#include "tdb/record_json.h"
#include "tdb/table_commands.h"

namespace tdbtool {
namespace {

// The ";"-separated parts of `text`; an empty text is one empty part.
std::vector<std::string> SplitAtSemicolons(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(';', start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

int LocateCommand(const std::vector<std::string>& args, std::ostream& out) {
  const std::string usage = "locate needs FILE TABLE FIELDS VALUES [--ci] [--partial] [--index NAME] [--password P]";
  TToolArgs a = ParseToolArgs(args, usage, {"--ci", "--partial", "--index", "--password"}, 4);
  std::string fields = tdb::Utf8ToCp1251(a.words[2]);
  std::vector<tdb::TVariant> values;
  // Given as text, each value takes its key field's type through the field's
  // own conversion (decimal comma, dd.MM.yyyy dates).
  for (const std::string& v : SplitAtSemicolons(a.words[3])) values.emplace_back(tdb::Utf8ToCp1251(v));
  if (values.size() != SplitAtSemicolons(a.words[2]).size())
    throw TUsageError{"locate needs as many VALUES as FIELDS, separated by \";\""};
  TToolTable tool(a.words[0], a.words[1], a, true);
  tdb::TDadaTable& table = tool.Table();
  tdb::TLocateOptions options = 0;
  if (a.ci) options |= tdb::loCaseInsensitive;
  if (a.partial) options |= tdb::loPartialKey;
  bool found = InUtf8([&] { return table.Locate(fields, values, options); });
  if (!found) return 1;
  out << RecordToJson(table) << "\n";
  return 0;
}

}  // namespace tdbtool
