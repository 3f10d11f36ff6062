// The table of decoded keys of one index.
#include "engine/storage/key_cache.h"

#include <algorithm>
#include <cstring>

namespace tdb {
namespace {

constexpr size_t kMinSlots = 64;

}  // namespace

void TKeyCache::Configure(size_t key_size, size_t budget_bytes) {
  key_size_ = key_size;
  places_ = {};
  bits_ = 0;
  max_slots_ = 0;
  if (key_size == 0) return;
  const size_t per_slot = key_size + sizeof(int32_t);
  size_t slots = kMinSlots;
  while (slots * 2 * per_slot <= budget_bytes) slots *= 2;
  if (slots * per_slot > budget_bytes) {
    key_size_ = 0;  // not even the smallest table fits: no cache
    return;
  }
  max_slots_ = slots;
}

int32_t TKeyCache::Prepare(size_t n) {
  if (!Enabled()) return 0;
  // Twice as many places as entries, up to the budget.
  size_t want = kMinSlots;
  while (want < 2 * n && want < max_slots_) want *= 2;
  want = std::min(want, max_slots_);
  const size_t per_place = sizeof(int32_t) + key_size_;
  if (want > places_.size() / per_place) {
    places_.assign(want * per_place, 0);
    for (size_t slot = 0; slot < want; ++slot) std::memcpy(Place(slot), &kNone, sizeof kNone);
    bits_ = 0;
    while ((size_t{1} << bits_) < want) ++bits_;
  }
  return bits_ - 1;
}

void TKeyCache::Clear() {
  const size_t places = places_.size() / (sizeof(int32_t) + key_size_);
  for (size_t slot = 0; slot < places; ++slot) std::memcpy(Place(slot), &kNone, sizeof kNone);
}

}  // namespace tdb
