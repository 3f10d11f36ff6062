// Little-endian reading and writing of the integers and doubles that make up
// every structure of a database file.  Structures are read and written field
// by field through these helpers, never by casting a struct over a buffer.
#pragma once

#include <cstdint>
#include <cstring>

namespace tdb {

inline int32_t GetInt32LE(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}
inline uint16_t GetUInt16LE(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline int16_t GetInt16LE(const uint8_t* p) { return static_cast<int16_t>(GetUInt16LE(p)); }
inline int64_t GetInt64LE(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return static_cast<int64_t>(v);
}
inline double GetDoubleLE(const uint8_t* p) {
  uint64_t bits = static_cast<uint64_t>(GetInt64LE(p));
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

inline void PutInt32LE(uint8_t* p, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline void PutUInt16LE(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutInt16LE(uint8_t* p, int16_t v) { PutUInt16LE(p, static_cast<uint16_t>(v)); }
inline void PutInt64LE(uint8_t* p, int64_t value) {
  uint64_t v = static_cast<uint64_t>(value);
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutDoubleLE(uint8_t* p, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  PutInt64LE(p, static_cast<int64_t>(bits));
}

}  // namespace tdb
