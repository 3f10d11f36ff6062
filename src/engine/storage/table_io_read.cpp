// Reading records and field values: a record's active fields into the
// caller's buffers (the fixed part in one read, or a few small slots alone),
// the planned reads of a filter's pass, a record with its stored image at
// the start of an edit, single decoded values, and the highest value of an
// integer field.
//
// Invariants: every read of the file happens under the file lock, taken per
// read or once per kReadsPerLock reads of a read run; the fixed part read
// must lie wholly inside the file; a string copied into a buffer always ends
// with a NUL inside it.
#include "engine/storage/table_io.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/storage/blob_stream.h"
#include "engine/storage/table_key.h"

namespace tdb {

void TDadaTableIO::LockForRead(std::optional<TLockHold>& lock) {
  if (read_run_.Active()) read_run_.Take(file_);
  else lock.emplace(file_);
}

void TDadaTableIO::EndReadRun() { read_run_.End(file_); }

void TDadaTableIO::ReadSlot(int32_t data_offset, int32_t field_no, uint8_t* value) const {
  int32_t size = SlotSize(field_no);
  int64_t pos = static_cast<int64_t>(data_offset) + field_offsets_[static_cast<size_t>(field_no)];
  if (FieldEncrypted(field_no)) {
    file_.ReadData(pos, std::span<uint8_t>(scratch_raw_.data(), static_cast<size_t>(size)));
    const_cast<TRadiVOFileIO&>(file_).DecodeBuffer(scratch_raw_.data(), value, true, static_cast<size_t>(size));
  } else {
    file_.ReadData(pos, std::span<uint8_t>(value, static_cast<size_t>(size)));
  }
}

void TDadaTableIO::StoreSlotValue(const uint8_t* slot, size_t size, bool encrypted, bool is_string, uint8_t* dst,
                                  int32_t data_size) {
  const uint8_t* value = slot;
  if (encrypted) {
    file_.DecodeBuffer(slot, scratch_value_.data(), true, size);
    value = scratch_value_.data();
  }
  size_t n = std::min(size, static_cast<size_t>(data_size));
  std::memmove(dst, value, n);
  if (n < static_cast<size_t>(data_size)) std::memset(dst + n, 0, static_cast<size_t>(data_size) - n);
  // A string slot without its NUL is read only up to the slot's end.
  if (is_string && !std::memchr(dst, 0, static_cast<size_t>(data_size))) dst[data_size - 1] = 0;
}

void TDadaTableIO::ReadRecord(TFieldBuffers& buffers, const TRecordList& list, int32_t pos) {
  RequireOpen();
  CheckBuffers(buffers);
  if (pos < 0 || static_cast<size_t>(pos) >= list.size())
    DatabaseError(ekOutOfRange, Format("Record position %s out of range", {std::to_string(pos)}),
                  TableParams(file_.FileName(), table_name_));
  const TListItem target = list[static_cast<size_t>(pos)];
  const int32_t data_offset = target.DataOffset;
  std::vector<uint8_t>& record = record_scratch_;
  // Only the one read right after a rewrite is served from it: a later one
  // shows what others may have written since.
  const bool just_written = just_written_.RecIndex >= 0 && just_written_.RecIndex == target.RecIndex &&
                            just_written_.DataOffset == data_offset && just_written_.Change == change_count_;
  just_written_.RecIndex = -1;
  std::optional<TLockHold> lock;
  if (just_written) record.swap(just_written_.Fixed);
  else LockForRead(lock);
  record.resize(static_cast<size_t>(record_size_));
  // A few small fields (a filter's) are read slot by slot, each a copy from
  // the file's map; otherwise the fixed part in one read.  Either way the
  // whole fixed part must lie inside the file.
  size_t wanted = 0, wanted_bytes = 0;
  for (int32_t f = 0; f < buffers.Count(); ++f) {
    const TFieldBufferItem& item = buffers.Item(f);
    if (!item.Active || IsBlobFieldType(field_defs_[f].FieldType)) continue;
    ++wanted;
    wanted_bytes += static_cast<size_t>(SlotSize(f));
  }
  const bool by_slot = !just_written && wanted <= kSlotReadFields && wanted_bytes <= kSlotReadBytes;
  if (by_slot) file_.CheckReadable(data_offset, record_size_);
  else if (!just_written) file_.ReadData(data_offset, record);
  for (int32_t f = 0; f < buffers.Count(); ++f) {
    TFieldBufferItem& item = buffers.Item(f);
    if (!item.Active) continue;
    const TDadaFieldDef& def = field_defs_[f];
    uint8_t* slot = record.data() + field_offsets_[static_cast<size_t>(f)];
    if (by_slot && !IsBlobFieldType(def.FieldType))
      file_.ReadData(static_cast<int64_t>(data_offset) + field_offsets_[static_cast<size_t>(f)],
                     std::span<uint8_t>(slot, static_cast<size_t>(SlotSize(f))));
    if (IsBlobFieldType(def.FieldType)) {
      if (item.Stream)
        item.Stream->SetSource(&file_, static_cast<int64_t>(data_offset) + field_offsets_[static_cast<size_t>(f)],
                               FieldCompressed(f), FieldEncrypted(f));
      continue;
    }
    if (!item.Buffer || item.DataSize == 0) continue;
    StoreSlotValue(slot, static_cast<size_t>(SlotSize(f)), FieldEncrypted(f), IsStringFieldType(def.FieldType),
                   static_cast<uint8_t*>(item.Buffer), item.DataSize);
  }
}

void TDadaTableIO::ReadRecordForEdit(TFieldBuffers& buffers, const TRecordList& list, int32_t pos,
                                     TRecordImage& image) {
  RequireOpen();
  CheckBuffers(buffers);
  if (pos < 0 || static_cast<size_t>(pos) >= list.size())
    DatabaseError(ekOutOfRange, Format("Record position %s out of range", {std::to_string(pos)}),
                  TableParams(file_.FileName(), table_name_, pos));
  const TListItem target = list[static_cast<size_t>(pos)];
  just_written_.RecIndex = -1;
  image.Clear();
  // The fixed part is read without the file lock: the post compares it,
  // under the lock, with the record as stored then and rewrites only what
  // is equal to it, so a read that met another program's write half-way
  // ends in "changed by another user" and nothing is lost.  (Taking the
  // lock here cost as much as the rest of the edit's reading together.)  A
  // blob's descriptor and its bytes are only consistent under the lock: a
  // table with blobs takes it.
  std::optional<TLockHold> lock;
  if (has_blobs_) lock.emplace(file_);
  if (!LiveOnDisk(target.RecIndex)) RaiseDeletedByOther(target.RecIndex);
  // The fixed part kept is the one Post compares and rewrites: read as the
  // bytes of a rewrite are, into the image's own buffer (kept from edit to
  // edit).
  std::vector<uint8_t>& fixed = image.Fixed;
  fixed.resize(static_cast<size_t>(record_size_));
  file_.ReadForRewrite(target.DataOffset, fixed);
  auto blobs = has_blobs_ ? StoredBlobs(target.DataOffset) : std::vector<std::optional<std::vector<uint8_t>>>{};
  for (int32_t f = 0; f < buffers.Count(); ++f) {
    TFieldBufferItem& item = buffers.Item(f);
    if (!item.Active) continue;
    const TDadaFieldDef& def = field_defs_[f];
    const int32_t offset = field_offsets_[static_cast<size_t>(f)];
    if (IsBlobFieldType(def.FieldType)) {
      if (item.Stream)
        item.Stream->SetSource(&file_, static_cast<int64_t>(target.DataOffset) + offset, FieldCompressed(f),
                               FieldEncrypted(f));
      continue;
    }
    if (!item.Buffer || item.DataSize == 0) continue;
    StoreSlotValue(fixed.data() + offset, static_cast<size_t>(SlotSize(f)), FieldEncrypted(f),
                   IsStringFieldType(def.FieldType), static_cast<uint8_t*>(item.Buffer), item.DataSize);
  }
  image.RecIndex = target.RecIndex;
  image.Blobs = std::move(blobs);
}

std::vector<std::optional<std::vector<uint8_t>>> TDadaTableIO::StoredBlobs(int32_t data_offset) const {
  std::vector<std::optional<std::vector<uint8_t>>> blobs;
  for (int32_t f = 0; f < field_defs_.Count(); ++f) {
    if (!IsBlobFieldType(field_defs_[f].FieldType)) continue;
    try {
      const TBlobDescriptor blob =
          file_.ReadBlobDescriptor(static_cast<int64_t>(data_offset) + field_offsets_[static_cast<size_t>(f)]);
      std::vector<uint8_t> stored(static_cast<size_t>(blob.BlobSize));
      if (!stored.empty()) file_.ReadData(blob.BlobOffset, stored);
      blobs.emplace_back(std::move(stored));
    } catch (const EDatabaseError&) {
      blobs.emplace_back(std::nullopt);
    }
  }
  return blobs;
}

TDadaTableIO::TReadPlan TDadaTableIO::PlanRead(const TFieldBuffers& buffers) const {
  RequireOpen();
  CheckBuffers(buffers);
  TReadPlan plan;
  size_t wanted_bytes = 0;
  for (int32_t f = 0; f < buffers.Count(); ++f) {
    const TFieldBufferItem& item = buffers.Item(f);
    if (!item.Active) continue;
    const TFieldType type = field_defs_[f].FieldType;
    if (IsBlobFieldType(type)) return TReadPlan{};
    wanted_bytes += static_cast<size_t>(SlotSize(f));
    if (!item.Buffer || item.DataSize == 0) continue;  // read for nothing by ReadRecord
    plan.reads.push_back(TReadPlan::TSlot{field_offsets_[static_cast<size_t>(f)], SlotSize(f),
                                          static_cast<uint8_t*>(item.Buffer), item.DataSize, FieldEncrypted(f),
                                          IsStringFieldType(type)});
  }
  size_t wanted = 0;
  for (int32_t f = 0; f < buffers.Count(); ++f) wanted += buffers.Item(f).Active ? 1 : 0;
  if (wanted > kSlotReadFields || wanted_bytes > kSlotReadBytes) return TReadPlan{};
  plan.usable = true;
  return plan;
}

void TDadaTableIO::ReadPlanned(const TReadPlan& plan, const TRecordList& list, int32_t pos) {
  RequireOpen();
  if (pos < 0 || static_cast<size_t>(pos) >= list.size())
    DatabaseError(ekOutOfRange, Format("Record position %s out of range", {std::to_string(pos)}),
                  TableParams(file_.FileName(), table_name_));
  const int32_t data_offset = list[static_cast<size_t>(pos)].DataOffset;
  just_written_.RecIndex = -1;
  std::optional<TLockHold> lock;
  LockForRead(lock);
  file_.CheckReadable(data_offset, record_size_);
  uint8_t* slot = record_scratch_.data();
  if (record_scratch_.size() < static_cast<size_t>(max_slot_size_)) {
    record_scratch_.resize(static_cast<size_t>(std::max(record_size_, max_slot_size_)));
    slot = record_scratch_.data();
  }
  for (const TReadPlan::TSlot& s : plan.reads) {
    file_.ReadData(static_cast<int64_t>(data_offset) + s.offset, std::span<uint8_t>(slot, static_cast<size_t>(s.size)));
    StoreSlotValue(slot, static_cast<size_t>(s.size), s.encrypted, s.is_string, s.dst, s.data_size);
  }
}

std::vector<uint8_t> TDadaTableIO::ReadFieldValue(int32_t record_no, int32_t field_no) const {
  RequireOpen();
  if (record_no < 0 || static_cast<size_t>(record_no) >= rec_tab_.size())
    DatabaseError(ekOutOfRange, Format("Record number %s out of range", {std::to_string(record_no)}),
                  TableParams(file_.FileName(), table_name_));
  if (field_no < 0 || field_no >= field_defs_.Count())
    DatabaseError(ekOutOfRange, Format("Field number %s out of range", {std::to_string(field_no)}),
                  TableParams(file_.FileName(), table_name_));
  int32_t data_offset = rec_tab_[static_cast<size_t>(record_no)].DataOffset;
  if (IsBlobFieldType(field_defs_[field_no].FieldType))
    return const_cast<TRadiVOFileIO&>(file_).ReadBlobData(
        static_cast<int64_t>(data_offset) + field_offsets_[static_cast<size_t>(field_no)], FieldCompressed(field_no),
        FieldEncrypted(field_no));
  std::vector<uint8_t> value(static_cast<size_t>(SlotSize(field_no)));
  ReadSlot(data_offset, field_no, value.data());
  if (IsStringFieldType(field_defs_[field_no].FieldType)) value.back() = 0;  // read up to the slot's end
  return value;
}

int32_t TDadaTableIO::HighestValue(int32_t field_no) {
  RequireOpen();
  if (field_no < 0 || field_no >= field_defs_.Count())
    DatabaseError(ekOutOfRange, Format("Field number %s out of range", {std::to_string(field_no)}),
                  TableParams(file_.FileName(), table_name_));
  const TFieldType type = field_defs_[field_no].FieldType;
  if (type != ftInteger && type != ftAutoInc && type != ftSmallint && type != ftWord)
    DatabaseError(Format("Field '%s' is not an integer field", {field_defs_[field_no].Name}));
  TLockHold lock(file_);
  SyncWithFile();
  return HighestStored(field_no);
}

int32_t TDadaTableIO::HighestStored(int32_t field_no) const {
  const TFieldType type = field_defs_[field_no].FieldType;
  // Every record this object holds live, read as stored now: a record another
  // writer deleted since may still count, which only makes the answer higher.
  int32_t highest = 0;
  bool any = false;
  std::vector<uint8_t> value(static_cast<size_t>(SlotSize(field_no)) + 1, 0);
  for (const TRecordTabItem& rec : rec_tab_) {
    if (rec.Deleted) continue;
    ReadSlot(rec.DataOffset, field_no, value.data());
    int32_t v = 0;
    switch (type) {
      case ftSmallint: v = static_cast<int16_t>(GetUInt16LE(value.data())); break;
      case ftWord: v = GetUInt16LE(value.data()); break;
      default: v = GetInt32LE(value.data()); break;
    }
    highest = any ? std::max(highest, v) : v;
    any = true;
  }
  return any ? highest : 0;
}

}  // namespace tdb
