// The chunked positional list behind every in-memory list of a table.
#include "engine/storage/record_list.h"

#include <algorithm>
#include <cassert>

namespace tdb {

std::shared_ptr<TRecordList::Chunk> TRecordList::NewChunk() {
  auto chunk = std::make_shared<Chunk>();
  chunk->reserve(kChunkCapacity);
  return chunk;
}

TRecordList::Chunk& TRecordList::Own(size_t c) {
  std::shared_ptr<Chunk>& chunk = chunks_[c];
  if (chunk.use_count() > 1) {
    auto copy = NewChunk();
    copy->assign(chunk->begin(), chunk->end());
    chunk = std::move(copy);
  }
  return *chunk;
}

void TRecordList::RebuildFenwick() const {
  fenwick_stale_ = false;
  size_t n = chunks_.size();
  fenwick_.assign(n + 1, 0);
  fenwick_top_ = 1;
  while (fenwick_top_ * 2 < fenwick_.size()) fenwick_top_ *= 2;
  for (size_t i = 1; i <= n; ++i) {
    fenwick_[i] += chunks_[i - 1]->size();
    size_t parent = i + (i & (~i + 1));
    if (parent <= n) fenwick_[parent] += fenwick_[i];
  }
}

void TRecordList::FenwickAdd(size_t chunk, long delta) {
  for (size_t i = chunk + 1; i < fenwick_.size(); i += i & (~i + 1))
    fenwick_[i] = static_cast<size_t>(static_cast<long>(fenwick_[i]) + delta);
}

void TRecordList::Locate(size_t pos, size_t* chunk, size_t* offset) const {
  assert(pos < size_);
  if (uniform_) {
    *chunk = pos / kChunkCapacity;
    *offset = pos % kChunkCapacity;
    return;
  }
  if (fenwick_stale_) RebuildFenwick();
  // Descend the Fenwick tree: find the last chunk whose prefix sum is <= pos.
  size_t idx = 0;
  size_t remaining = pos;
  for (size_t step = fenwick_top_; step > 0; step /= 2) {
    size_t next = idx + step;
    if (next < fenwick_.size() && fenwick_[next] <= remaining) {
      idx = next;
      remaining -= fenwick_[next];
    }
  }
  *chunk = idx;  // 0-based chunk index
  *offset = remaining;
}

const TListItem& TRecordList::at(size_t pos) const {
  size_t c, o;
  Locate(pos, &c, &o);
  return (*chunks_[c])[o];
}

void TRecordList::set(size_t pos, const TListItem& item) {
  size_t c, o;
  Locate(pos, &c, &o);
  Chunk& chunk = Own(c);
  if (tracking_) {
    Home(chunk[o].RecIndex, kNoSerial);
    Home(item.RecIndex, serials_[c]);
  }
  chunk[o] = item;
}

void TRecordList::PushBackSlowly(const TListItem& item) {
  if (!chunks_.empty() && chunks_.back()->size() < kChunkCapacity) {
    Own(chunks_.size() - 1).push_back(item);
    ++size_;
    if (!fenwick_stale_) FenwickAdd(chunks_.size() - 1, 1);
    if (tracking_) Home(item.RecIndex, serials_.back());
    return;
  }
  chunks_.push_back(NewChunk());
  chunks_.back()->push_back(item);
  ++size_;
  // The tree gains a leaf: rebuilt when next used, so a run of appends
  // rebuilds it once.
  fenwick_stale_ = true;
  if (tracking_) {
    const uint32_t serial = NewSerial();
    if (tracking_) {
      serials_.push_back(serial);
      chunk_of_serial_stale_ = true;
      Home(item.RecIndex, serial);
    }
  }
}

void TRecordList::AssignFrom(const TRecordList& other) {
  if (&other == this) return;
  StopTracking();
  chunks_ = other.chunks_;
  size_ = other.size_;
  uniform_ = other.uniform_;
  fenwick_stale_ = true;
}

void TRecordList::insert(size_t pos, const TListItem& item) {
  assert(pos <= size_);
  if (pos == size_) {
    push_back(item);
    return;
  }
  size_t c, o;
  Locate(pos, &c, &o);
  Chunk& chunk = Own(c);
  if (chunk.size() < kChunkCapacity) {
    chunk.insert(chunk.begin() + static_cast<long>(o), item);
    ++size_;
    if (c + 1 != chunks_.size()) MarkUneven();
    FenwickAdd(c, 1);
    if (tracking_) Home(item.RecIndex, serials_[c]);
    return;
  }
  MarkUneven();
  // Split the full chunk in two halves, then insert into the proper half.
  auto tail = NewChunk();
  size_t half = chunk.size() / 2;
  tail->assign(chunk.begin() + static_cast<long>(half), chunk.end());
  chunk.resize(half);
  if (o <= half) {
    chunk.insert(chunk.begin() + static_cast<long>(o), item);
  } else {
    tail->insert(tail->begin() + static_cast<long>(o - half), item);
  }
  chunks_.insert(chunks_.begin() + static_cast<long>(c + 1), std::move(tail));
  ++size_;
  RebuildFenwick();
  if (tracking_) {
    const uint32_t serial = NewSerial();
    if (!tracking_) return;
    serials_.insert(serials_.begin() + static_cast<long>(c + 1), serial);
    chunk_of_serial_stale_ = true;
    HomeChunk(c + 1);
    if (o <= half) Home(item.RecIndex, serials_[c]);
  }
}

void TRecordList::erase(size_t pos) {
  size_t c, o;
  Locate(pos, &c, &o);
  Chunk& chunk = Own(c);
  if (tracking_) Home(chunk[o].RecIndex, kNoSerial);
  chunk.erase(chunk.begin() + static_cast<long>(o));
  --size_;
  // Only the last chunk may shrink without making the chunks uneven.
  if (c + 1 != chunks_.size()) MarkUneven();
  if (chunk.empty()) {
    chunks_.erase(chunks_.begin() + static_cast<long>(c));
    RebuildFenwick();
    if (tracking_) {
      serials_.erase(serials_.begin() + static_cast<long>(c));
      chunk_of_serial_stale_ = true;
    }
    return;
  }
  // Merge with a neighbour when both fit in one chunk, so that a list that
  // shrinks does not keep many near-empty chunks.
  if (c + 1 < chunks_.size() && chunk.size() + chunks_[c + 1]->size() <= kChunkCapacity / 2) {
    chunk.insert(chunk.end(), chunks_[c + 1]->begin(), chunks_[c + 1]->end());
    chunks_.erase(chunks_.begin() + static_cast<long>(c + 1));
    RebuildFenwick();
    if (tracking_) {
      serials_.erase(serials_.begin() + static_cast<long>(c + 1));
      chunk_of_serial_stale_ = true;
      HomeChunk(c);
    }
    return;
  }
  FenwickAdd(c, -1);
}

void TRecordList::move(size_t from, size_t to) {
  if (from == to) return;
  TListItem item = at(from);
  erase(from);
  insert(to, item);
}

void TRecordList::clear() {
  StopTracking();
  chunks_.clear();
  fenwick_.clear();
  fenwick_stale_ = false;
  uniform_ = true;
  size_ = 0;
}

void TRecordList::MarkUneven() {
  if (!uniform_) return;
  uniform_ = false;
  // The tree was not kept while the chunks were even.
  fenwick_stale_ = true;
}

// ---- where each record stands ----

namespace {
// Beyond any record number a 2 GB file can hold.
constexpr int32_t kMaxTrackedRecord = int32_t{1} << 28;
}  // namespace

void TRecordList::TrackRecords(size_t record_total) {
  if (tracking_) return;
  tracking_ = true;
  next_serial_ = 0;
  serials_.clear();
  serials_.reserve(chunks_.size());
  for (size_t c = 0; c < chunks_.size(); ++c) serials_.push_back(NewSerial());
  home_.assign(std::min(record_total, static_cast<size_t>(kMaxTrackedRecord)), kNoSerial);
  chunk_of_serial_stale_ = true;
  for (size_t c = 0; c < chunks_.size() && tracking_; ++c) HomeChunk(c);
}

void TRecordList::StopTracking() {
  tracking_ = false;
  std::vector<uint32_t>().swap(serials_);
  std::vector<uint32_t>().swap(home_);
  std::vector<uint32_t>().swap(chunk_of_serial_);
  chunk_of_serial_stale_ = false;
  next_serial_ = 0;
}

uint32_t TRecordList::NewSerial() {
  if (next_serial_ == kNoSerial) {
    StopTracking();
    return kNoSerial;
  }
  return next_serial_++;
}

void TRecordList::HomeSlowly(int32_t rec_index, uint32_t serial) {
  if (rec_index < 0 || serial == kNoSerial) return;  // nothing kept to forget
  if (rec_index >= kMaxTrackedRecord) {
    StopTracking();
    return;
  }
  const size_t want = std::max(static_cast<size_t>(rec_index) + 1, home_.size() + home_.size() / 2);
  home_.resize(std::min(want, static_cast<size_t>(kMaxTrackedRecord)), kNoSerial);
  home_[static_cast<size_t>(rec_index)] = serial;
}

void TRecordList::HomeChunk(size_t c) {
  const uint32_t serial = serials_[c];
  for (const TListItem& item : *chunks_[c]) {
    Home(item.RecIndex, serial);
    if (!tracking_) return;
  }
}

size_t TRecordList::ChunkStart(size_t c) const {
  if (uniform_) return c * kChunkCapacity;
  if (fenwick_stale_) RebuildFenwick();
  size_t sum = 0;
  for (size_t i = c; i > 0; i -= i & (~i + 1)) sum += fenwick_[i];
  return sum;
}

int64_t TRecordList::PositionOf(int32_t rec_index) const {
  if (!tracking_ || rec_index < 0 || static_cast<size_t>(rec_index) >= home_.size()) return -1;
  const uint32_t serial = home_[static_cast<size_t>(rec_index)];
  if (serial == kNoSerial) return -1;
  if (chunk_of_serial_stale_) {
    chunk_of_serial_.assign(next_serial_, kNoSerial);
    for (size_t c = 0; c < chunks_.size(); ++c) chunk_of_serial_[serials_[c]] = static_cast<uint32_t>(c);
    chunk_of_serial_stale_ = false;
  }
  if (serial >= chunk_of_serial_.size() || chunk_of_serial_[serial] == kNoSerial) return -1;
  const size_t c = chunk_of_serial_[serial];
  const Chunk& chunk = *chunks_[c];
  for (size_t o = 0; o < chunk.size(); ++o)
    if (chunk[o].RecIndex == rec_index) return static_cast<int64_t>(ChunkStart(c) + o);
  return -1;
}

size_t TRecordList::MemoryBytes() const {
  size_t bytes = chunks_.capacity() * sizeof(chunks_[0]) + fenwick_.capacity() * sizeof(size_t);
  bytes += (serials_.capacity() + home_.capacity() + chunk_of_serial_.capacity()) * sizeof(uint32_t);
  for (const auto& chunk : chunks_) bytes += sizeof(Chunk) + chunk->capacity() * sizeof(TListItem);
  return bytes;
}

}  // namespace tdb
