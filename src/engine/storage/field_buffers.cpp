// The list of value items that carries one record between dataset and storage.
#include "engine/storage/field_buffers.h"

#include <cassert>

namespace tdb {

TFieldBufferItem& TFieldBuffers::Item(int32_t i) {
  assert(i >= 0 && i < Count());
  return items_[static_cast<size_t>(i)];
}

const TFieldBufferItem& TFieldBuffers::Item(int32_t i) const {
  assert(i >= 0 && i < Count());
  return items_[static_cast<size_t>(i)];
}

void TFieldBuffers::Add(void* buffer, TFieldType field_type, int32_t data_size) {
  if (IsBlobFieldType(field_type)) {
    AddBlob(buffer ? *static_cast<TOptimBlobStream**>(buffer) : nullptr, field_type);
    return;
  }
  TFieldBufferItem item;
  item.Buffer = buffer;
  item.FieldType = field_type;
  item.DataSize = buffer ? data_size : 0;
  item.Active = buffer != nullptr;
  items_.push_back(item);
}

void TFieldBuffers::AddBlob(TOptimBlobStream* stream, TFieldType field_type) {
  TFieldBufferItem item;
  item.Stream = stream;
  item.FieldType = field_type;
  item.Active = stream != nullptr;
  items_.push_back(item);
}

void TFieldBuffers::AddInactive(TFieldType field_type) {
  TFieldBufferItem item;
  item.FieldType = field_type;
  item.Active = false;
  items_.push_back(item);
}

}  // namespace tdb
