// TRecordList: one of a table's in-memory ordered lists (list 0 in record
// order, one list per index in key order).
//
// An item is 8 bytes: the position of the record's fixed part in the file and
// the record number.  The list answers by position, like an array, but an
// insertion or removal in the middle costs O(chunk + log n), never a move of
// the whole list: the items live in chunks of at most kChunkCapacity, and a
// Fenwick tree over the chunk sizes turns a position into (chunk, offset).
//
// Invariants: no chunk is empty; every chunk holds at most kChunkCapacity
// items; while uniform_ is set every chunk but the last holds exactly
// kChunkCapacity; fenwick_ sums exactly the chunk sizes unless fenwick_stale_ is set,
// in which case it is rebuilt before it is next used.  Appends only mark it
// stale when they start a chunk, so a list built by appends (a table's lists
// at open, a view list) costs O(1) per item and one rebuild.  Items appended at the end
// fill the last chunk completely before a new one starts, so a list built by
// appends (as at table open) carries no slack beyond its last chunk.
//
// Copies share chunks: AssignFrom copies the chunk pointers, and a list
// copies a chunk it shares before it changes it, so a view copied from an
// index's list costs no memory until the two differ, and then a chunk at a
// time.
//
// Where a record stands (PositionOf) is kept on request (TrackRecords): per
// record number the chunk that holds it, by the chunk's serial number (a
// chunk keeps its serial while chunks are inserted or removed before it, and
// while it is copied on write), so that a position costs a scan of one chunk
// and a prefix sum instead of a search by key.  Every edit keeps it; a copy
// (AssignFrom) and clear() do not track.  Costs 4 bytes per record number.
//
// Not thread-safe: the owner serialises access (also across the lists that
// share chunks with this one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/base/large_memory.h"

namespace tdb {

struct TListItem {
  int32_t DataOffset = 0;  // position of the record's fixed part
  int32_t RecIndex = 0;    // record number
  bool operator==(const TListItem&) const = default;
};

class TRecordList {
 public:
  static constexpr size_t kChunkCapacity = kListBlockBytes / sizeof(TListItem);

  TRecordList() = default;
  TRecordList(const TRecordList&) = delete;
  TRecordList& operator=(const TRecordList&) = delete;
  TRecordList(TRecordList&&) = default;
  TRecordList& operator=(TRecordList&&) = default;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // The item at `pos`.  REQUIRES: pos < size().
  const TListItem& at(size_t pos) const;
  const TListItem& operator[](size_t pos) const { return at(pos); }

  // Replaces the item at `pos`.  REQUIRES: pos < size().
  void set(size_t pos, const TListItem& item);

  void push_back(const TListItem& item) {
    if (!chunks_.empty() && chunks_.back()->size() < kChunkCapacity && chunks_.back().use_count() == 1) {
      chunks_.back()->push_back(item);
      ++size_;
      if (!fenwick_stale_) FenwickAdd(chunks_.size() - 1, 1);
      if (tracking_) Home(item.RecIndex, serials_.back());
      return;
    }
    PushBackSlowly(item);
  }

  // Makes this list a copy of `other`, item for item, sharing its chunks.
  void AssignFrom(const TRecordList& other);

  // Inserts before `pos` (pos == size() appends).  REQUIRES: pos <= size().
  void insert(size_t pos, const TListItem& item);

  // Removes the item at `pos`.  REQUIRES: pos < size().
  void erase(size_t pos);

  // Moves the item at `from` so that it ends at position `to` of the list
  // after the move.  REQUIRES: from, to < size().
  void move(size_t from, size_t to);

  void clear();

  // Starts keeping where each record stands (no-op when it does already).
  // `record_total`: the record numbers expected, for the first allocation.
  void TrackRecords(size_t record_total);
  bool Tracking() const { return tracking_; }
  // The position of the item of record `rec_index`, or -1 when the list does
  // not hold it or does not track.
  int64_t PositionOf(int32_t rec_index) const;

  // Bytes held by the items (capacity included; a shared chunk counts in
  // every list that holds it) and the chunk bookkeeping.
  size_t MemoryBytes() const;

  // Calls fn(item) for every item in order; faster than indexing one by one.
  template <typename Fn>
  void ForEach(Fn&& fn) const {
    for (const auto& chunk : chunks_)
      for (const auto& item : *chunk) fn(item);
  }

 private:
  using Chunk = std::vector<TListItem, TListBlockAllocator<TListItem>>;

  // Chunk index and offset within it of position `pos` (< size_).
  void Locate(size_t pos, size_t* chunk, size_t* offset) const;
  void FenwickAdd(size_t chunk, long delta);
  void RebuildFenwick() const;
  std::shared_ptr<Chunk> NewChunk();
  // Chunk `c`, copied first when another list shares it.
  Chunk& Own(size_t c);

  // From here on positions go through the tree.
  void MarkUneven();
  // push_back into a shared last chunk or a new one.
  void PushBackSlowly(const TListItem& item);

  // ---- record tracking ----
  static constexpr uint32_t kNoSerial = ~uint32_t{0};
  // Record `rec_index` is in the chunk of serial `serial` now.
  void Home(int32_t rec_index, uint32_t serial) {
    if (rec_index >= 0 && static_cast<size_t>(rec_index) < home_.size()) home_[static_cast<size_t>(rec_index)] = serial;
    else HomeSlowly(rec_index, serial);
  }
  void HomeSlowly(int32_t rec_index, uint32_t serial);
  // Every item of chunk `c` is at home in it.
  void HomeChunk(size_t c);
  // A serial for a new chunk; stops tracking when they run out.
  uint32_t NewSerial();
  void StopTracking();
  // Sum of the sizes of the chunks before chunk `c`.
  size_t ChunkStart(size_t c) const;

  std::vector<std::shared_ptr<Chunk>> chunks_;
  bool tracking_ = false;
  std::vector<uint32_t> serials_;  // per chunk while tracking
  std::vector<uint32_t> home_;     // per record number: its chunk's serial, or kNoSerial
  mutable std::vector<uint32_t> chunk_of_serial_;  // serial -> chunk index, or kNoSerial
  mutable bool chunk_of_serial_stale_ = false;
  uint32_t next_serial_ = 0;
  mutable std::vector<size_t> fenwick_;  // 1-based Fenwick tree over chunk sizes
  mutable bool fenwick_stale_ = false;
  mutable size_t fenwick_top_ = 1;  // the largest power of 2 below fenwick_.size()
  size_t size_ = 0;
  // Every chunk but the last is full (a list built by appends, or changed
  // only at its end): a position is then found by division, without the tree.
  bool uniform_ = true;
};

}  // namespace tdb
