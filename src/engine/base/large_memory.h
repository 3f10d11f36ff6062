// Memory for the engine's large arrays: a table's record table, the index
// tables read while a list is built, and the chunks of the lists.
//
// A table of a million records fills some 30 MiB at open.  Taken in 4 KiB
// pages, each first touch of a page is a fault of its own, and the faults
// cost more than reading the file.  Arrays of 2 MiB and more therefore come
// from the system in whole 2 MiB pieces that the kernel may back with huge
// pages (a fault per 2 MiB), and the lists' chunks, all of one size, come
// from 2 MiB slabs the same way, except the first slab: in ordinary pages,
// so that the lists of a small table cost the pages they use, not 2 MiB.
// Where the kernel gives no huge pages this is ordinary memory.
//
// Smaller arrays of kPopulatedArrayBytes and more (the record table and an
// index table of a table of ten thousand records) are mapped with their
// pages in place: one system call instead of a fault per 4 KiB page.  The
// blocks of the slab of ordinary pages are likewise put in place eight at a
// time once a slab has handed out its first eight blocks one by one.
//
// A slab goes back to the system when its last chunk is freed, unless it is
// the only one.  Thread-safe.  Under AddressSanitizer everything is taken
// from the ordinary heap, so that the sanitizer sees every array.
#pragma once

#include <cstddef>
#include <new>

namespace tdb {

inline constexpr size_t kLargeArrayBytes = size_t{2} << 20;
inline constexpr size_t kListBlockBytes = 8192;
inline constexpr size_t kPopulatedArrayBytes = size_t{64} << 10;

// REQUIRES: bytes >= kLargeArrayBytes.  Raises std::bad_alloc.
void* AllocateLarge(size_t bytes);
void FreeLarge(void* p, size_t bytes) noexcept;
// REQUIRES: kPopulatedArrayBytes <= bytes < kLargeArrayBytes.  Raises std::bad_alloc.
void* AllocatePopulated(size_t bytes);
void FreePopulated(void* p, size_t bytes) noexcept;
// One block of kListBlockBytes.  Raises std::bad_alloc.
void* AllocateListBlock();
void FreeListBlock(void* p) noexcept;

// For vectors that may grow large: large allocations as above, small ones
// from the heap.
template <typename T>
struct TLargeAllocator {
  using value_type = T;
  TLargeAllocator() = default;
  template <typename U>
  TLargeAllocator(const TLargeAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    const size_t bytes = n * sizeof(T);
    if (bytes >= kLargeArrayBytes) return static_cast<T*>(AllocateLarge(bytes));
    if (bytes >= kPopulatedArrayBytes) return static_cast<T*>(AllocatePopulated(bytes));
    return static_cast<T*>(::operator new(bytes));
  }
  void deallocate(T* p, size_t n) noexcept {
    const size_t bytes = n * sizeof(T);
    if (bytes >= kLargeArrayBytes) FreeLarge(p, bytes);
    else if (bytes >= kPopulatedArrayBytes) FreePopulated(p, bytes);
    else ::operator delete(p);
  }
  template <typename U>
  bool operator==(const TLargeAllocator<U>&) const noexcept { return true; }
};

// For the lists' chunks: an allocation of exactly kListBlockBytes is a
// block, anything else comes from the heap.
template <typename T>
struct TListBlockAllocator {
  using value_type = T;
  TListBlockAllocator() = default;
  template <typename U>
  TListBlockAllocator(const TListBlockAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n * sizeof(T) == kListBlockBytes) return static_cast<T*>(AllocateListBlock());
    return static_cast<T*>(::operator new(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) noexcept {
    if (n * sizeof(T) == kListBlockBytes) FreeListBlock(p);
    else ::operator delete(p);
  }
  template <typename U>
  bool operator==(const TListBlockAllocator<U>&) const noexcept { return true; }
};

}  // namespace tdb
