// SHA-0: the hash of the original 1993 FIPS 180 publication, SHA-1 without the
// one-bit rotation in the message schedule.  The database derives its cipher
// key and its password check string from the SHA-0 digest of the password, so
// this exact variant (not SHA-1) is what makes existing files readable.
//
// A TSha0 object is a plain value with no shared state; use one per thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tdb {

using TSha0Digest = std::array<uint8_t, 20>;

class TSha0 {
 public:
  TSha0();
  // Wipes the buffered message bytes and the chaining words.
  ~TSha0();
  TSha0(const TSha0&) = delete;
  TSha0& operator=(const TSha0&) = delete;

  // Appends bytes to the message; may be called any number of times.
  void Update(std::span<const uint8_t> bytes);
  // Pads the message and answers its digest.  The object must not be updated
  // afterwards (start a new one for a new message).
  TSha0Digest Final();

 private:
  void Compress(const uint8_t* block);

  std::array<uint32_t, 5> state_;
  std::array<uint8_t, 64> buffer_{};  // the incomplete block, buffered_ bytes of it
  size_t buffered_ = 0;
  uint64_t length_ = 0;  // message length in bytes
};

// One-shot digests of a byte string.
TSha0Digest Sha0(std::span<const uint8_t> bytes);
TSha0Digest Sha0(std::string_view bytes);

}  // namespace tdb
