// CRC-32 for write verification, taken from zlib.
#include "engine/processing/crc32.h"

#include <zlib.h>

#include <algorithm>

namespace tdb {

uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc) {
  uLong value = crc;
  // zlib takes a 32-bit length; larger values go in pieces.
  constexpr size_t kPiece = 1u << 30;
  for (size_t pos = 0; pos < bytes.size(); pos += kPiece) {
    size_t n = std::min(kPiece, bytes.size() - pos);
    value = crc32(value, bytes.data() + pos, static_cast<uInt>(n));
  }
  return static_cast<uint32_t>(value);
}

}  // namespace tdb
