// Reading a table's records straight from the file for the check and the repair.
#include "engine/repair/raw_table.h"

#include <span>

#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/compare/value_compare.h"
#include "engine/format/field_types.h"
#include "engine/format/index_options.h"

namespace tdb {

void TRawTable::ReadHeader() {
  header_ = file_.ReadTableHeader(table_no_);
  name_ = Cp1251ToUtf8(header_.TableName);
  int32_t offset = 0;
  offsets_.clear();
  sizes_.clear();
  for (int32_t f = 0; f < header_.FieldCount; ++f) {
    const TFieldTabItem& field = header_.FieldTab[static_cast<size_t>(f)];
    offsets_.push_back(offset);
    sizes_.push_back(FieldSlotSize(field.FieldType, field.FieldSize));
    offset += sizes_.back();
  }
  record_size_ = offset;
}

bool TRawTable::Encrypted(int32_t f) const {
  return file_.DataProcessBlock().Encrypted && header_.FieldTab[static_cast<size_t>(f)].ProcessMode == 0;
}

std::optional<std::vector<uint8_t>> TRawTable::FieldValue(int32_t n, int32_t f) {
  int64_t slot = static_cast<int64_t>(records_[static_cast<size_t>(n)].DataOffset) + offsets_[static_cast<size_t>(f)];
  try {
    const TFieldTabItem& field = header_.FieldTab[static_cast<size_t>(f)];
    std::vector<uint8_t> value;
    if (IsBlobFieldType(field.FieldType)) {
      if (sound_blob_areas_) {
        uint8_t raw[kBlobDescriptorSize];
        file_.ReadData(slot, raw);
        TBlobDescriptor blob = ReadBlobDescriptor(std::span<const uint8_t>(raw, kBlobDescriptorSize));
        if (blob.AreaSize <= blob.BlobSize || blob.AreaSize % 64 != 0 ||
            static_cast<int64_t>(blob.BlobOffset) + blob.AreaSize > file_.FileSize())
          return std::nullopt;
      }
      bool compressed = file_.DataProcessBlock().Compressed && field.ProcessMode == 0;
      value = file_.ReadBlobData(slot, compressed, Encrypted(f));
    } else {
      std::vector<uint8_t> raw(static_cast<size_t>(sizes_[static_cast<size_t>(f)]));
      file_.ReadData(slot, raw);
      value.resize(raw.size());
      file_.DecodeBuffer(raw.data(), value.data(), Encrypted(f), raw.size());
      if (IsStringFieldType(field.FieldType)) value.back() = 0;
    }
    value.push_back(0);
    return value;
  } catch (const EDatabaseError&) {
    return std::nullopt;
  }
}

int TRawTable::CompareRecords(const TIndexHeader& index, int32_t a, int32_t b) {
  bool ci = HasIndexOption(index.IndexOptions, tiCaseInsensitive);
  for (int32_t k = 0; k < IndexKeyLength(index); ++k) {
    int32_t f = index.IndexFields[static_cast<size_t>(k)];
    TFieldType type = static_cast<TFieldType>(header_.FieldTab[static_cast<size_t>(f)].FieldType);
    auto va = FieldValue(a, f), vb = FieldValue(b, f);
    if (!va || !vb) return 0;
    std::ptrdiff_t la = IsBlobFieldType(type) ? static_cast<std::ptrdiff_t>(va->size() - 1) : -1;
    std::ptrdiff_t lb = IsBlobFieldType(type) ? static_cast<std::ptrdiff_t>(vb->size() - 1) : -1;
    int c = 0;
    try {
      c = CompareKeyValue(TFieldValue{va->data(), type, la}, TFieldValue{vb->data(), type, lb}, false, ci);
    } catch (const EDatabaseError&) {
      return 0;
    }
    if (c) return HasIndexOption(index.IndexOptions, tiDescending) ? -c : c;
  }
  return 0;
}

}  // namespace tdb
