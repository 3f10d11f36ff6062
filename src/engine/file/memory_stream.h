// TMemoryStream: a database image held in process memory, and the registry
// through which a database name of the form ":<hex handle>" finds it.
//
// The caller creates the stream, fills it (for example with the bytes of a
// database file), registers it and opens the database under
// MemoryDatabaseName(handle).  The registry shares ownership with the caller
// until the stream is unregistered; a file object that opened the stream holds
// it until it closes, so unregistering never pulls a stream from under an open
// database.  Handles are never reused within a process.
//
// The registry is thread-safe; a stream itself is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file/radivo_stream.h"

namespace tdb {

class TMemoryStream : public TRadiVOStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
  size_t ReadAt(int64_t pos, uint8_t* dst, size_t n) const override;
  void WriteAt(int64_t pos, const uint8_t* src, size_t n) override;
  bool Writable() const override { return true; }

  // The whole image; valid until the next write.
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  // Writes so far: what a file's modification time is to a disk file.
  uint64_t Writes() const { return writes_; }

 private:
  std::vector<uint8_t> bytes_;  // the image, owned
  uint64_t writes_ = 0;
};

using TMemoryStreamHandle = uint64_t;

// Registers `stream` and returns its handle (never 0).
TMemoryStreamHandle RegisterMemoryStream(std::shared_ptr<TMemoryStream> stream);

// Drops the registry's reference; an unknown handle is ignored.
void UnregisterMemoryStream(TMemoryStreamHandle handle);

// ":" followed by the handle in upper-case hexadecimal.
std::string MemoryDatabaseName(TMemoryStreamHandle handle);

// The stream a database name refers to.  Raises EDatabaseError "Invalid
// database name '%s'" unless the name is ":" followed by one or more
// hexadecimal digits (either case) naming a registered stream.
std::shared_ptr<TMemoryStream> FindMemoryStream(std::string_view name);

}  // namespace tdb
