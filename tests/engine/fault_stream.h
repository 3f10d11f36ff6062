// Fault injection under the file object: a stream decorator that makes the
// n-th write or flush fail, as a full disk or an I/O error does, installed
// for every file object opened while a TFaultScope lives.
#pragma once

#include <cerrno>
#include <cstring>
#include <memory>

#include "engine/base/database_error.h"
#include "engine/file/file_io.h"
#include "engine/file/radivo_stream.h"

namespace tdb::testing {

enum class TFault {
  kIoErrorOnce,    // the n-th write or flush fails and writes nothing; the medium recovers
  kIoErrorStays,   // from the n-th on, every write and flush fails and writes nothing
  kDiskFull,       // from the n-th on, a write that grows the medium writes half and fails;
                   // writes inside it and flushes still succeed, as on a full disk
};

// Counts the writes and flushes of every stream it decorates.
struct TFaultPlan {
  TFault kind = TFault::kIoErrorOnce;
  int fail_at = 0;  // 1-based number of the write or flush that fails first; 0: none
  int count = 0;    // writes and flushes seen
  int failures = 0;

  // Whether the operation counted now fails.
  bool Fails() {
    ++count;
    if (fail_at == 0 || count < fail_at) return false;
    return kind != TFault::kIoErrorOnce || count == fail_at;
  }
};

class TFaultStream : public TRadiVOStream {
 public:
  TFaultStream(TRadiVOStream& medium, TFaultPlan& plan) : medium_(medium), plan_(plan) {}

  int64_t Size() const override { return medium_.Size(); }
  size_t ReadAt(int64_t pos, uint8_t* dst, size_t n) const override { return medium_.ReadAt(pos, dst, n); }
  bool Writable() const override { return medium_.Writable(); }

  void WriteAt(int64_t pos, const uint8_t* src, size_t n) override {
    if (!plan_.Fails()) return medium_.WriteAt(pos, src, n);
    if (plan_.kind == TFault::kDiskFull) {
      int64_t end = medium_.Size();
      if (pos + static_cast<int64_t>(n) <= end) return medium_.WriteAt(pos, src, n);
      medium_.WriteAt(pos, src, n / 2);
    }
    ++plan_.failures;
    DatabaseError(plan_.kind == TFault::kDiskFull ? "Cannot write file: No space left on device"
                                                  : "Cannot write file: Input/output error");
  }

  void Flush() override {
    if (plan_.Fails() && plan_.kind != TFault::kDiskFull) {
      ++plan_.failures;
      DatabaseError("Cannot flush file: Input/output error");
    }
    medium_.Flush();
  }

 private:
  TRadiVOStream& medium_;
  TFaultPlan& plan_;
};

// Decorates every file object opened while it lives.
class TFaultScope {
 public:
  explicit TFaultScope(TFaultPlan& plan) {
    SetStreamDecorator([&plan](TRadiVOStream& medium) { return std::make_unique<TFaultStream>(medium, plan); });
  }
  ~TFaultScope() { SetStreamDecorator({}); }
  TFaultScope(const TFaultScope&) = delete;
  TFaultScope& operator=(const TFaultScope&) = delete;
};

}  // namespace tdb::testing
