// The key of one index as the table storage compares it: one value per key
// field, in the field encodings, pointing either into the caller's buffers or
// into copies the key owns; and the hold of the file lock.  Internal to the
// table storage.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/compare/value_compare.h"
#include "engine/format/file_structures.h"
#include "engine/storage/table_io.h"

namespace tdb {

// Holds the file lock for one operation, released however it ends.  Inside
// a run of reads that already holds it (a change made from a filter's
// record event) the operation runs under that lock and leaves it held.
struct TDadaTableIO::TLockHold {
  explicit TLockHold(TRadiVOFileIO& file) : file_(file), owns_(!file.Locked()) {
    if (owns_) file_.Lock();
  }
  ~TLockHold() {
    if (owns_) file_.Unlock();
  }
  TLockHold(const TLockHold&) = delete;
  TLockHold& operator=(const TLockHold&) = delete;
  TRadiVOFileIO& file_;
  bool owns_;
};

class TDadaTableIO::TKey {
 public:
  TKey() = default;
  // Moving keeps the owned buffers where the values point; copying would not.
  TKey(TKey&&) = default;
  TKey& operator=(TKey&&) = default;
  TKey(const TKey&) = delete;
  TKey& operator=(const TKey&) = delete;

  int32_t Count() const { return count_; }
  const TFieldValue& Value(int32_t k) const { return values_[static_cast<size_t>(k)]; }
  // Bytes available behind Value(k).data.
  size_t Size(int32_t k) const { return sizes_[static_cast<size_t>(k)]; }

  // Adds a value that the caller keeps alive for the key's life.
  void AddBorrowed(const void* data, size_t size, TFieldType type, std::ptrdiff_t text_length) {
    values_[static_cast<size_t>(count_)] = TFieldValue{data, type, text_length};
    sizes_[static_cast<size_t>(count_)] = size;
    ++count_;
  }
  // Adds a copy of the value.
  void AddOwned(std::vector<uint8_t> bytes, TFieldType type, std::ptrdiff_t text_length) {
    size_t k = static_cast<size_t>(count_);
    owned_[k] = std::move(bytes);
    // A NUL behind the bytes keeps a text without its own NUL bounded.
    owned_[k].push_back(0);
    values_[k] = TFieldValue{owned_[k].data(), type, text_length};
    sizes_[k] = owned_[k].size() - 1;
    ++count_;
  }

 private:
  int32_t count_ = 0;
  std::array<TFieldValue, kMaxIndexFields> values_{};
  std::array<size_t, kMaxIndexFields> sizes_{};
  std::array<std::vector<uint8_t>, kMaxIndexFields> owned_;
};

// Where a key goes in an index list: the insert position, the entries on
// either side of it (RecIndex -1: the list's start or end), and the key's
// comparisons with them, when made.
struct TDadaTableIO::TGap {
  static constexpr int kNotCompared = 2;
  int32_t pos = 0;
  TListItem before{0, -1};
  TListItem after{0, -1};
  int before_cmp = kNotCompared;  // > 0 or 0: the key sorts behind `before` or equals it
  int after_cmp = kNotCompared;   // < 0 or 0: the key sorts before `after` or equals it
  TIndexTabItem before_entry{};    // `before`'s index table entry, when read
  bool before_entry_read = false;
};

}  // namespace tdb
