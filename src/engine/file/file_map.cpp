// The memory map of a database file and the guard of its copies.
#include "engine/file/file_map.h"

#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <limits>
#include <mutex>

namespace tdb {
namespace {

// The largest database file: every position in it is a 32-bit integer.
constexpr size_t kReservedBytes = static_cast<size_t>(std::numeric_limits<int32_t>::max()) + 1;

// The copy in progress on this thread, if any: a fault while it is set ends
// the copy instead of the process.
// volatile: the stores around the copy must happen in program order, or an
// optimiser would drop the first one as overwritten before any call.
thread_local sigjmp_buf* volatile copy_guard = nullptr;
struct sigaction previous_bus_action;

void OnBusError(int sig, siginfo_t* info, void* context) {
  if (sigjmp_buf* guard = copy_guard) {
    copy_guard = nullptr;
    siglongjmp(*guard, 1);
  }
  // Not ours: hand the fault to whoever handled it before.
  if (previous_bus_action.sa_flags & SA_SIGINFO) {
    if (previous_bus_action.sa_sigaction) {
      previous_bus_action.sa_sigaction(sig, info, context);
      return;
    }
  } else if (previous_bus_action.sa_handler != SIG_DFL && previous_bus_action.sa_handler != SIG_IGN) {
    previous_bus_action.sa_handler(sig);
    return;
  }
  // The default action: restore it and let the faulting access run again.
  signal(sig, SIG_DFL);
}

void InstallBusHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = OnBusError;
    sigemptyset(&action.sa_mask);
    // SA_NODEFER: leaving the handler by siglongjmp must not leave SIGBUS blocked.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigaction(SIGBUS, &action, &previous_bus_action);
  });
}

// memcpy that gives up when the source faults.  Kept out of line so that
// nothing of the caller lives in registers across the jump.
[[gnu::noinline]] bool GuardedCopy(uint8_t* dst, const uint8_t* src, size_t n) {
  sigjmp_buf env;
  if (sigsetjmp(env, 0) != 0) return false;
  copy_guard = &env;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(dst, src, n);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  copy_guard = nullptr;
  return true;
}

}  // namespace

TFileMap::TFileMap(int fd) : fd_(fd) {}

TFileMap::~TFileMap() {
  if (base_) munmap(const_cast<uint8_t*>(base_), kReservedBytes);
}

bool TFileMap::Map() {
  if (base_) return true;
  if (map_failed_) return false;
  void* p = mmap(nullptr, kReservedBytes, PROT_READ, MAP_SHARED | MAP_NORESERVE, fd_, 0);
  if (p == MAP_FAILED) {
    map_failed_ = true;  // the usual reads serve
    return false;
  }
  madvise(p, kReservedBytes, MADV_RANDOM);
  InstallBusHandler();
  base_ = static_cast<const uint8_t*>(p);
  return true;
}

bool TFileMap::Refresh() {
  struct stat st;
  if (fstat(fd_, &st) != 0) return false;
  known_size_ = static_cast<int64_t>(st.st_size);
  return true;
}

void TFileMap::Touch(int64_t pos) {
  static_assert(kStretchBytes / kWindowBytes == 32, "one bit per window of a stretch");
  const size_t stretch = static_cast<size_t>(pos / kStretchBytes);
  if (stretch >= windows_.size()) windows_.resize(stretch + 1, 0);
  uint32_t& bits = windows_[stretch];
  const uint32_t window = uint32_t{1} << ((pos % kStretchBytes) / kWindowBytes);
  if (bits & window) return;
  bits |= window;
  if (std::popcount(bits) < 3) return;
#ifdef MADV_POPULATE_READ
  // The stretch as far as the file reaches now (its last page may be partly
  // past the end); windows beyond stay unmarked, for when the file grows.
  const int64_t start = static_cast<int64_t>(stretch) * kStretchBytes;
  const int64_t page = sysconf(_SC_PAGESIZE);
  const int64_t end = std::min(start + kStretchBytes, (known_size_ + page - 1) / page * page);
  if (end <= start) return;
  // A failure (an older kernel, the file cut short) leaves the pages to be
  // mapped one touch at a time, as without this.
  madvise(const_cast<uint8_t*>(base_) + start, static_cast<size_t>(end - start), MADV_POPULATE_READ);
  const int64_t whole = (end - start) / kWindowBytes;
  bits |= whole >= 32 ? ~uint32_t{0} : (uint32_t{1} << whole) - 1;
#endif
}

bool TFileMap::ReadMapped(int64_t pos, uint8_t* dst, size_t n) {
  if (!base_ || pos < 0 || n == 0 || n > static_cast<size_t>(kStretchBytes)) return false;
  const int64_t end = pos + static_cast<int64_t>(n);
  if (end > known_size_) return false;
  for (size_t stretch = static_cast<size_t>(pos / kStretchBytes); stretch <= static_cast<size_t>((end - 1) / kStretchBytes);
       ++stretch)
    if (stretch >= windows_.size() || windows_[stretch] != ~uint32_t{0}) return false;
  if (GuardedCopy(dst, base_ + pos, n)) return true;
  Refresh();
  return false;
}

bool TFileMap::Read(int64_t pos, uint8_t* dst, size_t n) {
  if (pos < 0 || n > kReservedBytes || !Map()) return false;
  const int64_t end = pos + static_cast<int64_t>(n);
  if (end > known_size_ && (!Refresh() || end > known_size_)) return false;
  if (end > static_cast<int64_t>(kReservedBytes)) return false;
  Touch(pos);
  if (end - 1 >= (pos | (kStretchBytes - 1))) Touch(end - 1);
  if (GuardedCopy(dst, base_ + pos, n)) return true;
  // The file shrank under the map: what is known of its size is no more.
  Refresh();
  return false;
}

}  // namespace tdb
