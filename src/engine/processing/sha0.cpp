// SHA-0, the hash behind the cipher key and the password check string.
#include "engine/processing/sha0.h"

#include <algorithm>
#include <cstring>

#include "engine/processing/secure_wipe.h"

namespace tdb {
namespace {

uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

TSha0::TSha0() : state_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u} {}

TSha0::~TSha0() {
  SecureWipe(buffer_.data(), buffer_.size());
  SecureWipe(state_.data(), sizeof state_);
}

void TSha0::Compress(const uint8_t* block) {
  uint32_t w[80];
  for (int t = 0; t < 16; ++t)
    w[t] = (uint32_t{block[4 * t]} << 24) | (uint32_t{block[4 * t + 1]} << 16) |
           (uint32_t{block[4 * t + 2]} << 8) | uint32_t{block[4 * t + 3]};
  // The one difference from SHA-1: the expanded word is not rotated.
  for (int t = 16; t < 80; ++t) w[t] = w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16];

  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
  for (int t = 0; t < 80; ++t) {
    uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    uint32_t temp = Rotl(a, 5) + f + e + k + w[t];
    e = d;
    d = c;
    c = Rotl(b, 30);
    b = a;
    a = temp;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += e;
  SecureWipe(w, sizeof w);
}

void TSha0::Update(std::span<const uint8_t> bytes) {
  length_ += bytes.size();
  size_t pos = 0;
  if (buffered_ > 0) {
    size_t take = std::min(bytes.size(), buffer_.size() - buffered_);
    std::memcpy(buffer_.data() + buffered_, bytes.data(), take);
    buffered_ += take;
    pos = take;
    if (buffered_ < buffer_.size()) return;
    Compress(buffer_.data());
    buffered_ = 0;
  }
  for (; bytes.size() - pos >= 64; pos += 64) Compress(bytes.data() + pos);
  if (pos < bytes.size()) {
    std::memcpy(buffer_.data(), bytes.data() + pos, bytes.size() - pos);
    buffered_ = bytes.size() - pos;
  }
}

TSha0Digest TSha0::Final() {
  const uint64_t bit_length = length_ * 8;
  buffer_[buffered_++] = 0x80;
  if (buffered_ > 56) {
    std::memset(buffer_.data() + buffered_, 0, 64 - buffered_);
    Compress(buffer_.data());
    buffered_ = 0;
  }
  std::memset(buffer_.data() + buffered_, 0, 56 - buffered_);
  for (int i = 0; i < 8; ++i) buffer_[56 + i] = static_cast<uint8_t>(bit_length >> (56 - 8 * i));
  Compress(buffer_.data());
  buffered_ = 0;

  TSha0Digest digest;
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
  return digest;
}

TSha0Digest Sha0(std::span<const uint8_t> bytes) {
  TSha0 hash;
  hash.Update(bytes);
  return hash.Final();
}

TSha0Digest Sha0(std::string_view bytes) {
  return Sha0(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace tdb
