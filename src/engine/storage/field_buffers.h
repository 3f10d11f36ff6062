// TFieldBuffers: the values of one record, handed between the dataset layer
// and the table storage (TDadaTableIO).
//
// One TFieldBufferItem per field of the table, in field order.  An item of a
// fixed-size type points at the value bytes in their stored encoding (the
// record buffer of a dataset, or a key buffer); an item of a blob type points
// at the TOptimBlobStream that holds the value.  The buffers and streams
// belong to the caller and must outlive every storage call that gets them;
// the items themselves belong to the TFieldBuffers.
//
// An inactive item is skipped by ReadRecord and ModifyRecord, and an append
// stores the field's initial value for it.  Not thread-safe.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/format/field_types.h"

namespace tdb {

class TOptimBlobStream;

struct TFieldBufferItem {
  // Value bytes in native layout; nullptr for an inactive item and for blobs.
  void* Buffer = nullptr;
  // The blob value of a blob-type item; nullptr otherwise.
  TOptimBlobStream* Stream = nullptr;
  TFieldType FieldType = ftUnknown;
  // Size of the value bytes: the slot size (FieldSize + 1 for strings); 0
  // for blobs and inactive items.
  int32_t DataSize = 0;
  bool Active = true;
};

class TFieldBuffers {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // REQUIRES: 0 <= i < Count().
  TFieldBufferItem& Item(int32_t i);
  const TFieldBufferItem& Item(int32_t i) const;

  // Adds an active item.  For a blob type `buffer` is the address of the
  // record buffer's stream reference (a TOptimBlobStream*), and the item
  // keeps the stream itself; otherwise it is the address of `data_size`
  // value bytes.
  void Add(void* buffer, TFieldType field_type, int32_t data_size);
  // Adds an active item of a fixed-size type.  REQUIRES: `buffer` holds
  // `data_size` bytes; the type is not a blob type.
  void AddValue(void* buffer, TFieldType field_type, int32_t data_size) {
    items_.push_back(TFieldBufferItem{buffer, nullptr, field_type, data_size, true});
  }
  void Reserve(size_t count) { items_.reserve(count); }
  // Adds an active blob item for `stream`.
  void AddBlob(TOptimBlobStream* stream, TFieldType field_type);
  // Adds an inactive item: a field the caller has no value for.
  void AddInactive(TFieldType field_type);
  // Drops the items; the buffers stay the caller's.
  void Clear() { items_.clear(); }

 private:
  std::vector<TFieldBufferItem> items_;
};

}  // namespace tdb
