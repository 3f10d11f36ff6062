// Keys and the binary searches of the index lists: a key from the caller's
// buffers or as stored, the comparison of a key with a list entry (through
// the kept keys of key_cache.h for the probes every search makes), the
// search for a key or its first or last equal entry, and the gap a new key
// goes into with its neighbours.
//
// Invariants: a list searched here is ordered by its index as the file was
// when it was loaded; kept keys are those of the file as loaded and are
// dropped with every load and forgotten for every record a change touches;
// an equal key found through a kept key is read from the file again before
// a search reports it.
#include "engine/storage/table_io.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "engine/base/database_error.h"
#include "engine/compare/collation.h"
#include "engine/storage/blob_stream.h"
#include "engine/storage/table_key.h"

namespace tdb {

TDadaTableIO::TKey TDadaTableIO::KeyFromBuffers(const TFieldBuffers& buffers, int32_t index_no,
                                                int32_t key_field_count, int32_t fallback_offset) const {
  const TDadaIndexDef& index = index_defs_[index_no];
  int32_t count = static_cast<int32_t>(index.FieldNos.size());
  if (key_field_count > 0) count = std::min(count, key_field_count);
  TKey key;
  for (int32_t k = 0; k < count; ++k) {
    int32_t f = index.FieldNos[static_cast<size_t>(k)];
    TFieldType type = field_defs_[f].FieldType;
    const TFieldBufferItem* item = f < buffers.Count() ? &buffers.Item(f) : nullptr;
    bool active = item && item->Active && (IsBlobFieldType(type) ? item->Stream != nullptr : item->Buffer != nullptr);
    if (active && IsBlobFieldType(type)) {
      const std::vector<uint8_t>& bytes = item->Stream->Bytes();
      key.AddBorrowed(bytes.data(), bytes.size(), type, static_cast<std::ptrdiff_t>(bytes.size()));
      continue;
    }
    size_t slot = static_cast<size_t>(SlotSize(f));
    if (active && IsStringFieldType(type)) {
      key.AddBorrowed(item->Buffer, static_cast<size_t>(item->DataSize), type, item->DataSize);
      continue;
    }
    if (active && static_cast<size_t>(item->DataSize) >= slot) {
      key.AddBorrowed(item->Buffer, slot, type, -1);
      continue;
    }
    // No usable value: the stored one when rewriting, else the initial zeros
    // (a short buffer contributes what it has).
    if (!active && fallback_offset >= 0) {
      std::vector<uint8_t> stored(slot);
      if (IsBlobFieldType(type)) {
        stored = const_cast<TRadiVOFileIO&>(file_).ReadBlobData(
            static_cast<int64_t>(fallback_offset) + field_offsets_[static_cast<size_t>(f)], FieldCompressed(f),
            FieldEncrypted(f));
      } else {
        ReadSlot(fallback_offset, f, stored.data());
      }
      // A string slot counts up to FieldSize characters even without its NUL.
      std::ptrdiff_t length = IsBlobFieldType(type)     ? static_cast<std::ptrdiff_t>(stored.size())
                              : IsStringFieldType(type) ? static_cast<std::ptrdiff_t>(stored.size()) - 1
                                                        : -1;
      key.AddOwned(std::move(stored), type, length);
      continue;
    }
    std::vector<uint8_t> value(IsBlobFieldType(type) ? 0 : slot, 0);
    if (active) std::memcpy(value.data(), item->Buffer, static_cast<size_t>(item->DataSize));
    std::ptrdiff_t length = IsBlobFieldType(type) || IsStringFieldType(type) ? static_cast<std::ptrdiff_t>(value.size()) : -1;
    key.AddOwned(std::move(value), type, length);
  }
  return key;
}

TDadaTableIO::TKey TDadaTableIO::StoredKey(int32_t data_offset, int32_t index_no) const {
  // KeyFromBuffers with no value given: every key field as stored.
  TKey key;
  for (int32_t f : index_defs_[index_no].FieldNos) {
    const TFieldType type = field_defs_[f].FieldType;
    if (IsBlobFieldType(type)) {
      std::vector<uint8_t> stored = const_cast<TRadiVOFileIO&>(file_).ReadBlobData(
          static_cast<int64_t>(data_offset) + field_offsets_[static_cast<size_t>(f)], FieldCompressed(f),
          FieldEncrypted(f));
      const std::ptrdiff_t length = static_cast<std::ptrdiff_t>(stored.size());
      key.AddOwned(std::move(stored), type, length);
      continue;
    }
    std::vector<uint8_t> stored(static_cast<size_t>(SlotSize(f)));
    ReadSlot(data_offset, f, stored.data());
    // A string slot counts up to FieldSize characters even without its NUL.
    const std::ptrdiff_t length = IsStringFieldType(type) ? static_cast<std::ptrdiff_t>(stored.size()) - 1 : -1;
    key.AddOwned(std::move(stored), type, length);
  }
  return key;
}

int TDadaTableIO::CompareWithEntry(const TKey& key, const TListItem& entry, int32_t index_no, bool partial) const {
  const TDadaIndexDef& index = index_defs_[index_no];
  bool case_insensitive = index.Has(tiCaseInsensitive);
  for (int32_t k = 0; k < key.Count(); ++k) {
    int32_t f = index.FieldNos[static_cast<size_t>(k)];
    TFieldType type = field_defs_[f].FieldType;
    int result;
    if (IsBlobFieldType(type)) {
      std::vector<uint8_t> stored = const_cast<TRadiVOFileIO&>(file_).ReadBlobData(
          static_cast<int64_t>(entry.DataOffset) + field_offsets_[static_cast<size_t>(f)], FieldCompressed(f),
          FieldEncrypted(f));
      stored.push_back(0);
      result = tdb::CompareKeyValue(key.Value(k),
                                    TFieldValue{stored.data(), type, static_cast<std::ptrdiff_t>(stored.size() - 1)},
                                    partial, case_insensitive);
    } else {
      // Only this field's slot is read; the scratch buffer is sized at open.
      uint8_t* value = scratch_value_.data();
      ReadSlot(entry.DataOffset, f, value);
      std::ptrdiff_t length = IsStringFieldType(type) ? SlotSize(f) - 1 : -1;
      result = tdb::CompareKeyValue(key.Value(k), TFieldValue{value, type, length}, partial, case_insensitive);
    }
    if (result != 0) return index.Has(tiDescending) ? -result : result;
  }
  return 0;
}

int32_t TDadaTableIO::PrepareKeyCache(int32_t index_no, const TRecordList& list) const {
  if (static_cast<size_t>(index_no) >= key_caches_.size()) return 0;
  TKeyCache& cache = key_caches_[static_cast<size_t>(index_no)];
  return cache.Enabled() ? cache.Prepare(list.size()) : 0;
}

int TDadaTableIO::CompareProbe(const TKey& key, const TListItem& entry, int32_t index_no, bool partial,
                               int32_t depth, int32_t keep_depth, bool& kept) const {
  kept = false;
  if (depth >= keep_depth) return CompareWithEntry(key, entry, index_no, partial);
  TKeyCache& cache = key_caches_[static_cast<size_t>(index_no)];
  const TDadaIndexDef& index = index_defs_[index_no];
  const uint8_t* values = cache.Find(entry.RecIndex);
  if (values) {
    kept = true;
  } else {
    uint8_t* place = cache.Claim(entry.RecIndex);
    try {
      size_t at = 0;
      for (int32_t f : index.FieldNos) {
        ReadSlot(entry.DataOffset, f, place + at);
        at += static_cast<size_t>(SlotSize(f));
      }
    } catch (...) {
      cache.Forget(entry.RecIndex);
      throw;
    }
    values = place;
  }
  const bool case_insensitive = index.Has(tiCaseInsensitive);
  size_t at = 0;
  for (int32_t k = 0; k < key.Count(); ++k) {
    const int32_t f = index.FieldNos[static_cast<size_t>(k)];
    const TFieldType type = field_defs_[f].FieldType;
    // As CompareWithEntry: a string counts up to its slot's last byte.
    const std::ptrdiff_t length = IsStringFieldType(type) ? SlotSize(f) - 1 : -1;
    const int result = tdb::CompareKeyValue(key.Value(k), TFieldValue{values + at, type, length}, partial, case_insensitive);
    if (result != 0) return index.Has(tiDescending) ? -result : result;
    at += static_cast<size_t>(SlotSize(f));
  }
  return 0;
}

void TDadaTableIO::ForgetKeys(int32_t rec_index) const {
  for (TKeyCache& cache : key_caches_) cache.Forget(rec_index);
}

void TDadaTableIO::ClearKeyCaches() const {
  for (TKeyCache& cache : key_caches_) cache.Clear();
}

size_t TDadaTableIO::KeyCacheBytes() const {
  size_t bytes = 0;
  for (const TKeyCache& cache : key_caches_) bytes += cache.MemoryBytes();
  return bytes;
}

TSearchResult TDadaTableIO::Search(const TKey& key, const TRecordList& list, int32_t index_no, bool partial,
                                   bool use_cache) const {
  TSearchResult result;
  const int32_t keep_depth = use_cache ? PrepareKeyCache(index_no, list) : 0;
  int64_t lo = 0, hi = static_cast<int64_t>(list.size()) - 1;
  for (int32_t depth = 0; lo <= hi; ++depth) {
    int64_t mid = (lo + hi) / 2;
    result.Position = static_cast<int32_t>(mid);
    bool kept = false;
    int c = CompareProbe(key, list[static_cast<size_t>(mid)], index_no, partial, depth, keep_depth, kept);
    if (c == 0) {
      // A find is reported only as the file has it: a record whose key
      // another writer changed in place is no find, and what was kept of the
      // index is read anew.
      if (kept && CompareWithEntry(key, list[static_cast<size_t>(mid)], index_no, partial) != 0) {
        key_caches_[static_cast<size_t>(index_no)].Clear();
        return Search(key, list, index_no, partial, false);
      }
      result.Side = kSearchEqual;
      break;
    }
    if (c < 0) {
      result.Side = kSearchSmaller;
      hi = mid - 1;
    } else {
      result.Side = kSearchGreater;
      lo = mid + 1;
    }
  }
  return result;
}

TSearchResult TDadaTableIO::SearchBound(const TKey& key, const TRecordList& list, int32_t index_no, bool partial,
                                        bool first) const {
  TSearchResult result;
  int32_t equal_at = -1;
  const int32_t keep_depth = PrepareKeyCache(index_no, list);
  int64_t lo = 0, hi = static_cast<int64_t>(list.size()) - 1;
  for (int32_t depth = 0; lo <= hi; ++depth) {
    int64_t mid = (lo + hi) / 2;
    bool kept = false;
    int c = CompareProbe(key, list[static_cast<size_t>(mid)], index_no, partial, depth, keep_depth, kept);
    if (c == 0) {
      equal_at = static_cast<int32_t>(mid);
      if (first) hi = mid - 1;
      else lo = mid + 1;
    } else {
      if (equal_at < 0) {
        result.Side = c < 0 ? kSearchSmaller : kSearchGreater;
        result.Position = static_cast<int32_t>(mid);
      }
      if (c < 0) hi = mid - 1;
      else lo = mid + 1;
    }
  }
  if (equal_at >= 0) {
    result.Position = equal_at;
    result.Side = kSearchEqual;
  }
  return result;
}

int32_t TDadaTableIO::InsertPosition(const TKey& key, const TRecordList& list, int32_t index_no) const {
  return FindGap(key, list, index_no).pos;
}

TDadaTableIO::TGap TDadaTableIO::FindGap(const TKey& key, const TRecordList& list, int32_t index_no) const {
  TGap gap;
  const int64_t n = static_cast<int64_t>(list.size());
  if (n == 0) return gap;
  // A key above the last entry goes behind it, which is where the search
  // would put it too (every probe finds the key greater): appends in key
  // order, such as receipt numbers, cost one comparison instead of log n.
  // Comparisons made through kept keys place the key, but count as not made
  // for the checks that follow (GapOnDisk, CheckUnique): those read the file.
  const int32_t keep_depth = PrepareKeyCache(index_no, list);
  bool kept = false;
  const int last = CompareProbe(key, list[static_cast<size_t>(n - 1)], index_no, false, 0, keep_depth, kept);
  const int last_cmp = kept ? TGap::kNotCompared : last;
  if (last > 0) {
    gap.pos = static_cast<int32_t>(n);
    gap.before = list[static_cast<size_t>(n - 1)];
    gap.before_cmp = last_cmp;
    return gap;
  }
  // The search as Search() makes it, remembering the comparisons made next
  // to where it ends: a search that ends between two entries has compared
  // the key with both.
  int64_t lo = 0, hi = n - 1, at = -1;
  int64_t greater_at = -1, smaller_at = n - 1;
  int greater_cmp = TGap::kNotCompared, smaller_cmp = last_cmp;
  bool at_kept = false;
  for (int32_t depth = 0; lo <= hi; ++depth) {
    int64_t mid = (lo + hi) / 2;
    int c = CompareProbe(key, list[static_cast<size_t>(mid)], index_no, false, depth, keep_depth, kept);
    if (c == 0) {
      at = mid;
      at_kept = kept;
      break;
    }
    if (c < 0) {
      smaller_at = mid;
      smaller_cmp = kept ? TGap::kNotCompared : c;
      hi = mid - 1;
    } else {
      greater_at = mid;
      greater_cmp = kept ? TGap::kNotCompared : c;
      lo = mid + 1;
    }
  }
  const int64_t pos = at >= 0 ? at + 1 : lo;
  gap.pos = static_cast<int32_t>(pos);
  if (pos > 0) {
    gap.before = list[static_cast<size_t>(pos - 1)];
    if (at >= 0) gap.before_cmp = at_kept ? TGap::kNotCompared : 0;
    else if (greater_at == pos - 1) gap.before_cmp = greater_cmp;
  }
  if (pos < n) {
    gap.after = list[static_cast<size_t>(pos)];
    if (smaller_at == pos) gap.after_cmp = smaller_cmp;
  }
  return gap;
}

TSearchResult TDadaTableIO::SearchIndex(const TFieldBuffers& key, const TRecordList& list, bool partial,
                                        int32_t key_field_count, int32_t index_no) const {
  RequireOpen();
  if (index_no < 0 || index_no >= index_defs_.Count())
    DatabaseError(Format("Table '%s' has no index number %s", {table_name_, std::to_string(index_no)}));
  return Search(KeyFromBuffers(key, index_no, key_field_count, -1), list, index_no, partial);
}

TSearchResult TDadaTableIO::SearchIndexBound(const TFieldBuffers& key, const TRecordList& list, bool partial,
                                             int32_t key_field_count, int32_t index_no, bool first) const {
  RequireOpen();
  if (index_no < 0 || index_no >= index_defs_.Count())
    DatabaseError(Format("Table '%s' has no index number %s", {table_name_, std::to_string(index_no)}));
  return SearchBound(KeyFromBuffers(key, index_no, key_field_count, -1), list, index_no, partial, first);
}

TDadaTableIO::TSearchRun TDadaTableIO::SearchIndexRun(const TFieldBuffers& key, const TRecordList& list,
                                                      int32_t index_no) const {
  RequireOpen();
  if (index_no < 0 || index_no >= index_defs_.Count())
    DatabaseError(Format("Table '%s' has no index number %s", {table_name_, std::to_string(index_no)}));
  const TKey k = KeyFromBuffers(key, index_no, 0, -1);
  TSearchRun run;
  run.First = SearchBound(k, list, index_no, false, true);
  run.Last = run.First;
  if (run.First.Side != kSearchEqual) return run;
  // Equal keys stand together: when the entry behind the first is not
  // equal, the first is also the last.
  const size_t next = static_cast<size_t>(run.First.Position) + 1;
  if (next < list.size() && CompareWithEntry(k, list[next], index_no, false) == 0)
    run.Last = SearchBound(k, list, index_no, false, false);
  return run;
}

}  // namespace tdb
