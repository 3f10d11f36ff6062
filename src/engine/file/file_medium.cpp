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
// The byte on which a file object that waits for the file lock says so: a
// shared lock on it while it waits.  It lies past every position a file can
// hold (positions are 31-bit), so no data is ever under it.
constexpr off_t kWaiterByte = off_t{1} << 31;

// One attempt, never blocking, to set (or with F_UNLCK clear) a lock of
// `type` on byte `byte` of the open file description; errno tells why not.
bool SetByteLock(int descriptor, off_t byte, short type) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  // Open-file-description locks, so two file objects on one file exclude
  // each other even inside one process.
  return ::fcntl(descriptor, F_OFD_SETLK, &fl) == 0;
}

// The shared lock on the waiter byte, held from the first failed attempt at
// the file lock until the attempts end (lock taken, given up, or a failure).
// Should the system refuse it, the wait goes on unannounced, as it always
// did.
class TWaitNotice {
 public:
  explicit TWaitNotice(int descriptor) : descriptor_(descriptor) {}
  ~TWaitNotice() {
    if (held_) SetByteLock(descriptor_, kWaiterByte, F_UNLCK);
  }
  TWaitNotice(const TWaitNotice&) = delete;
  TWaitNotice& operator=(const TWaitNotice&) = delete;
  void Give() {
    if (!held_) held_ = SetByteLock(descriptor_, kWaiterByte, F_RDLCK);
  }

 private:
  int descriptor_;
  bool held_ = false;
};

using TClock = std::chrono::steady_clock;
// How often a waiter tries for the lock, and a holder that gave it up looks
// whether the waiters have had their turn.
constexpr auto kTurnPoll = std::chrono::milliseconds(1);

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
  const int descriptor = disk_->Descriptor();
  // A write lock needs a writable descriptor; a read-only open can only
  // keep writers out.
  const short type = disk_->Writable() ? F_WRLCK : F_RDLCK;
  auto attempt = [&] {
    if (SetByteLock(descriptor, kLockByte, type)) return true;
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
      TErrorParams params = FileParams(name_);
      params.SystemError = errno;
      DatabaseError(ekIoFailure, Format("Cannot lock file %s: %s", {name_, std::strerror(params.SystemError)}), params);
    }
    return false;
  };
  TWaitNotice notice(descriptor);
  int32_t failures = 0;
  while (!attempt()) {
    // From the first failure on, a holder that ends a stretch of operations
    // lets us have the lock before it takes it again (Relock).
    notice.Give();
    TLockSettings settings = lock_settings_ ? lock_settings_() : TLockSettings{};
    ++failures;
    if (settings.RetryCount != 0 && failures > settings.RetryCount)
      DatabaseError(ekLockTimeout, "Wait for unlock time out", FileParams(name_));
    // The wait before the next attempt is spent looking every millisecond,
    // so that a holder handing the lock over is not kept waiting for the
    // whole of it.
    const TClock::time_point next = TClock::now() + std::chrono::milliseconds(std::max<int32_t>(settings.WaitTime, 0));
    for (;;) {
      const TClock::time_point now = TClock::now();
      if (now >= next) break;
      if (next - now <= kTurnPoll) {
        std::this_thread::sleep_until(next);
        break;
      }
      std::this_thread::sleep_for(kTurnPoll);
      if (attempt()) {
        locked_ = true;
        return;
      }
    }
  }
  locked_ = true;
}

void TFileMedium::Unlock() {
  if (!locked_ || !disk_) {
    locked_ = false;
    return;
  }
  SetByteLock(disk_->Descriptor(), kLockByte, F_UNLCK);
  locked_ = false;
}

bool TFileMedium::OthersWait() const {
  if (!disk_) return false;
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kWaiterByte;
  fl.l_len = 1;
  // Our own notice never conflicts with our own description's locks.
  if (::fcntl(disk_->Descriptor(), F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

void TFileMedium::Relock() {
  Unlock();
  if (!disk_) return;
  if (!OthersWait()) {
    stale_notice_ = false;
    Lock();
    return;
  }
  if (stale_notice_) {
    // A waiter that did not take the free lock last time (a stopped
    // process): not waited for again until its notice has gone.
    Lock();
    return;
  }
  // Waiters try every millisecond; the bound leaves room for one that is
  // slow to get the processor on a loaded machine.
  const TLockSettings settings = lock_settings_ ? lock_settings_() : TLockSettings{};
  const auto wait_time = std::chrono::milliseconds(std::max<int32_t>(settings.WaitTime, 0));
  const TClock::time_point until = TClock::now() + 2 * wait_time + kTurnBound;
  bool waited_out = true;
  while (TClock::now() < until) {
    std::this_thread::sleep_for(kTurnPoll);
    if (!OthersWait()) {
      waited_out = false;
      break;
    }
  }
  stale_notice_ = waited_out;
  Lock();
}

}  // namespace tdb
