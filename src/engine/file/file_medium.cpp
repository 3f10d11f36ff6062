// The medium of an open database: opening a disk file or a memory stream,
// the sharing of a disk file between opens, and the file lock.
#include "engine/file/file_medium.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "engine/base/database_error.h"
#include "engine/file/file_stream.h"
#include "engine/file/memory_stream.h"

namespace tdb {
namespace {

// The byte whose lock serialises operations between file objects.
constexpr off_t kLockByte = 1;

std::mutex& DecoratorMutex() {
  static std::mutex m;
  return m;
}
TStreamDecorator& Decorator() {
  static TStreamDecorator d;
  return d;
}
TStreamDecorator CurrentDecorator() {
  std::lock_guard guard(DecoratorMutex());
  return Decorator();
}

}  // namespace

void SetStreamDecorator(TStreamDecorator decorator) {
  std::lock_guard guard(DecoratorMutex());
  Decorator() = std::move(decorator);
}

TFileMedium::TFileMedium() = default;

TFileMedium::~TFileMedium() { Close(); }

void TFileMedium::Open(const std::string& name, TRadiVOMediumType medium, bool read_only, bool exclusive,
                       const THeaderCheck& check_header) {
  name_ = name;
  medium_ = medium;
  exclusive_ = exclusive;
  if (medium == mtMemory)
    OpenMemory(name, read_only, check_header);
  else
    OpenDisk(name, read_only, exclusive, check_header);
  if (TStreamDecorator decorate = CurrentDecorator()) {
    decorated_ = decorate(*stream_);
    stream_ = decorated_.get();
  }
}

void TFileMedium::OpenDisk(const std::string& name, bool read_only, bool exclusive,
                           const THeaderCheck& check_header) {
  struct stat st;
  if (::stat(name.c_str(), &st) != 0) {
    TErrorParams params = FileParams(name);
    params.SystemError = errno;
    params.Open = errno == ENOENT || errno == ENOTDIR ? ofMissing : errno == EACCES ? ofNoPermission : ofOther;
    if (params.Open == ofMissing) DatabaseError(ekCannotOpen, Format("Cannot open file %s", {name}), params);
    DatabaseError(ekCannotOpen, Format("Cannot open file %s: %s", {name, std::strerror(params.SystemError)}), params);
  }
  if (S_ISDIR(st.st_mode)) {
    TErrorParams params = FileParams(name);
    params.Open = ofFolder;
    DatabaseError(ekCannotOpen, Format("Cannot open file %s: it is a folder", {name}), params);
  }
  {
    // The header is checked on a handle of its own before the file is
    // opened for use, so that a foreign file is never opened for writing.
    TRadiVOFileStream probe(name, false);
    check_header(probe);
  }
  // As root access() grants writing to every file, so a file that nobody may
  // write counts as read-only too.
  file_is_read_only_ = ::access(name.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0;
  read_only_ = read_only || file_is_read_only_;
  disk_ = std::make_unique<TRadiVOFileStream>(name, !read_only_);
  // Sharing between opens: every open holds a flock on its own open file
  // description, shared normally, exclusive for an exclusive open.  flock
  // needs no writable descriptor and does not interact with the byte lock.
  if (::flock(disk_->Descriptor(), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    TErrorParams params = FileParams(name);
    params.SystemError = errno;
    params.Open = errno == EWOULDBLOCK ? ofInUse : ofOther;
    if (params.Open == ofInUse)
      DatabaseError(ekCannotOpen, Format("Cannot open file %s: it is in use", {name}), params);
    DatabaseError(ekCannotOpen, Format("Cannot open file %s: %s", {name, std::strerror(params.SystemError)}), params);
  }
  stream_ = disk_.get();
}

void TFileMedium::OpenMemory(const std::string& name, bool read_only, const THeaderCheck& check_header) {
  memory_ = FindMemoryStream(name);
  check_header(*memory_);
  file_is_read_only_ = false;
  read_only_ = read_only;
  stream_ = memory_.get();
}

void TFileMedium::Close() {
  Unlock();
  stream_ = nullptr;
  decorated_.reset();
  known_size_ = 0;
  disk_.reset();  // closing the descriptor drops its flock and byte locks
  memory_.reset();
}

bool TFileMedium::Flushed() const { return disk_ ? disk_->Flushed() : true; }

TFileStamp TFileMedium::Stamp() const {
  TFileStamp stamp;
  if (!disk_) {
    stamp.size = memory_ ? memory_->Size() : stream_->Size();
    stamp.modified_ns = memory_ ? static_cast<int64_t>(memory_->Writes()) : 0;
    stamp.settled = true;
    return stamp;
  }
  struct stat st;
  if (::fstat(disk_->Descriptor(), &st) != 0) return stamp;  // unsettled: the holder looks at the file
  auto ns = [](const struct timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
  stamp.device = static_cast<uint64_t>(st.st_dev);
  stamp.inode = static_cast<uint64_t>(st.st_ino);
  stamp.size = static_cast<int64_t>(st.st_size);
  stamp.modified_ns = ns(st.st_mtim);
  stamp.changed_ns = ns(st.st_ctim);
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  // A write sets both times; only the modification time can be set back
  // (the status time then tells).  A clock behind the file's (another
  // machine's file server) leaves the stamp unsettled until it catches up.
  stamp.settled = ns(now) - stamp.modified_ns >= kStampSettleNs;
  return stamp;
}

void TFileMedium::Lock() {
  if (!disk_) return;
  assert(!locked_ && "the file lock is never nested");
  int32_t failures = 0;
  for (;;) {
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    // A write lock needs a writable descriptor; a read-only open can only
    // keep writers out.
    fl.l_type = disk_->Writable() ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockByte;
    fl.l_len = 1;
    // Open-file-description locks, so two file objects on one file exclude
    // each other even inside one process.
    if (::fcntl(disk_->Descriptor(), F_OFD_SETLK, &fl) == 0) {
      locked_ = true;
      return;
    }
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
      TErrorParams params = FileParams(name_);
      params.SystemError = errno;
      DatabaseError(ekIoFailure, Format("Cannot lock file %s: %s", {name_, std::strerror(params.SystemError)}), params);
    }
    TLockSettings settings = lock_settings_ ? lock_settings_() : TLockSettings{};
    ++failures;
    if (settings.RetryCount != 0 && failures > settings.RetryCount)
      DatabaseError(ekLockTimeout, "Wait for unlock time out", FileParams(name_));
    std::this_thread::sleep_for(std::chrono::milliseconds(std::max<int32_t>(settings.WaitTime, 0)));
  }
}

void TFileMedium::Unlock() {
  if (!locked_ || !disk_) {
    locked_ = false;
    return;
  }
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = F_UNLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLockByte;
  fl.l_len = 1;
  ::fcntl(disk_->Descriptor(), F_OFD_SETLK, &fl);
  locked_ = false;
}

}  // namespace tdb
