// The rules of a Locate's key (locate_keys.h).
#include "engine/dataset/locate_keys.h"

#include "engine/dataset/dataset.h"
#include "engine/dataset/field.h"

namespace tdb {

std::vector<TField*> NamedFields(const TDataSet& dataset, const std::string& names) {
  std::vector<TField*> fields;
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string::npos) end = names.size();
    std::string name = names.substr(start, end - start);
    while (!name.empty() && name.front() == ' ') name.erase(0, 1);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (!name.empty()) fields.push_back(&dataset.FieldByName(name));
    start = end + 1;
  }
  return fields;
}

std::vector<TLocateKey> LocateKeys(const TDataSet& dataset, const std::string& key_fields, size_t value_count,
                                   TLocateOptions options) {
  std::vector<TField*> fields = NamedFields(dataset, key_fields);
  if (fields.empty() || fields.size() != value_count) DatabaseError("Field value required");
  std::vector<TLocateKey> keys;
  for (TField* field : fields) {
    const bool text = IsStringFieldType(field->DataType());
    keys.push_back({field, text && (options & loPartialKey) != 0, text && (options & loCaseInsensitive) != 0});
  }
  return keys;
}

bool LocateKeyMatches(const TLocateKey& key, const TFieldValue& key_value, const TFieldValue& stored) {
  return CompareKeyValue(key_value, stored, key.partial, key.case_insensitive) == 0;
}

}  // namespace tdb
