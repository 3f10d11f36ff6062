// The cipher modes of the stored-data encryption, over one block cipher.
//
// F is the chaining state (one block), B the block size, E and D the block
// cipher.  Every value starts with F equal to the initialisation vector:
//   0  feedback-xor:  C = E(P xor F); F = F xor C
//   1  CBC:           C = E(P xor F); F = C
//   2  CFB, 8-bit:    per byte, c = p xor E(F)[0]; F shifted left a byte, c in
//   3  OFB, 8-bit:    per byte, c = p xor E(F)[0]; F shifted left a byte, E(F)[0] in
//   4  ECB:           C = E(P)
// A last partial block of r < B bytes: modes 0 and 1 xor it with the first r
// bytes of K = E(F) (mode 0 then sets F = F xor K, mode 1 leaves F); mode 4
// stores it unchanged.  The output always has the input's length.
//
// Processing a value in several calls gives the same bytes as one call as
// long as every call but the last covers whole blocks.  Reset() starts the
// next value.  The object does not own the cipher, which must outlive it; its
// state is wiped when it is freed.  One thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/processing/block_cipher.h"

namespace tdb {

class TCipherChain {
 public:
  static constexpr int kModeCount = 5;

  // REQUIRES: `cipher` is keyed before Encrypt or Decrypt is called.
  explicit TCipherChain(const TBlockCipher& cipher);
  ~TCipherChain();
  TCipherChain(const TCipherChain&) = delete;
  TCipherChain& operator=(const TCipherChain&) = delete;

  // REQUIRES: 0 <= mode < kModeCount (the caller checks what it reads from a file).
  void SetMode(int mode);
  int Mode() const { return mode_; }

  // Sets the initialisation vector (BlockSize() bytes) and resets F to it.
  void SetIV(const uint8_t* iv);
  // F = the initialisation vector.
  void Reset();

  // Encrypts or decrypts n bytes; `src` and `dst` may be the same buffer.
  void Encrypt(const uint8_t* src, uint8_t* dst, size_t n);
  void Decrypt(const uint8_t* src, uint8_t* dst, size_t n);

 private:
  using Block = std::array<uint8_t, TBlockCipher::kMaxBlockSize>;

  // The 8-bit feedback modes; `decrypt` tells which byte CFB feeds back.
  void ByteFeedback(const uint8_t* src, uint8_t* dst, size_t n, bool decrypt);
  // The partial last block of modes 0 and 1 (its own inverse).
  void Tail(const uint8_t* src, uint8_t* dst, size_t r);

  const TBlockCipher& cipher_;
  const size_t block_;
  int mode_ = 0;
  Block iv_{};
  Block f_{};
};

}  // namespace tdb
