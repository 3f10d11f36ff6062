// Turns the JSON form of a schema into the creator's schema.
#include "tdb/schema_json.h"

#include <cmath>
#include <initializer_list>

#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/format/field_types.h"
#include "tdb/json.h"

namespace tdbtool {
namespace {

[[noreturn]] void Invalid(const std::string& what) { tdb::DatabaseError("Invalid schema: " + what); }

void OnlyMembers(const JsonValue& v, std::string_view where, std::initializer_list<std::string_view> allowed) {
  for (const auto& [name, value] : v.members) {
    bool known = false;
    for (std::string_view a : allowed) known = known || a == name;
    if (!known) Invalid("unknown member \"" + name + "\" in " + std::string(where));
  }
}

const JsonValue& Require(const JsonValue& v, std::string_view key, JsonValue::Kind kind, std::string_view where) {
  const JsonValue* m = v.Find(key);
  if (!m || m->kind != kind) Invalid(std::string(where) + " needs \"" + std::string(key) + "\" of the right kind");
  return *m;
}

std::string Name(const JsonValue& v, std::string_view where) {
  const std::string& utf8 = Require(v, "name", JsonValue::kString, where).text;
  std::string cp1251 = tdb::Utf8ToCp1251(utf8);
  if (tdb::Cp1251ToUtf8(cp1251) != utf8) Invalid("name \"" + utf8 + "\" has characters outside Windows-1251");
  return cp1251;
}

int64_t Integer(const JsonValue& v, std::string_view key, int64_t fallback, int64_t lo, int64_t hi) {
  const JsonValue* m = v.Find(key);
  if (!m) return fallback;
  if (m->kind != JsonValue::kNumber || m->number != std::floor(m->number) || m->number < static_cast<double>(lo) ||
      m->number > static_cast<double>(hi))
    Invalid("\"" + std::string(key) + "\" must be a whole number from " + std::to_string(lo) + " to " +
            std::to_string(hi));
  return static_cast<int64_t>(m->number);
}

int FieldType(const JsonValue& field) {
  const JsonValue* t = field.Find("type");
  if (t && t->kind == JsonValue::kString) {
    auto type = tdb::FieldTypeFromName(t->text);
    if (!type) Invalid("unknown field type \"" + t->text + "\"");
    return *type;
  }
  if (t && t->kind == JsonValue::kNumber) return static_cast<int>(Integer(field, "type", 0, 0, 255));
  Invalid("a field needs a \"type\"");
}

receipts::IndexSchema Index(const JsonValue& v) {
  if (v.kind != JsonValue::kObject) Invalid("an index must be an object");
  OnlyMembers(v, "an index", {"name", "fields", "options"});
  receipts::IndexSchema index;
  index.name = Name(v, "an index");
  for (const JsonValue& f : Require(v, "fields", JsonValue::kArray, "an index").items) {
    if (f.kind != JsonValue::kString) Invalid("index fields are names");
    index.fields.push_back(tdb::Utf8ToCp1251(f.text));
  }
  if (const JsonValue* options = v.Find("options")) {
    if (options->kind != JsonValue::kArray) Invalid("index options are a list of names");
    for (const JsonValue& o : options->items) {
      auto option = o.kind == JsonValue::kString ? tdb::IndexOptionFromName(o.text) : std::nullopt;
      if (!option) Invalid("unknown index option");
      index.options = tdb::WithIndexOption(index.options, *option);
    }
  }
  return index;
}

receipts::TableSchema Table(const JsonValue& v) {
  if (v.kind != JsonValue::kObject) Invalid("a table must be an object");
  OnlyMembers(v, "a table", {"name", "fields", "indexes"});
  receipts::TableSchema table;
  table.name = Name(v, "a table");
  for (const JsonValue& f : Require(v, "fields", JsonValue::kArray, "a table").items) {
    if (f.kind != JsonValue::kObject) Invalid("a field must be an object");
    OnlyMembers(f, "a field", {"name", "type", "size", "process_mode"});
    receipts::FieldSchema field;
    field.name = Name(f, "a field");
    field.type = FieldType(f);
    field.size = static_cast<int32_t>(Integer(f, "size", 0, 0, INT32_MAX));
    field.process_mode = static_cast<uint8_t>(Integer(f, "process_mode", 0, 0, 255));
    table.fields.push_back(std::move(field));
  }
  if (const JsonValue* indexes = v.Find("indexes")) {
    if (indexes->kind != JsonValue::kArray) Invalid("\"indexes\" must be a list");
    for (const JsonValue& x : indexes->items) table.indexes.push_back(Index(x));
  }
  return table;
}

}  // namespace

receipts::DatabaseSchema SchemaFromJson(std::string_view json_text) {
  JsonValue root = ParseJson(json_text);
  if (root.kind != JsonValue::kObject) Invalid("the schema must be an object");
  OnlyMembers(root, "the schema", {"tables"});
  receipts::DatabaseSchema schema;
  for (const JsonValue& t : Require(root, "tables", JsonValue::kArray, "the schema").items)
    schema.tables.push_back(Table(t));
  return schema;
}

}  // namespace tdbtool
