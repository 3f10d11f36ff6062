// The memory streams that hold blob values between the file and the dataset.
#include "engine/storage/blob_stream.h"

#include <algorithm>
#include <cstring>

#include "engine/base/database_error.h"
#include "engine/file/file_io.h"

namespace tdb {

// ---- TBlobMemoryStream --------------------------------------------------------

size_t TBlobMemoryStream::Read(void* dst, size_t n) {
  int64_t size = static_cast<int64_t>(bytes_.size());
  if (position_ >= size || n == 0) return 0;
  size_t count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), size - position_));
  std::memcpy(dst, bytes_.data() + position_, count);
  position_ += static_cast<int64_t>(count);
  return count;
}

void TBlobMemoryStream::Write(const void* src, size_t n) {
  if (n == 0) return;
  size_t end = static_cast<size_t>(position_) + n;
  if (end > bytes_.size()) bytes_.resize(end, 0);
  std::memcpy(bytes_.data() + position_, src, n);
  position_ = static_cast<int64_t>(end);
}

int64_t TBlobMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::kBegin ? 0 : origin == TSeekOrigin::kCurrent ? position_ : Size();
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

int64_t TBlobMemoryStream::Size() { return static_cast<int64_t>(bytes_.size()); }

void TBlobMemoryStream::SetSize(int64_t size) {
  bytes_.resize(static_cast<size_t>(std::max<int64_t>(0, size)), 0);
  position_ = std::min<int64_t>(position_, static_cast<int64_t>(bytes_.size()));
}

void TBlobMemoryStream::Assign(std::span<const uint8_t> bytes) {
  bytes_.assign(bytes.begin(), bytes.end());
  position_ = 0;
}

// ---- TOptimBlobStream ----------------------------------------------------------

void TOptimBlobStream::SetSource(TRadiVOFileIO* file, int64_t descriptor_pos, bool compressed, bool encrypted) {
  file_ = file;
  source_pos_ = file ? descriptor_pos : 0;
  compressed_ = compressed;
  encrypted_ = encrypted;
  loaded_ = false;
  modified_ = false;
  // The bytes of the record read before must not mix with later writes.
  bytes_.clear();
  position_ = 0;
}

void TOptimBlobStream::EnsureLoaded() {
  if (loaded_ || source_pos_ == 0 || file_ == nullptr) return;
  // The flag follows the read: a failed load raises again at the next
  // access rather than leave an empty value that a post would store.
  bytes_ = file_->ReadBlobData(source_pos_, compressed_, encrypted_);
  position_ = 0;
  loaded_ = true;
}

size_t TOptimBlobStream::Read(void* dst, size_t n) {
  EnsureLoaded();
  return TBlobMemoryStream::Read(dst, n);
}

int64_t TOptimBlobStream::Seek(int64_t offset, TSeekOrigin origin) {
  EnsureLoaded();
  return TBlobMemoryStream::Seek(offset, origin);
}

int64_t TOptimBlobStream::Size() {
  EnsureLoaded();
  return TBlobMemoryStream::Size();
}

const std::vector<uint8_t>& TOptimBlobStream::Bytes() {
  EnsureLoaded();
  return bytes_;
}

void TOptimBlobStream::Write(const void* src, size_t n) {
  loaded_ = true;
  modified_ = true;
  TBlobMemoryStream::Write(src, n);
}

void TOptimBlobStream::SetSize(int64_t size) {
  loaded_ = true;
  modified_ = true;
  TBlobMemoryStream::SetSize(size);
}

void TOptimBlobStream::Assign(std::span<const uint8_t> bytes) {
  loaded_ = true;
  modified_ = true;
  TBlobMemoryStream::Assign(bytes);
}

// ---- TDadaBlobStream -------------------------------------------------------------

TDadaBlobStream::TDadaBlobStream(TOptimBlobStream& record_stream, TBlobStreamMode mode,
                                 std::function<void()> on_change)
    : record_stream_(record_stream), mode_(mode), on_change_(std::move(on_change)) {
  if (mode == TBlobStreamMode::bmWrite) {
    record_stream_.Clear();
    if (on_change_) on_change_();
  } else {
    const std::vector<uint8_t>& content = record_stream_.Bytes();
    bytes_.assign(content.begin(), content.end());
  }
}

void TDadaBlobStream::RequireWritable() const {
  if (mode_ == TBlobStreamMode::bmRead) DatabaseError("Cannot modify a read-only blob stream");
}

void TDadaBlobStream::Publish() {
  record_stream_.Assign(bytes_);
  if (on_change_) on_change_();
}

void TDadaBlobStream::Write(const void* src, size_t n) {
  RequireWritable();
  TBlobMemoryStream::Write(src, n);
  Publish();
}

void TDadaBlobStream::SetSize(int64_t size) {
  RequireWritable();
  TBlobMemoryStream::SetSize(size);
  Publish();
}

void TDadaBlobStream::Assign(std::span<const uint8_t> bytes) {
  RequireWritable();
  TBlobMemoryStream::Assign(bytes);
  Publish();
}

}  // namespace tdb
