// Wiping of secret bytes (password digests, cipher keys, chaining state) before
// their memory is given back, in a way the compiler may not optimise away.
#pragma once

#include <cstddef>
#include <string>

namespace tdb {

// Overwrites `size` bytes at `p` with zeros.
inline void SecureWipe(void* p, size_t size) {
  volatile unsigned char* bytes = static_cast<volatile unsigned char*>(p);
  for (size_t i = 0; i < size; ++i) bytes[i] = 0;
}

// Overwrites the characters of a string (not its capacity beyond them).
inline void SecureWipe(std::string& s) {
  if (!s.empty()) SecureWipe(s.data(), s.size());
}

}  // namespace tdb
