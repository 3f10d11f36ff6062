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
// Owned by the file stream; one thread at a time, like the stream.
#pragma once

#include <cstddef>
#include <cstdint>

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
  // The file now holds at least `end` bytes (after a write through the stream).
  void Grew(int64_t end) {
    if (end > known_size_) known_size_ = end;
  }

 private:
  bool Map();
  bool Refresh();

  int fd_;
  const uint8_t* base_ = nullptr;  // the reserved range, or null
  bool map_failed_ = false;
  int64_t known_size_ = 0;  // bytes known to exist in the file
};

}  // namespace tdb
