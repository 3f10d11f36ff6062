// TFileMedium: the bytes of one open database and the lock on them.
//
// It owns the disk stream of a disk database, or shares the registry's
// memory stream (memory_stream.h) and keeps it alive while open; the test
// seam's decorator, when one is set, is put over either.  A disk open holds
// a flock on its own open file description, shared normally and exclusive
// for an exclusive open, so that opens of one file see each other.  The
// medium also holds the one-byte file lock (an open-file-description lock
// on byte 1 of a disk file) that serialises table opens, record reads and
// changes between file objects and processes.
//
// Invariants: Stream() is set exactly while the medium is open.  The size
// last seen (KnownSize) never exceeds the medium's real size, which never
// shrinks under an open medium; it is refreshed after every own write and
// whenever a check against it fails.  The file lock is held at most once
// (never nested) and only while open; closing releases it and the flock.
//
// Threads: one thread at a time uses a medium.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/file/radivo_stream.h"

namespace tdb {

class TRadiVOFileStream;
class TMemoryStream;

enum TRadiVOMediumType { mtDisk, mtMemory };

// How long Lock() keeps trying.  RetryCount 0 waits without limit.
struct TLockSettings {
  int32_t RetryCount = 20;
  int32_t WaitTime = 100;  // milliseconds between counted attempts
};
// Asked at every counted failure (one per WaitTime), so that changed
// settings apply at once.
using TLockSettingsSource = std::function<TLockSettings()>;

// What the medium says of its last write, taken to tell cheaply whether
// anyone (another process, another file object) has written it since: two
// stamps of one file differ after any write between them, unless the later
// write fell into the same tick of the file system's clock as the one the
// first stamp saw.  A stamp taken within kStampSettleNs of its own
// modification time is therefore not `settled`: a write may still follow
// unseen, and its holder must look again at the file itself.  A memory
// stream counts its writes instead and is always settled.
struct TFileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modified_ns = 0;  // modification time (memory: the count of writes)
  int64_t changed_ns = 0;   // status change time
  bool settled = false;
  // Whether the two stamps describe the same state of the file (`settled`
  // aside).
  bool SameAs(const TFileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified_ns == other.modified_ns && changed_ns == other.changed_ns;
  }
};
// Two seconds: the coarsest clock of a file system the files may live on
// (FAT's); local disks tick in milliseconds.
constexpr int64_t kStampSettleNs = 2'000'000'000;

// A test seam: when set, every file object opened afterwards reads, writes and
// flushes its medium through the stream the decorator returns for it, so that
// a test can make the n-th write or flush fail as a full disk or an I/O error
// does.  The returned stream lives as long as the open.  Set it only while no
// other thread opens databases; an empty function removes it.
using TStreamDecorator = std::function<std::unique_ptr<TRadiVOStream>(TRadiVOStream& medium)>;
void SetStreamDecorator(TStreamDecorator decorator);

class TFileMedium {
 public:
  // Checks the file header on a stream before the medium is opened for use;
  // raises when the file is not a database it can open.
  using THeaderCheck = std::function<void(const TRadiVOStream& stream)>;

  TFileMedium();
  ~TFileMedium();
  TFileMedium(const TFileMedium&) = delete;
  TFileMedium& operator=(const TFileMedium&) = delete;

  void SetLockSettingsSource(TLockSettingsSource source) { lock_settings_ = std::move(source); }

  // Opens a disk file by path, or (mtMemory) a registered memory stream by
  // ":<hex handle>", after `check_header` has accepted it; see
  // TRadiVOFileIO::Open for the rules and the errors.  REQUIRES: closed.  On
  // failure the medium may be left half open: the caller closes it.
  void Open(const std::string& name, TRadiVOMediumType medium, bool read_only, bool exclusive,
            const THeaderCheck& check_header);
  // Releases the file lock if held and drops the streams.  Safe when closed.
  void Close();

  bool IsOpen() const { return stream_ != nullptr; }
  // The stream reads and writes go through.  REQUIRES: open.
  TRadiVOStream& Stream() const { return *stream_; }
  const std::string& Name() const { return name_; }
  TRadiVOMediumType MediumType() const { return medium_; }
  bool Exclusive() const { return exclusive_; }
  bool ReadOnly() const { return read_only_; }
  bool FileIsReadOnly() const { return file_is_read_only_; }

  // Disk: flushes the file's data to the disk.  REQUIRES: open.
  void Flush() { stream_->Flush(); }
  // True after opening and after Flush(), false after any write.  Always true for memory.
  bool Flushed() const;

  // The file lock (see TRadiVOFileIO::Lock).  REQUIRES: open, not locked.
  // The failures are counted, and the settings asked, every WaitTime as
  // always, but in between the lock is tried every millisecond.  From its
  // first failed attempt on, a file object waiting for the lock says so to
  // the others: it holds a shared lock on a byte past the data (see
  // OthersWait) until it has the lock or gives up.
  void Lock();
  void Unlock();
  bool Locked() const { return locked_; }
  // Whether another file object (of any process) waits for the file lock.
  // One system call; false for memory.
  bool OthersWait() const;
  // Ends a stretch of operations under the lock: gives it up (when held)
  // and takes it again, but first, when others wait for it, waits until
  // they have taken it (their notices gone), for at most twice this
  // object's wait time and kTurnBound; then takes it as Lock does.  A waiter
  // that let a whole such wait pass is not waited for again until its
  // notice has gone.  Raises as Lock does.
  void Relock();
  static constexpr std::chrono::milliseconds kTurnBound{50};

  // The medium's size now, which also becomes the size last seen.
  int64_t Size() const {
    known_size_ = stream_->Size();
    return known_size_;
  }
  // Whether [pos, pos + size) lies inside the medium.  Answers from the size
  // last seen and asks the medium only when that says no, so a read costs no
  // system call for the size.
  bool WithinFile(int64_t pos, int64_t size) const {
    if (pos < 0 || size < 0) return false;
    if (pos <= known_size_ - size) return true;
    // Only a miss asks the medium: the file may have grown since it was last
    // seen (another opener's appends).
    known_size_ = stream_->Size();
    return pos <= known_size_ - size;
  }
  // The medium's stamp now (see TFileStamp): one fstat, no read of the file.
  TFileStamp Stamp() const;
  // After an own write that ended at `end`.
  void Written(int64_t end) {
    if (end > known_size_) known_size_ = end;
  }

 private:
  void OpenDisk(const std::string& name, bool read_only, bool exclusive, const THeaderCheck& check_header);
  void OpenMemory(const std::string& name, bool read_only, const THeaderCheck& check_header);

  std::string name_;
  TRadiVOMediumType medium_ = mtDisk;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool file_is_read_only_ = false;
  bool locked_ = false;
  // Relock waited out a waiter's notice that is still there.
  bool stale_notice_ = false;
  // The medium's size as last seen (see the invariants above).
  mutable int64_t known_size_ = 0;

  std::unique_ptr<TRadiVOFileStream> disk_;  // owned; set while a disk file is open
  std::shared_ptr<TMemoryStream> memory_;    // shared with the registry while open
  std::unique_ptr<TRadiVOStream> decorated_;  // owned; the test seam's stream over either
  TRadiVOStream* stream_ = nullptr;          // whichever of them is open

  TLockSettingsSource lock_settings_;
};

}  // namespace tdb
