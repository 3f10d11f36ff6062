// A dataset stand-in for filter tests and the filter fuzzer: a few fields
// laid out as in a record buffer, records kept as byte buffers, and one
// buffer in use into which a record is loaded before each evaluation, as the
// dataset's filter buffer is.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/base/byte_order.h"
#include "engine/compare/collation.h"
#include "engine/filter/filter_source.h"
#include "engine/format/field_types.h"
#include "engine/locale/date_time.h"

namespace tdb {

class TFakeFieldSource : public TFilterFieldSource {
 public:
  // Fields first, then records.
  void AddField(std::string name, TFieldType type, int32_t size = 0) {
    fields_.push_back(TField{std::move(name), type, size, record_size_});
    record_size_ += IsBlobFieldType(type) ? kBlobDescriptorSize : FieldSlotSize(type, size);
  }

  int AddRecord() {
    records_.emplace_back(record_size_, 0);
    blobs_.emplace_back();
    buffer_.assign(record_size_, 0);
    return static_cast<int>(records_.size()) - 1;
  }
  int RecordCount() const { return static_cast<int>(records_.size()); }

  void SetInt(int rec, const std::string& name, int64_t value) {
    uint8_t* p = Slot(rec, name);
    switch (Find(name).type) {
      case ftSmallint:
      case ftWord:
      case ftBoolean: PutUInt16LE(p, static_cast<uint16_t>(value)); break;
      case ftLargeint: PutInt64LE(p, value); break;
      case ftFloat:
      case ftCurrency:
      case ftDateTime: PutDoubleLE(p, static_cast<double>(value)); break;
      default: PutInt32LE(p, static_cast<int32_t>(value)); break;
    }
  }
  void SetDouble(int rec, const std::string& name, double value) { PutDoubleLE(Slot(rec, name), value); }
  void SetText(int rec, const std::string& name, const std::string& text) {
    const TField& f = Find(name);
    if (IsBlobFieldType(f.type)) {
      blobs_[rec][Index(name)] = text;
      return;
    }
    uint8_t* p = Slot(rec, name);
    const size_t n = std::min<size_t>(text.size(), static_cast<size_t>(f.size));
    std::fill(p, p + f.size + 1, 0);
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), p);
  }
  void SetDate(int rec, const std::string& name, int y, int m, int d) {
    SetInt(rec, name, EncodeDate(y, m, d).value());
  }
  void SetTime(int rec, const std::string& name, int h, int mi, int s = 0) {
    SetInt(rec, name, EncodeTime(h, mi, s, 0).value());
  }
  void SetStamp(int rec, const std::string& name, int y, int m, int d, int h, int mi) {
    SetDouble(rec, name, StampToDouble(TTimeStamp{EncodeDate(y, m, d).value(), EncodeTime(h, mi, 0, 0).value()}));
  }

  // Puts a record into the buffer in use.
  void Load(int rec) {
    // Copied in place: bound field nodes keep pointing into the same buffer.
    const auto& record = records_.at(rec);
    std::copy(record.begin(), record.end(), buffer_.begin());
    loaded_ = rec;
  }

  std::optional<TFilterFieldInfo> FindFilterField(std::string_view name) const override {
    for (size_t i = 0; i < fields_.size(); ++i)
      if (SameTextIgnoringCase(fields_[i].name, name))
        return TFilterFieldInfo{static_cast<int>(i), fields_[i].type, fields_[i].size, IsBlobFieldType(fields_[i].type)};
    return std::nullopt;
  }
  const uint8_t* FieldValuePointer(int index) const override {
    ++pointer_requests;
    if (!has_buffer) return nullptr;
    return buffer_.data() + fields_.at(index).offset;
  }
  std::string BlobFieldText(int index) const override {
    ++blob_reads;
    const auto& blobs = blobs_.at(loaded_);
    const auto it = blobs.find(index);
    return it == blobs.end() ? std::string() : it->second;
  }

  bool has_buffer = true;
  mutable int pointer_requests = 0;
  mutable int blob_reads = 0;

 private:
  struct TField {
    std::string name;
    TFieldType type;
    int32_t size;
    int32_t offset;
  };
  int Index(const std::string& name) const {
    const auto info = FindFilterField(name);
    if (!info) throw std::logic_error("no field " + name);
    return info->index;
  }
  const TField& Find(const std::string& name) const { return fields_[Index(name)]; }
  uint8_t* Slot(int rec, const std::string& name) { return records_.at(rec).data() + Find(name).offset; }

  std::vector<TField> fields_;
  int32_t record_size_ = 0;
  std::vector<std::vector<uint8_t>> records_;
  std::vector<std::map<int, std::string>> blobs_;
  std::vector<uint8_t> buffer_;  // the buffer in use; field nodes point into it
  int loaded_ = 0;
};

}  // namespace tdb
