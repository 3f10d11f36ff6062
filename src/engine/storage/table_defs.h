// The definitions of one table as its storage loads them from the table
// header: TDadaFieldDef per field and TDadaIndexDef per index, kept in
// TDadaFieldDefs and TDadaIndexDefs.
//
// Both collections are owned by the table's storage object (TDadaTableIO),
// hold their items by value in storage order, and find an item by name
// without regard to letter case (the first match wins).  Names are
// Windows-1251 bytes as stored.  Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/format/field_types.h"
#include "engine/format/index_options.h"

namespace tdb {

struct TDadaFieldDef {
  std::string Name;
  TFieldType FieldType = ftUnknown;
  int32_t FieldSize = 0;
  uint8_t ProcessMode = 0;  // 0: encrypted / compressed as the file says
};

struct TDadaIndexDef {
  std::string Name;
  TTDIndexOptions Options = 0;
  std::vector<int32_t> FieldNos;  // the key fields, in key order

  bool Has(TTDIndexOption option) const { return HasIndexOption(Options, option); }
};

// An owned collection of named definitions.
template <typename Def>
class TDadaDefCollection {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // REQUIRES: 0 <= i < Count().
  const Def& operator[](int32_t i) const { return items_[static_cast<size_t>(i)]; }
  void Add(Def def) { items_.push_back(std::move(def)); }
  void Clear() { items_.clear(); }
  // Number of the first item named `name` in any letter case, or -1.
  int32_t IndexOf(std::string_view name) const;
  // The first item named `name`, or nullptr.
  const Def* Find(std::string_view name) const {
    int32_t i = IndexOf(name);
    return i < 0 ? nullptr : &items_[static_cast<size_t>(i)];
  }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<Def> items_;
};

using TDadaFieldDefs = TDadaDefCollection<TDadaFieldDef>;
using TDadaIndexDefs = TDadaDefCollection<TDadaIndexDef>;

// The name comparison of the collections, kept out of line.
bool SameDefName(std::string_view left, std::string_view right);

template <typename Def>
int32_t TDadaDefCollection<Def>::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (SameDefName(items_[i].Name, name)) return static_cast<int32_t>(i);
  return -1;
}

}  // namespace tdb
