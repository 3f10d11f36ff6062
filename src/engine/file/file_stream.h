// TRadiVOFileStream: a database file on disk, read and written at absolute
// positions (pread/pwrite), with a flushed flag.  Reads of up to
// kMappedReadMax bytes are copied from a memory map of the file (file_map.h)
// when it can serve them; whole records and larger blocks are read with pread,
// so a walk over a table does not make the file resident, unless the map
// holds their pages already.
//
// The stream owns its descriptor and closes it when destroyed.  The flushed
// flag is true after opening and after every Flush(), false after every
// write.  Used by one thread at a time.
#pragma once

#include <memory>
#include <string>

#include "engine/file/file_map.h"
#include "engine/file/radivo_stream.h"

namespace tdb {

class TRadiVOFileStream : public TRadiVOStream {
 public:
  // Opens `path` for reading, or for reading and writing.  Raises
  // EDatabaseError "Cannot open file %s" when it cannot be opened.
  TRadiVOFileStream(const std::string& path, bool writable);
  ~TRadiVOFileStream() override;
  TRadiVOFileStream(const TRadiVOFileStream&) = delete;
  TRadiVOFileStream& operator=(const TRadiVOFileStream&) = delete;

  // Reads this small come from the memory map.
  static constexpr size_t kMappedReadMax = 512;

  int64_t Size() const override;
  size_t ReadAt(int64_t pos, uint8_t* dst, size_t n) const override;
  // From the map up to kMappedRewriteMax bytes: the pages are written next,
  // so they are the change's own, not a walk's.
  static constexpr size_t kMappedRewriteMax = 8192;
  size_t ReadBeforeWrite(int64_t pos, uint8_t* dst, size_t n) const override;
  void WriteAt(int64_t pos, const uint8_t* src, size_t n) override;
  bool Writable() const override { return writable_; }

  // Flushes the file's data to the disk (fdatasync) and sets the flushed flag.
  void Flush() override;
  bool Flushed() const { return flushed_; }

  // The open descriptor, for the file object's locks.  Valid while the stream lives.
  int Descriptor() const { return fd_; }
  const std::string& Path() const { return path_; }

 private:
  [[noreturn]] void IoError(const char* what) const;

  std::string path_;
  int fd_ = -1;
  bool writable_;
  bool flushed_ = true;
  mutable std::unique_ptr<TFileMap> map_;  // made on the first small read
};

}  // namespace tdb
