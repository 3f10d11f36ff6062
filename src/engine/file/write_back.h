// TWriteBack: the writes of a stretch of appends held in memory, so that the
// stretch reaches the medium in a few large writes instead of a dozen small
// ones per record.
//
// Each held write belongs to a phase, and the stretch is written out phase
// by phase, so that what a phase makes reachable is on the medium before it:
//   kUnreachable  bytes nothing reaches yet: new blocks and records at the
//                 end of the file, the record and index table entries of
//                 records beyond the stored record count;
//   kCounters     the table header's counters (the record count makes the
//                 records of the first phase exist);
//   kLinks        the chain links that lead to the new records (a
//                 predecessor's link, a chain head).
// A write that falls wholly inside bytes first written in the stretch's
// kUnreachable phase is unreachable too (a link in a new record's entry) and
// joins that phase.  A later write over bytes a later phase holds updates
// them there as well, so the bytes written last are always the newest: the
// highest phase that holds a byte holds its newest value.
//
// Reads see the held bytes over the medium's (Overlay), and the file's size
// is the size with them (Size).  Bytes between the medium's size at Begin
// and Size() are all held (appends are contiguous at the end).
//
// One thread at a time, like the file object that owns it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "engine/file/radivo_stream.h"

namespace tdb {

class TWriteBack {
 public:
  enum TPhase : int { kUnreachable = 0, kCounters = 1, kLinks = 2 };
  static constexpr int kPhases = 3;

  bool Active() const { return active_; }
  // Holds no bytes.
  bool Empty() const { return empty_; }
  // Starts holding writes of a medium of `medium_size` bytes.
  void Begin(int64_t medium_size);
  // Forgets what it holds and stops.
  void End();
  // The file's size with the held bytes.
  int64_t Size() const { return size_; }
  // The medium's size as far as known (written by us or seen at Begin).
  int64_t MediumSize() const { return medium_size_; }
  // A write that went to the medium directly ended at `end`.
  void Grew(int64_t end);

  // Holds a write of phase `phase`.  REQUIRES: active, pos <= Size().
  void Write(int phase, int64_t pos, const uint8_t* src, size_t n);
  // Puts `src` over the held bytes at [pos, pos + n) in every phase (the
  // undo of a change that failed); bytes not held are left alone.
  void Patch(int64_t pos, const uint8_t* src, size_t n);
  // Copies the held bytes of [pos, pos + n) over dst.
  void Overlay(int64_t pos, uint8_t* dst, size_t n) const;

  // Writes what it holds to `medium`, phase by phase, each run of held bytes
  // with one write, calling `after_phase` behind every phase that wrote
  // anything; then holds nothing.  When a write or `after_phase` raises,
  // the bytes the counters and links had overwritten are put back (the
  // medium then reads as before the stretch, unless that fails too), what
  // was held is forgotten, and the error goes on.
  void WriteOut(TRadiVOStream& medium, const std::function<void()>& after_phase);

 private:
  using TExtents = std::map<int64_t, std::vector<uint8_t>>;  // by position; never overlapping
  static void Put(TExtents& extents, int64_t pos, const uint8_t* src, size_t n);
  static void CopyOver(TExtents& extents, int64_t pos, const uint8_t* src, size_t n);
  static bool Inside(const TExtents& extents, int64_t pos, size_t n);
  void Forget();

  bool active_ = false;
  bool empty_ = true;
  int64_t size_ = 0;
  int64_t medium_size_ = 0;
  TExtents phases_[kPhases];
};

}  // namespace tdb
