// Blob values in memory: TOptimBlobStream, the stream a record buffer keeps
// for each blob field, and TDadaBlobStream, the stream a dataset hands out for
// reading or writing one blob field.
//
// TOptimBlobStream is a memory stream with an optional source: the file
// position of a blob descriptor in a database file, with the compressed and
// encrypted flags of its field.  ReadRecord points it at its source; the
// first read, seek or size query then replaces the content with the decoded
// stored value (without the file lock).  A load that fails raises and leaves
// the stream unloaded, so the next access tries again: a stream never passes
// for an empty value it could not read.  Any write, size change or Assign
// marks the stream loaded and modified, so a late load never overwrites new
// content; the modified flag tells a rewrite of the record which blobs it must
// store (an unmodified stream still holds exactly what its source holds).
// The stream owns its bytes; the file object it loads from must stay open
// while a source is set.
//
// TDadaBlobStream works on a copy.  In read and read-write mode it starts as
// the content of the record buffer's stream (loading it); in write mode it
// starts empty, empties the record buffer's stream and reports a change.
// Every write in write or read-write mode copies its whole content back into
// the record buffer's stream and reports a change through `on_change` (the
// dataset marks the field modified and signals a field change).  A write in
// read mode raises EDatabaseError.  The record buffer's stream must outlive it.
//
// Not thread-safe: one thread at a time, like the dataset that owns them.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tdb {

class TRadiVOFileIO;

enum class TSeekOrigin { kBegin, kCurrent, kEnd };

// A growable byte buffer with a position, as the blob streams share it.
class TBlobMemoryStream {
 public:
  virtual ~TBlobMemoryStream() = default;

  // Reads up to n bytes at the position; returns how many.
  virtual size_t Read(void* dst, size_t n);
  // Writes n bytes at the position, growing the content.
  virtual void Write(const void* src, size_t n);
  // Moves the position (never below 0); returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin);
  virtual int64_t Size();
  // Cuts or zero-extends the content; the position stays within it.
  virtual void SetSize(int64_t size);
  int64_t Position() const { return position_; }

  // The whole content.  Valid until the next change.
  virtual const std::vector<uint8_t>& Bytes() { return bytes_; }
  // Replaces the whole content; the position goes to 0.
  virtual void Assign(std::span<const uint8_t> bytes);
  void Clear() { Assign({}); }

 protected:
  std::vector<uint8_t> bytes_;  // the content, owned
  int64_t position_ = 0;
};

class TOptimBlobStream : public TBlobMemoryStream {
 public:
  TOptimBlobStream() = default;
  TOptimBlobStream(const TOptimBlobStream&) = delete;
  TOptimBlobStream& operator=(const TOptimBlobStream&) = delete;

  // Points the stream at the blob descriptor at `descriptor_pos` of `file`,
  // empties it and clears the loaded flag; position 0 (or a null file) means
  // no source.  Clears the modified flag.
  void SetSource(TRadiVOFileIO* file, int64_t descriptor_pos, bool compressed, bool encrypted);
  int64_t SourcePosition() const { return source_pos_; }
  const TRadiVOFileIO* SourceFile() const { return file_; }
  bool Compressed() const { return compressed_; }
  bool Encrypted() const { return encrypted_; }
  bool Loaded() const { return loaded_; }
  // True once the content was written, resized or assigned since the source
  // was last set.
  bool Modified() const { return modified_; }
  // True when the content is that of the blob described at `descriptor_pos`
  // of `file`, loaded or not: nothing was written since it was pointed there.
  bool HoldsStoredValueOf(const TRadiVOFileIO& file, int64_t descriptor_pos) const {
    return !modified_ && file_ == &file && source_pos_ == descriptor_pos && descriptor_pos != 0;
  }

  size_t Read(void* dst, size_t n) override;
  void Write(const void* src, size_t n) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;
  const std::vector<uint8_t>& Bytes() override;
  void Assign(std::span<const uint8_t> bytes) override;

 private:
  // Loads the stored value once, when a source is set and nothing was written.
  void EnsureLoaded();

  TRadiVOFileIO* file_ = nullptr;  // not owned
  int64_t source_pos_ = 0;
  bool compressed_ = false;
  bool encrypted_ = false;
  bool loaded_ = false;
  bool modified_ = false;
};

enum class TBlobStreamMode { bmRead = 0, bmWrite = 1, bmReadWrite = 2 };

class TDadaBlobStream : public TBlobMemoryStream {
 public:
  TDadaBlobStream(TOptimBlobStream& record_stream, TBlobStreamMode mode, std::function<void()> on_change);
  TDadaBlobStream(const TDadaBlobStream&) = delete;
  TDadaBlobStream& operator=(const TDadaBlobStream&) = delete;

  TBlobStreamMode Mode() const { return mode_; }

  void Write(const void* src, size_t n) override;
  void SetSize(int64_t size) override;
  void Assign(std::span<const uint8_t> bytes) override;

 private:
  void RequireWritable() const;
  void Publish();

  TOptimBlobStream& record_stream_;  // the record buffer's, not owned
  TBlobStreamMode mode_;
  std::function<void()> on_change_;
};

}  // namespace tdb
