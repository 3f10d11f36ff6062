// Blob areas: writing a new value at the end of the file, rewriting one in
// its area when it fits, and reading it back to verify when the file asks
// for that.
//
// Invariants: an area is a multiple of 64 bytes and always larger than what
// it holds; an area that does not lie wholly inside the file past the fixed
// header is never written into (the value moves to the end instead); when
// verification gives up on an area rewritten in place, its old bytes are
// put back.
#include "engine/storage/table_io.h"

#include <zlib.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>

#include "engine/base/database_error.h"

namespace tdb {

namespace {

// Blob areas come in multiples of 64 bytes and are always larger than what
// they hold, so an area of an empty value is 64 bytes.
constexpr int32_t kAreaUnit = 64;
// A blob write that keeps reading back wrong is given up after this many tries.
constexpr int kVerifyAttempts = 3;

int32_t AreaSizeFor(size_t stored_size) {
  if (stored_size > static_cast<size_t>(std::numeric_limits<int32_t>::max() - kAreaUnit))
    DatabaseError("Blob value is too large");
  return static_cast<int32_t>((stored_size / kAreaUnit + 1) * kAreaUnit);
}

uint32_t Crc32Of(std::span<const uint8_t> bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes lengths as uInt; feed large values in pieces.
  size_t done = 0;
  while (done < bytes.size()) {
    uInt n = static_cast<uInt>(std::min<size_t>(bytes.size() - done, 1u << 30));
    crc = crc32(crc, bytes.data() + done, n);
    done += n;
  }
  return static_cast<uint32_t>(crc);
}

}  // namespace

// Writes `encoded` and zero bytes up to `area_size` at `pos` (at most the end
// of the file); with VerifyWrites reads the value back and retries.
void TDadaTableIO::WriteBlobArea(int64_t pos, std::span<const uint8_t> value, std::vector<uint8_t>& encoded,
                                 int32_t area_size, int32_t field_no) {
  bool verify = file_.DataProcessBlock().VerifyWrites;
  uint32_t crc = verify ? Crc32Of(value) : 0;
  for (int attempt = 1;; ++attempt) {
    assert(encoded.size() < static_cast<size_t>(area_size));
    std::vector<uint8_t> area(static_cast<size_t>(area_size), 0);
    if (!encoded.empty()) std::memcpy(area.data(), encoded.data(), encoded.size());
    file_.WriteData(pos, area);
    if (!verify) return;
    std::vector<uint8_t> back(encoded.size());
    if (!back.empty()) file_.ReadData(pos, back);
    bool same = false;
    try {
      same = Crc32Of(file_.DecodeStream(back, FieldCompressed(field_no), FieldEncrypted(field_no))) == crc;
    } catch (const EDatabaseError&) {
      same = false;  // a value that no longer decodes is a mismatch
    }
    if (same) return;
    if (attempt == kVerifyAttempts)
      DatabaseError(Format("Verification of the blob written for field %s failed", {field_defs_[field_no].Name}));
    encoded = file_.EncodeStream(value, FieldCompressed(field_no), FieldEncrypted(field_no));
    if (encoded.size() >= static_cast<size_t>(area_size))
      DatabaseError(Format("Verification of the blob written for field %s failed", {field_defs_[field_no].Name}));
  }
}

TBlobDescriptor TDadaTableIO::WriteNewBlob(std::span<const uint8_t> value, int32_t field_no) {
  std::vector<uint8_t> encoded = file_.EncodeStream(value, FieldCompressed(field_no), FieldEncrypted(field_no));
  int32_t area = AreaSizeFor(encoded.size());
  int64_t pos = file_.FileSize();
  WriteBlobArea(pos, value, encoded, area, field_no);
  return TBlobDescriptor{static_cast<int32_t>(pos), static_cast<int32_t>(encoded.size()), area, {}};
}

TBlobDescriptor TDadaTableIO::RewriteBlob(std::span<const uint8_t> value, int32_t field_no, const TBlobDescriptor& old) {
  std::vector<uint8_t> encoded = file_.EncodeStream(value, FieldCompressed(field_no), FieldEncrypted(field_no));
  int64_t end = file_.FileSize();
  // An area that does not lie wholly inside the file past the fixed header is
  // never written into: the value moves to the end instead.
  bool area_sound = old.AreaSize > 0 && old.AreaSize % kAreaUnit == 0 && old.BlobOffset >= kFirstTableHeaderPos &&
                    static_cast<int64_t>(old.BlobOffset) + old.AreaSize <= end;
  TBlobDescriptor blob = old;
  int32_t area;
  int64_t pos;
  if (area_sound && encoded.size() < static_cast<size_t>(old.AreaSize)) {
    pos = old.BlobOffset;
    area = old.AreaSize;
  } else {
    area = AreaSizeFor(encoded.size());
    pos = area_sound && static_cast<int64_t>(old.BlobOffset) + old.AreaSize == end ? old.BlobOffset : end;
  }
  // In place, what the area held is put back when verification gives up.
  std::vector<uint8_t> before;
  bool overwrites = pos < end;
  if (overwrites && file_.DataProcessBlock().VerifyWrites) {
    before.resize(static_cast<size_t>(std::min<int64_t>(area, end - pos)));
    file_.ReadData(pos, before);
  }
  try {
    WriteBlobArea(pos, value, encoded, area, field_no);
  } catch (const EDatabaseError&) {
    if (!before.empty()) file_.WriteData(pos, before);
    throw;
  }
  blob.BlobOffset = static_cast<int32_t>(pos);
  blob.BlobSize = static_cast<int32_t>(encoded.size());
  blob.AreaSize = area;
  return blob;
}

}  // namespace tdb
