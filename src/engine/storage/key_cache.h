// TKeyCache: the decoded keys of the entries that the binary searches of one
// index list visit most, so that those comparisons need no read of the file.
//
// A binary search over n entries probes the middle entry first, then one of
// the two quarter points, and so on: the entries at the first few depths are
// few and are probed by every search, the deep ones rarely.  The cache keeps
// the key of an entry probed at a depth below Depth(), by record number, in
// a table of fixed size (direct-mapped: a record has one place, a newcomer
// takes it over).  A record's key is the same wherever the record stands in
// the list, so entries stay right while records move; what can make one
// wrong is a change of the record's key, which the owner reports (Forget) for
// its own changes, and a change by another writer, for which the owner drops
// everything (Clear).
//
// Memory: at most the budget given, allocated when the list is first
// searched and grown with it; MemoryBytes() reports it.  Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tdb {

class TKeyCache {
 public:
  // `key_size` bytes hold one decoded key; 0 switches the cache off.
  void Configure(size_t key_size, size_t budget_bytes);
  bool Enabled() const { return key_size_ > 0; }
  // Makes room for a list of `n` entries (grown up to the budget, which
  // forgets what was kept) and returns the depth below which probes are
  // kept: about half the places, so that newcomers rarely push out the
  // entries of the upper depths.
  int32_t Prepare(size_t n);
  // The key of `rec_index`, or nullptr.
  const uint8_t* Find(int32_t rec_index) const {
    if (places_.empty()) return nullptr;
    const uint8_t* place = Place(Slot(rec_index));
    return RecOf(place) == rec_index ? place + sizeof(int32_t) : nullptr;
  }
  // The place for the key of `rec_index`, claimed for it; the caller fills
  // it, or calls Forget when that fails.  REQUIRES: Prepare was called.
  uint8_t* Claim(int32_t rec_index) {
    uint8_t* place = Place(Slot(rec_index));
    std::memcpy(place, &rec_index, sizeof rec_index);
    return place + sizeof(int32_t);
  }
  void Forget(int32_t rec_index) {
    if (places_.empty()) return;
    uint8_t* place = Place(Slot(rec_index));
    if (RecOf(place) == rec_index) std::memcpy(place, &kNone, sizeof kNone);
  }
  // Forgets every key (the memory stays for the next searches).
  void Clear();
  size_t MemoryBytes() const { return places_.capacity(); }

 private:
  size_t Slot(int32_t rec_index) const {
    // Fibonacci hashing spreads neighbouring record numbers over the table.
    return static_cast<size_t>((static_cast<uint32_t>(rec_index) * 2654435769u) >> (32 - bits_));
  }

  static constexpr int32_t kNone = -1;
  uint8_t* Place(size_t slot) { return places_.data() + slot * (sizeof(int32_t) + key_size_); }
  const uint8_t* Place(size_t slot) const { return places_.data() + slot * (sizeof(int32_t) + key_size_); }
  static int32_t RecOf(const uint8_t* place) {
    int32_t rec;
    std::memcpy(&rec, place, sizeof rec);
    return rec;
  }

  size_t key_size_ = 0;
  size_t max_slots_ = 0;  // what the budget allows, a power of 2
  int32_t bits_ = 0;      // the table has 1 << bits_ places
  // Per place the record whose key it holds (-1: none) and then the key's
  // key_size_ bytes, side by side: a look-up touches one spot of memory.
  std::vector<uint8_t> places_;
};

}  // namespace tdb
