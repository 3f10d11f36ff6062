// Holding a stretch's writes, reading through them, writing them out.
#include "engine/file/write_back.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <iterator>

namespace tdb {

void TWriteBack::Begin(int64_t medium_size) {
  Forget();
  active_ = true;
  size_ = medium_size_ = medium_size;
}

void TWriteBack::End() {
  Forget();
  active_ = false;
}

void TWriteBack::Forget() {
  for (TExtents& e : phases_) e.clear();
  empty_ = true;
  size_ = medium_size_;
}

void TWriteBack::Grew(int64_t end) {
  medium_size_ = std::max(medium_size_, end);
  size_ = std::max(size_, end);
}

void TWriteBack::Put(TExtents& extents, int64_t pos, const uint8_t* src, size_t n) {
  const int64_t end = pos + static_cast<int64_t>(n);
  auto it = extents.upper_bound(pos);
  if (it != extents.begin()) {
    auto prev = std::prev(it);
    const int64_t prev_end = prev->first + static_cast<int64_t>(prev->second.size());
    if (prev_end >= pos) {
      // The usual case: inside or right behind one run, none after it touched.
      if (it == extents.end() || it->first > end) {
        if (end > prev_end) prev->second.resize(static_cast<size_t>(end - prev->first));
        std::memcpy(prev->second.data() + (pos - prev->first), src, n);
        return;
      }
      it = prev;
    }
  }
  auto last = it;
  int64_t start = pos, stop = end;
  while (last != extents.end() && last->first <= end) {
    start = std::min(start, last->first);
    stop = std::max(stop, last->first + static_cast<int64_t>(last->second.size()));
    ++last;
  }
  if (it == last) {
    extents.emplace_hint(last, pos, std::vector<uint8_t>(src, src + n));
    return;
  }
  std::vector<uint8_t> merged(static_cast<size_t>(stop - start));
  for (auto e = it; e != last; ++e) std::memcpy(merged.data() + (e->first - start), e->second.data(), e->second.size());
  std::memcpy(merged.data() + (pos - start), src, n);
  extents.erase(it, last);
  extents.emplace(start, std::move(merged));
}

void TWriteBack::CopyOver(TExtents& extents, int64_t pos, const uint8_t* src, size_t n) {
  const int64_t end = pos + static_cast<int64_t>(n);
  auto it = extents.upper_bound(pos);
  if (it != extents.begin()) --it;
  for (; it != extents.end() && it->first < end; ++it) {
    const int64_t from = std::max(pos, it->first);
    const int64_t to = std::min(end, it->first + static_cast<int64_t>(it->second.size()));
    if (from < to) std::memcpy(it->second.data() + (from - it->first), src + (from - pos), static_cast<size_t>(to - from));
  }
}

bool TWriteBack::Inside(const TExtents& extents, int64_t pos, size_t n) {
  auto it = extents.upper_bound(pos);
  if (it == extents.begin()) return false;
  --it;
  return it->first + static_cast<int64_t>(it->second.size()) >= pos + static_cast<int64_t>(n);
}

void TWriteBack::Write(int phase, int64_t pos, const uint8_t* src, size_t n) {
  assert(active_ && phase >= 0 && phase < kPhases && pos <= size_);
  if (n == 0) return;
  if (phase != kUnreachable && Inside(phases_[kUnreachable], pos, n)) phase = kUnreachable;
  Put(phases_[phase], pos, src, n);
  for (int later = phase + 1; later < kPhases; ++later) CopyOver(phases_[later], pos, src, n);
  empty_ = false;
  size_ = std::max(size_, pos + static_cast<int64_t>(n));
}

void TWriteBack::Patch(int64_t pos, const uint8_t* src, size_t n) {
  for (TExtents& e : phases_) CopyOver(e, pos, src, n);
}

void TWriteBack::Overlay(int64_t pos, uint8_t* dst, size_t n) const {
  if (empty_) return;
  const int64_t end = pos + static_cast<int64_t>(n);
  for (const TExtents& extents : phases_) {
    auto it = extents.upper_bound(pos);
    if (it != extents.begin()) --it;
    for (; it != extents.end() && it->first < end; ++it) {
      const int64_t from = std::max(pos, it->first);
      const int64_t to = std::min(end, it->first + static_cast<int64_t>(it->second.size()));
      if (from < to) std::memcpy(dst + (from - pos), it->second.data() + (from - it->first), static_cast<size_t>(to - from));
    }
  }
}

void TWriteBack::WriteOut(TRadiVOStream& medium, const std::function<void()>& after_phase) {
  if (empty_) return;
  // The old bytes of what the counters and links overwrite, to put back
  // should a later write fail: the file then reads as before the stretch
  // (what the first phase wrote is unreachable again).
  struct TUndo {
    int64_t pos;
    std::vector<uint8_t> bytes;
  };
  std::vector<TUndo> undo;
  try {
    for (int phase = 0; phase < kPhases; ++phase) {
      TExtents& extents = phases_[phase];
      if (extents.empty()) continue;
      for (const auto& [pos, bytes] : extents) {
        if (phase != kUnreachable && pos < medium_size_) {
          TUndo old{pos, std::vector<uint8_t>(static_cast<size_t>(std::min<int64_t>(
                             static_cast<int64_t>(bytes.size()), medium_size_ - pos)))};
          old.bytes.resize(medium.ReadBeforeWrite(pos, old.bytes.data(), old.bytes.size()));
          undo.push_back(std::move(old));
        }
        medium.WriteAt(pos, bytes.data(), bytes.size());
        medium_size_ = std::max(medium_size_, pos + static_cast<int64_t>(bytes.size()));
      }
      extents.clear();
      if (after_phase) after_phase();
    }
  } catch (...) {
    try {
      for (auto it = undo.rbegin(); it != undo.rend(); ++it) medium.WriteAt(it->pos, it->bytes.data(), it->bytes.size());
    } catch (...) {
    }
    try {
      medium_size_ = medium.Size();
    } catch (...) {
    }
    Forget();
    throw;
  }
  Forget();
}

}  // namespace tdb
