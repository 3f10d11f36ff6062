// TChangeJournal: what undoes a change to a database file that failed half-way.
//
// From Begin on, the file object hands the journal the old bytes of every
// write that lands inside the file as it was then (its size at Begin); bytes
// written beyond that end need nothing, as no position reaches them once the
// old bytes are back.  RollBack writes the old bytes back, newest first, and
// ends the change; End forgets them.
//
// The journal owns its copies of the old bytes.  Invariants: it holds
// entries only while a change is under way; every entry lies below the size
// the file had at Begin; changes do not nest.  One thread at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/file/radivo_stream.h"

namespace tdb {

class TChangeJournal {
 public:
  // Starts a change of a file that is `file_size` bytes long.  REQUIRES: no
  // change under way.
  void Begin(int64_t file_size);
  // Ends the change and forgets the old bytes.  Safe without a change.
  void End();
  bool Active() const { return active_; }
  // The file's size when the change began.
  int64_t StartSize() const { return start_size_; }

  // Keeps `old`, the bytes at `pos` that a write is about to replace.
  // REQUIRES: a change under way, pos + old.size() <= StartSize().
  void Keep(int64_t pos, std::vector<uint8_t> old);

  // Writes the kept bytes back through `medium`, newest first, and ends the
  // change; false when a write failed (the medium is then as the failure
  // left it).  `medium` may be null only when nothing was kept.
  bool RollBack(TRadiVOStream* medium) noexcept;

 private:
  struct TUndoEntry {
    int64_t pos;
    std::vector<uint8_t> bytes;
  };
  bool active_ = false;
  int64_t start_size_ = 0;
  std::vector<TUndoEntry> undo_;  // in write order
};

}  // namespace tdb
