// The key of a Locate or Lookup, the same for every kind of dataset: which
// fields it names, how the options apply to each of them, and when a stored
// value matches.  A dataset finds its candidates its own way (an index, a
// scan, a server's query) and leaves the answer to these rules.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/compare/value_compare.h"
#include "engine/dataset/dataset_types.h"

namespace tdb {

class TDataSet;
class TField;

struct TLocateKey {
  TField* field = nullptr;
  // A text key matches a stored text that begins with it.
  bool partial = false;
  // Texts compare without regard to letter case.
  bool case_insensitive = false;
};

// The fields named in `names` ("nomer", "Platel;Adres": names separated by
// ';', blanks around a name ignored), in that order.  Raises "Field '%s' not
// found" for a name the dataset does not have.
std::vector<TField*> NamedFields(const TDataSet& dataset, const std::string& names);

// One key per field named in `key_fields`, the options applied to texts only
// (a number, a date or a flag always matches whole).  Raises "Field value
// required" when no field is named or the values are not one per field.  A
// null value looks for the field's empty value (what a cleared field holds).
std::vector<TLocateKey> LocateKeys(const TDataSet& dataset, const std::string& key_fields, size_t value_count,
                                   TLocateOptions options);

// Whether a stored value matches the key's value, both in the field's
// encoding (a text's TFieldValue with its length when not terminated).
bool LocateKeyMatches(const TLocateKey& key, const TFieldValue& key_value, const TFieldValue& stored);

}  // namespace tdb
