// The five cipher modes that chain a block cipher over a stored value.
#include "engine/processing/cipher_chain.h"

#include <cassert>
#include <cstring>

#include "engine/processing/secure_wipe.h"

namespace tdb {

TCipherChain::TCipherChain(const TBlockCipher& cipher) : cipher_(cipher), block_(cipher.BlockSize()) {
  assert(block_ <= TBlockCipher::kMaxBlockSize);
}

TCipherChain::~TCipherChain() {
  SecureWipe(iv_.data(), iv_.size());
  SecureWipe(f_.data(), f_.size());
}

void TCipherChain::SetMode(int mode) {
  assert(mode >= 0 && mode < kModeCount);
  mode_ = mode;
}

void TCipherChain::SetIV(const uint8_t* iv) {
  std::memcpy(iv_.data(), iv, block_);
  Reset();
}

void TCipherChain::Reset() { f_ = iv_; }

void TCipherChain::Tail(const uint8_t* src, uint8_t* dst, size_t r) {
  Block k;
  cipher_.EncryptBlock(f_.data(), k.data());
  for (size_t i = 0; i < r; ++i) dst[i] = src[i] ^ k[i];
  if (mode_ == 0)
    for (size_t i = 0; i < block_; ++i) f_[i] ^= k[i];
}

void TCipherChain::ByteFeedback(const uint8_t* src, uint8_t* dst, size_t n, bool decrypt) {
  Block k;
  for (size_t i = 0; i < n; ++i) {
    cipher_.EncryptBlock(f_.data(), k.data());
    const uint8_t in = src[i];
    const uint8_t out = in ^ k[0];
    dst[i] = out;
    // CFB feeds back the ciphertext byte, OFB the key byte.
    const uint8_t fed = mode_ == 3 ? k[0] : (decrypt ? in : out);
    std::memmove(f_.data(), f_.data() + 1, block_ - 1);
    f_[block_ - 1] = fed;
  }
}

void TCipherChain::Encrypt(const uint8_t* src, uint8_t* dst, size_t n) {
  if (mode_ == 2 || mode_ == 3) return ByteFeedback(src, dst, n, false);
  const size_t full = n - n % block_;
  Block x;
  for (size_t pos = 0; pos < full; pos += block_) {
    if (mode_ == 4) {
      cipher_.EncryptBlock(src + pos, dst + pos);
      continue;
    }
    for (size_t i = 0; i < block_; ++i) x[i] = src[pos + i] ^ f_[i];
    cipher_.EncryptBlock(x.data(), dst + pos);
    for (size_t i = 0; i < block_; ++i) f_[i] = mode_ == 0 ? f_[i] ^ dst[pos + i] : dst[pos + i];
  }
  if (full == n) return;
  if (mode_ == 4)
    std::memmove(dst + full, src + full, n - full);
  else
    Tail(src + full, dst + full, n - full);
}

void TCipherChain::Decrypt(const uint8_t* src, uint8_t* dst, size_t n) {
  if (mode_ == 2 || mode_ == 3) return ByteFeedback(src, dst, n, true);
  const size_t full = n - n % block_;
  Block c, x;
  for (size_t pos = 0; pos < full; pos += block_) {
    if (mode_ == 4) {
      cipher_.DecryptBlock(src + pos, dst + pos);
      continue;
    }
    // Keep C: with src == dst it is overwritten by P.
    std::memcpy(c.data(), src + pos, block_);
    cipher_.DecryptBlock(c.data(), x.data());
    for (size_t i = 0; i < block_; ++i) {
      dst[pos + i] = x[i] ^ f_[i];
      f_[i] = mode_ == 0 ? f_[i] ^ c[i] : c[i];
    }
  }
  if (full == n) return;
  if (mode_ == 4)
    std::memmove(dst + full, src + full, n - full);
  else
    Tail(src + full, dst + full, n - full);
}

}  // namespace tdb
