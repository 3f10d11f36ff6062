// TFileMap: a read-only view of a disk file through a shared memory map, for
// the small reads (record slots, table entries, header counters) that make up
// most of the engine's reads; each would otherwise cost a system call.
//
// The map reserves the whole range a database file can reach (positions are
// 32-bit), so it never moves while the file grows.  A read is served from it
// only inside the bytes known to exist: the size seen at the last look, grown
// by the writes reported through Grew().  A file cut short behind our back (no
// engine does that, but another program might) would fault on access; the
// copy is guarded, so such a read reports failure instead of ending the
// process, and the caller reads the usual way and reports the damage.
//
// The map shares the kernel's page cache with pread/pwrite on the same file,
// so what it shows is what a read of the file would return.  Pages it touched
// count as resident memory of the process (they are the page cache's, and
// the kernel may drop them at any time).
//
// The kernel maps a page on its first touch, a few neighbours with it, and a
// first touch far from the last one costs many times a read: searches over a
// large table, whose probes land all over the file, paid that at nearly
// every probe.  So the map counts, per stretch of kStretchBytes, the windows
// of kWindowBytes it has read in, and at the third window of a stretch maps
// the whole stretch (as far as the file reaches) in one call, which costs
// about what two such touches do.  A few reads at one place (a table's header
// at open) map only their own pages.
//
// Owned by the file stream; one thread at a time, like the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tdb {

class TFileMap {
 public:
  // REQUIRES: `fd` stays open for the map's life.
  explicit TFileMap(int fd);
  ~TFileMap();
  TFileMap(const TFileMap&) = delete;
  TFileMap& operator=(const TFileMap&) = delete;

  // Copies n bytes at pos into dst.  False when they do not all lie inside
  // the file, when the map could not be made, or when the copy faulted.
  bool Read(int64_t pos, uint8_t* dst, size_t n);
  // Read, but only inside stretches already mapped whole: a larger read
  // (a record) that makes nothing resident that was not.
  bool ReadMapped(int64_t pos, uint8_t* dst, size_t n);
  static constexpr int64_t kWindowBytes = int64_t{64} << 10;
  static constexpr int64_t kStretchBytes = int64_t{2} << 20;
  // The file now holds at least `end` bytes (after a write through the stream).
  void Grew(int64_t end) {
    if (end > known_size_) known_size_ = end;
  }

 private:
  bool Map();
  bool Refresh();
  // Counts the window of `pos` read in, and maps its stretch when due.
  void Touch(int64_t pos);

  int fd_;
  const uint8_t* base_ = nullptr;  // the reserved range, or null
  bool map_failed_ = false;
  int64_t known_size_ = 0;  // bytes known to exist in the file
  // Per stretch, one bit per window read in or mapped (32 windows a stretch).
  std::vector<uint32_t> windows_;
};

}  // namespace tdb
