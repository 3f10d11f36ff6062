// The medium a database lives on, as the file object sees it: a sequence of
// bytes read and written at absolute positions.  TRadiVOFileStream (a disk
// file) and TMemoryStream (an in-process database image) implement it.
//
// The file object checks every position against Size() before it reads, so a
// stream only reports what it could not do.  A stream is used by one thread at
// a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tdb {

class TRadiVOStream {
 public:
  virtual ~TRadiVOStream() = default;

  // The number of bytes the medium holds now.
  virtual int64_t Size() const = 0;

  // Reads up to n bytes at pos into dst; returns how many were there (fewer
  // only at the end of the medium).  Raises EDatabaseError on an I/O error.
  virtual size_t ReadAt(int64_t pos, uint8_t* dst, size_t n) const = 0;

  // ReadAt of bytes that a write is about to replace (kept to put them back
  // should the change fail).  A medium may serve these its fastest way.
  virtual size_t ReadBeforeWrite(int64_t pos, uint8_t* dst, size_t n) const { return ReadAt(pos, dst, n); }

  // Writes n bytes at pos, growing the medium when pos + n lies beyond its end
  // (a gap is zero-filled).  Raises EDatabaseError when that fails.
  virtual void WriteAt(int64_t pos, const uint8_t* src, size_t n) = 0;

  // Whether this medium can be written.
  virtual bool Writable() const = 0;

  // Makes what was written durable.  Nothing for a medium in memory.  Raises
  // EDatabaseError when that fails.
  virtual void Flush() {}
};

}  // namespace tdb
