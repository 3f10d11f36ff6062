// Large arrays and list blocks in 2 MiB pieces (see large_memory.h).
#include "engine/base/large_memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

namespace tdb {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPlainHeap = true;
#else
constexpr bool kPlainHeap = false;
#endif

constexpr size_t kPiece = kLargeArrayBytes;
constexpr size_t kPage = 4096;
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

size_t RoundUp(size_t bytes) { return (bytes + kPiece - 1) / kPiece * kPiece; }

// `bytes` (a multiple of kPiece) at an address aligned to kPiece, so that
// the kernel can back it with huge pages; with `huge` clear it is kept to
// ordinary pages, which count only as they are touched.
void* MapAligned(size_t bytes, bool huge = true) {
  void* raw = mmap(nullptr, bytes + kPiece, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kPiece - 1) & ~(uintptr_t{kPiece} - 1);
  if (aligned > start) munmap(raw, aligned - start);
  const uintptr_t tail = start + bytes + kPiece - (aligned + bytes);
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + bytes), tail);
  madvise(reinterpret_cast<void*>(aligned), bytes, huge ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

// The list blocks: slabs of kPiece bytes, each with its free blocks.  One
// slab is kept to ordinary pages: the lists of small tables (a slab holds
// a quarter of a million list entries) take only the pages they touch, not
// a whole huge page each; the slabs beyond it are huge pages.
class TBlockPool {
 public:
  void* Get() {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto& [base, slab] : slabs_)
      if (!slab.free.empty()) return Take(base, slab);
    const bool huge = plain_slab_ != 0;
    const uintptr_t base = reinterpret_cast<uintptr_t>(MapAligned(kPiece, huge));
    if (!huge) {
      plain_slab_ = base;
      populated_until_ = 0;
    }
    TSlab& slab = slabs_[base];
    for (size_t i = kBlocksPerSlab; i > 0; --i) slab.free.push_back(static_cast<uint16_t>(i - 1));
    ++empty_slabs_;
    return Take(base, slab);
  }

  void Put(void* p) {
    std::lock_guard<std::mutex> guard(mutex_);
    const uintptr_t at = reinterpret_cast<uintptr_t>(p);
    const uintptr_t base = at & ~(uintptr_t{kPiece} - 1);
    auto it = slabs_.find(base);
    if (it == slabs_.end()) std::abort();  // not a block of this pool
    TSlab& slab = it->second;
    slab.free.push_back(static_cast<uint16_t>((at - base) / kListBlockBytes));
    if (slab.free.size() < kBlocksPerSlab) return;
    // One empty slab is kept for the next blocks; a second goes back.
    if (empty_slabs_ == 0) {
      ++empty_slabs_;
      return;
    }
    munmap(reinterpret_cast<void*>(base), kPiece);
    slabs_.erase(it);
    if (base == plain_slab_) plain_slab_ = 0;
  }

  // The blocks of the slab of ordinary pages from the eighth on are put in
  // place kPopulateRun at a time (a failure leaves them to fault as usual).
  static constexpr size_t kPopulateFrom = 8;
  static constexpr size_t kPopulateRun = 8;
  void PopulateAhead(uintptr_t base, size_t block) {
    if (base != plain_slab_ || block < kPopulateFrom || block < populated_until_) return;
    const size_t end = std::min(block + kPopulateRun, kBlocksPerSlab);
    madvise(reinterpret_cast<void*>(base + block * kListBlockBytes), (end - block) * kListBlockBytes,
            MADV_POPULATE_WRITE);
    populated_until_ = end;
  }

 private:
  static constexpr size_t kBlocksPerSlab = kPiece / kListBlockBytes;
  struct TSlab {
    std::vector<uint16_t> free;  // block numbers; the lowest is taken first
  };
  void* Take(uintptr_t base, TSlab& slab) {
    if (slab.free.size() == kBlocksPerSlab && empty_slabs_ > 0) --empty_slabs_;
    const uint16_t block = slab.free.back();
    slab.free.pop_back();
    PopulateAhead(base, block);
    return reinterpret_cast<void*>(base + block * kListBlockBytes);
  }

  std::mutex mutex_;
  std::map<uintptr_t, TSlab> slabs_;
  size_t empty_slabs_ = 0;  // slabs whose blocks are all free
  uintptr_t plain_slab_ = 0;  // the slab of ordinary pages, 0 when none
  size_t populated_until_ = 0;  // its blocks below this are in place
};

TBlockPool& Pool() {
  static TBlockPool* pool = new TBlockPool;  // never destroyed: lists may outlive static objects
  return *pool;
}

}  // namespace

void* AllocateLarge(size_t bytes) {
  if (kPlainHeap) return ::operator new(bytes);
  return MapAligned(RoundUp(bytes));
}

void FreeLarge(void* p, size_t bytes) noexcept {
  if (kPlainHeap) {
    ::operator delete(p);
    return;
  }
  munmap(p, RoundUp(bytes));
}

void* AllocatePopulated(size_t bytes) {
  if (kPlainHeap) return ::operator new(bytes);
  const size_t mapped = (bytes + kPage - 1) / kPage * kPage;
  void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  return p;
}

void FreePopulated(void* p, size_t bytes) noexcept {
  if (kPlainHeap) {
    ::operator delete(p);
    return;
  }
  munmap(p, (bytes + kPage - 1) / kPage * kPage);
}

void* AllocateListBlock() {
  if (kPlainHeap) return ::operator new(kListBlockBytes);
  return Pool().Get();
}

void FreeListBlock(void* p) noexcept {
  if (kPlainHeap) {
    ::operator delete(p);
    return;
  }
  Pool().Put(p);
}

}  // namespace tdb
