// Small in-memory databases and record buffers for the table storage's tests.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "engine/db_image.h"
#include "engine/base/byte_order.h"
#include "engine/file/file_io.h"
#include "engine/file/memory_stream.h"
#include "engine/storage/blob_stream.h"
#include "engine/storage/table_io.h"

namespace tdb::testing {

// Field and index helpers for building table headers.
inline TTableHeader TableHeader(const std::string& name, const std::vector<TFieldTabItem>& fields) {
  TTableHeader h;
  h.TableName = name;
  h.FieldCount = static_cast<int32_t>(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) h.FieldTab[i] = fields[i];
  return h;
}

inline void AddIndex(TTableHeader& h, const std::string& name, TTDIndexOptions options, std::vector<int32_t> fields) {
  TIndexHeader& index = h.IndexHeaders[static_cast<size_t>(h.IndexCount++)];
  index.IndexName = name;
  index.IndexOptions = options;
  for (size_t k = 0; k < fields.size(); ++k) index.IndexFields[k] = fields[k];
}

constexpr TTDIndexOptions kUnique = 1u << tiUnique;
constexpr TTDIndexOptions kPrimary = 1u << tiPrimary;
constexpr TTDIndexOptions kDescending = 1u << tiDescending;
constexpr TTDIndexOptions kCaseInsensitive = 1u << tiCaseInsensitive;

// A database image held in a registered memory stream, opened through a file object.
class TMemoryDb {
 public:
  explicit TMemoryDb(std::vector<uint8_t> image) : TMemoryDb(std::make_shared<TMemoryStream>(std::move(image))) {}
  explicit TMemoryDb(std::shared_ptr<TMemoryStream> stream) : stream_(std::move(stream)) {
    handle_ = RegisterMemoryStream(stream_);
    file_.Open(MemoryDatabaseName(handle_), mtMemory, false, false);
  }
  ~TMemoryDb() {
    file_.Close();
    UnregisterMemoryStream(handle_);
  }
  TRadiVOFileIO& file() { return file_; }
  TMemoryStream& stream() { return *stream_; }
  std::shared_ptr<TMemoryStream> shared_stream() { return stream_; }
  std::vector<uint8_t> Bytes() const { return stream_->Bytes(); }
  // A table storage over this file, opened.
  std::unique_ptr<TDadaTableIO> Open(const std::string& table) {
    auto io = std::make_unique<TDadaTableIO>(file_, table);
    io->OpenTable();
    return io;
  }

 private:
  std::shared_ptr<TMemoryStream> stream_;
  TMemoryStreamHandle handle_ = 0;
  TRadiVOFileIO file_;
};

// One record's values in their stored encodings, with a blob stream per blob
// field, as a dataset's record buffer holds them.
class TRecordBuffer {
 public:
  explicit TRecordBuffer(const TDadaTableIO& io) {
    for (int32_t f = 0; f < io.FieldDefs().Count(); ++f) {
      TFieldType type = io.FieldDefs()[f].FieldType;
      types_.push_back(type);
      values_.emplace_back(IsBlobFieldType(type) ? 0 : static_cast<size_t>(io.SlotSize(f)), 0);
      streams_.push_back(IsBlobFieldType(type) ? std::make_unique<TOptimBlobStream>() : nullptr);
      active_.push_back(true);
    }
  }
  TRecordBuffer& Int(int32_t f, int32_t v) { PutInt32LE(values_[f].data(), v); return *this; }
  TRecordBuffer& Double(int32_t f, double v) { PutDoubleLE(values_[f].data(), v); return *this; }
  TRecordBuffer& Str(int32_t f, const std::string& s) {
    std::fill(values_[f].begin(), values_[f].end(), 0);
    std::memcpy(values_[f].data(), s.data(), std::min(s.size(), values_[f].size()));
    return *this;
  }
  TRecordBuffer& Blob(int32_t f, const std::string& s) {
    streams_[f]->Assign(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
    return *this;
  }
  TRecordBuffer& Inactive(int32_t f) { active_[f] = false; return *this; }
  // Raw value bytes, to hand out buffers of other sizes.
  std::vector<uint8_t>& Raw(int32_t f) { return values_[f]; }

  int32_t GetInt(int32_t f) const { return GetInt32LE(values_[f].data()); }
  double GetDouble(int32_t f) const { return GetDoubleLE(values_[f].data()); }
  std::string GetStr(int32_t f) const { return std::string(reinterpret_cast<const char*>(values_[f].data())); }
  std::string GetBlob(int32_t f) const {
    const auto& b = streams_[f]->Bytes();
    return std::string(b.begin(), b.end());
  }
  TOptimBlobStream& Stream(int32_t f) { return *streams_[f]; }

  TFieldBuffers& Buffers() {
    buffers_.Clear();
    for (size_t f = 0; f < types_.size(); ++f) {
      if (!active_[f]) buffers_.AddInactive(types_[f]);
      else if (IsBlobFieldType(types_[f])) buffers_.AddBlob(streams_[f].get(), types_[f]);
      else buffers_.Add(values_[f].data(), types_[f], static_cast<int32_t>(values_[f].size()));
    }
    return buffers_;
  }

 private:
  std::vector<TFieldType> types_;
  std::vector<std::vector<uint8_t>> values_;
  std::vector<std::unique_ptr<TOptimBlobStream>> streams_;
  std::vector<bool> active_;
  TFieldBuffers buffers_;
};

// Records every callback.
struct TRecordingCallback : TIndexAdjustCallback {
  std::vector<std::tuple<char, int32_t, int32_t, int32_t>> calls;  // ('a', index, pos, recno) / ('m', index, old, new)
  void IndexAdjustAppend(int32_t index_no, int32_t position, const TListItem& item) override {
    calls.emplace_back('a', index_no, position, item.RecIndex);
  }
  void IndexAdjustModify(int32_t index_no, int32_t old_position, int32_t new_position) override {
    calls.emplace_back('m', index_no, old_position, new_position);
  }
};

// Record numbers of a list, in order.
inline std::vector<int32_t> RecNos(const TRecordList& list) {
  std::vector<int32_t> out;
  list.ForEach([&](const TListItem& item) { out.push_back(item.RecIndex); });
  return out;
}

}  // namespace tdb::testing
