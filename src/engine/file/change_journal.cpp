// The old bytes of a change under way, and writing them back.
#include "engine/file/change_journal.h"

#include <cassert>

namespace tdb {

void TChangeJournal::Begin(int64_t file_size) {
  assert(!active_ && "changes do not nest");
  undo_.clear();
  start_size_ = file_size;
  active_ = true;
}

void TChangeJournal::End() {
  active_ = false;
  undo_.clear();
}

void TChangeJournal::Keep(int64_t pos, std::vector<uint8_t> old) {
  assert(active_ && pos + static_cast<int64_t>(old.size()) <= start_size_);
  undo_.push_back({pos, std::move(old)});
}

bool TChangeJournal::RollBack(TRadiVOStream* medium) noexcept {
  active_ = false;  // the rollback's own writes are not kept
  bool ok = true;
  try {
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) medium->WriteAt(it->pos, it->bytes.data(), it->bytes.size());
  } catch (...) {
    ok = false;
  }
  undo_.clear();
  return ok;
}

}  // namespace tdb
