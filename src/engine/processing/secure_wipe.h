// Wiping of secret bytes (password digests, cipher keys, chaining state) before
// their memory is given back, in a way the compiler may not optimise away.
#pragma once

#include <cstddef>

namespace tdb {

// Overwrites `size` bytes at `p` with zeros.
inline void SecureWipe(void* p, size_t size) {
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(p);
  for (size_t i = 0; i < size; ++i) bytes[i] = 0;
}

}  // namespace tdb
