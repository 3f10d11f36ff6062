// The block ciphers under the stored-data encryption: Blowfish, Twofish and
// GOST 28147-89, each a single-block primitive with its key laid out as the
// database format needs it.  Chaining (the cipher modes) is TCipherChain's job.
//
// Key layout: the key material (the password digest) is followed by zero
// bytes up to the cipher's schedule length: Blowfish takes the 20 bytes as
// they are (big-endian words, as its published vectors), Twofish 24 bytes
// (192-bit schedule), GOST 32 bytes as eight little-endian words with the
// S-boxes of the RFC 4357 test parameter set.
//
// A cipher object holds its key schedule, which is wiped when it is freed.
// One thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace tdb {

class TBlockCipher {
 public:
  static constexpr size_t kMaxBlockSize = 16;

  virtual ~TBlockCipher() = default;

  // 8 or 16.
  virtual size_t BlockSize() const = 0;
  // The largest key the cipher takes; key material beyond it is not used.
  virtual size_t MaxKeyLength() const = 0;
  // Builds the key schedule from `material` (at most MaxKeyLength() bytes
  // are used), padded with zero bytes as the layout above says.
  virtual void SetKey(std::span<const uint8_t> material) = 0;
  // One block, BlockSize() bytes; `in` and `out` may be the same buffer.
  // REQUIRES: SetKey has been called.
  virtual void EncryptBlock(const uint8_t* in, uint8_t* out) const = 0;
  virtual void DecryptBlock(const uint8_t* in, uint8_t* out) const = 0;
};

std::unique_ptr<TBlockCipher> NewBlowfishCipher();
std::unique_ptr<TBlockCipher> NewTwofishCipher();
std::unique_ptr<TBlockCipher> NewGostCipher();

}  // namespace tdb
