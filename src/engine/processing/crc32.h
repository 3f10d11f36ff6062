// CRC-32 (ISO-HDLC, the CRC of zlib and Ethernet) of a value, which blob write
// verification compares before encoding and after decoding.  Thread-safe.
#pragma once

#include <cstdint>
#include <span>

namespace tdb {

// CRC-32 over every byte of `bytes`, continuing from `crc` (0 to start).
uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc = 0);

}  // namespace tdb
