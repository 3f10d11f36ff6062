// tdb locate: finds a record by the values of key fields through the
// dataset's Locate and prints it in the dump format.
#include <ostream>

#include "engine/base/codepage.h"
#include "engine/dataset/field.h"
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
  TToolArgs a = ParseToolArgs(args, {"--ci", "--partial", "--index", "--password"}, 4);
  const std::vector<std::string> field_names = SplitAtSemicolons(a.words[2]);
  const std::vector<std::string> texts = SplitAtSemicolons(a.words[3]);
  if (texts.size() != field_names.size()) throw TUsageError{"locate needs as many VALUES as FIELDS, separated by \";\""};
  TToolTable tool(a.words[0], a.words[1], a, true);
  tdb::TDadaTable& table = tool.Table();
  // Each value takes its key field's type: in dump's form directly, else
  // through the field's own text conversion.  A name no field bears is left
  // for Locate to report.
  std::vector<tdb::TVariant> values;
  for (size_t i = 0; i < texts.size(); ++i) {
    const tdb::TField* field = table.FindField(tdb::Utf8ToCp1251(field_names[i]));
    values.push_back(field ? VariantFromText(*field, texts[i]) : tdb::TVariant(tdb::Utf8ToCp1251(texts[i])));
  }
  tdb::TLocateOptions options = 0;
  if (a.ci) options |= tdb::loCaseInsensitive;
  if (a.partial) options |= tdb::loPartialKey;
  const std::string fields = tdb::Utf8ToCp1251(a.words[2]);
  bool found = InUtf8([&] { return table.Locate(fields, values, options); });
  if (!found) return 1;
  out << RecordToJson(table) << "\n";
  return 0;
}

}  // namespace tdbtool
