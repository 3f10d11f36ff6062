// SHA-0 and the password check string in the format's Base64 variant.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/processing/password_check.h"
#include "engine/processing/sha0.h"

namespace tdb {
namespace {

std::string Hex(std::span<const uint8_t> bytes) {
  std::string s;
  char buf[3];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    s += buf;
  }
  return s;
}

// A second SHA-0, written from the 1993 definition in the plainest way: pad
// the whole message first, then run the 80 steps with the four step functions
// written out, keeping the schedule in a 16-word circular buffer.
std::string ReferenceSha0(const std::vector<uint8_t>& message) {
  std::vector<uint8_t> m = message;
  const uint64_t bits = uint64_t{message.size()} * 8;
  m.push_back(0x80);
  while (m.size() % 64 != 56) m.push_back(0);
  for (int shift = 56; shift >= 0; shift -= 8) m.push_back(static_cast<uint8_t>(bits >> shift));

  auto rotl = [](uint32_t x, int n) { return (x << n) | (x >> (32 - n)); };
  uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  for (size_t block = 0; block < m.size(); block += 64) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i)
      w[i] = uint32_t{m[block + 4 * i]} << 24 | uint32_t{m[block + 4 * i + 1]} << 16 |
             uint32_t{m[block + 4 * i + 2]} << 8 | m[block + 4 * i + 3];
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int t = 0; t < 80; ++t) {
      const int s = t & 15;
      if (t >= 16) w[s] = w[(s + 13) & 15] ^ w[(s + 8) & 15] ^ w[(s + 2) & 15] ^ w[s];  // no rotation
      uint32_t f = t < 20 ? (d ^ (b & (c ^ d))) : t < 40 ? (b ^ c ^ d) : t < 60 ? ((b & c) | (d & (b | c))) : (b ^ c ^ d);
      uint32_t k = t < 20 ? 0x5A827999 : t < 40 ? 0x6ED9EBA1 : t < 60 ? 0x8F1BBCDC : 0xCA62C1D6;
      uint32_t next = rotl(a, 5) + f + e + k + w[s];
      e = d, d = c, c = rotl(b, 30), b = a, a = next;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
  }
  std::vector<uint8_t> digest;
  for (uint32_t word : h)
    for (int shift = 24; shift >= 0; shift -= 8) digest.push_back(static_cast<uint8_t>(word >> shift));
  return Hex(digest);
}

TEST(Sha0Test, PublishedAnswers) {
  EXPECT_EQ(Hex(Sha0("")), "f96cea198ad1dd5617ac084a3d92c6107708c0ef");
  EXPECT_EQ(Hex(Sha0("abc")), "0164b8a914cd2a5e74c4f7ff082c4d97f1edf880");
}

// From 56 bytes on, the length no longer fits the last block and the
// message takes one more block than its bytes fill.
TEST(Sha0Test, AgreesWithASecondImplementationAcrossBlockBoundaries) {
  const std::string text = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnomnopnopq";
  EXPECT_EQ(Hex(Sha0(text)), ReferenceSha0(std::vector<uint8_t>(text.begin(), text.end())));
  for (size_t length : {1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u}) {
    std::vector<uint8_t> message(length);
    for (size_t i = 0; i < length; ++i) message[i] = static_cast<uint8_t>(i * 7 + 3);
    EXPECT_EQ(Hex(Sha0(message)), ReferenceSha0(message)) << "length " << length;
  }
}

TEST(Sha0Test, PiecewiseUpdatesGiveTheOneShotDigest) {
  std::vector<uint8_t> message(1000);
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i);
  for (size_t piece : {1u, 3u, 63u, 64u, 65u, 500u}) {
    TSha0 hash;
    for (size_t pos = 0; pos < message.size(); pos += piece)
      hash.Update(std::span(message).subspan(pos, std::min(piece, message.size() - pos)));
    EXPECT_EQ(hash.Final(), Sha0(message)) << "piece " << piece;
  }
}

TEST(PasswordCheckTest, KnownCheckStrings) {
  EXPECT_EQ(PasswordCheckString(""), "+WzqGYrR3VYXrAhKPZLGEHcIwO8=");
  EXPECT_EQ(PasswordCheckString("password"), "gAclaL6zshAjJesgP20P+S9c744=");
  EXPECT_TRUE(PasswordMatchesCheck("password", "gAclaL6zshAjJesgP20P+S9c744="));
  EXPECT_FALSE(PasswordMatchesCheck("Password", "gAclaL6zshAjJesgP20P+S9c744="));
  EXPECT_FALSE(PasswordMatchesCheck("password", "GACLAL6ZSHAJJESGP20P+S9C744="));  // case matters
}

TEST(PasswordCheckTest, Base64VariantDropsTrailingZeroUnitsOfEachGroup) {
  struct Case {
    std::vector<uint8_t> bytes;
    std::string expected;
  };
  const Case cases[] = {
      {{}, ""},
      {{0x00}, "=="},                    // a zero group gives nothing, padding stays
      {{0x00, 0x00, 0x00}, ""},
      {{0xFF}, "/w=="},
      {{0x01, 0x00, 0x00}, "AQ"},        // units 0,16,0,0: the trailing zeros go
      {{0x00, 0x00, 0x01}, "AAAB"},      // leading zero units stay
      {{0x00, 0x10, 0x00}, "AB"},
      {{0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x04, 0x05}, "AQIDBAU="},  // a zero group inside
      {{0xFB, 0xFF, 0xBF}, "+/+/"},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeCheckBase64(c.bytes), c.expected) << Hex(c.bytes);
}

}  // namespace
}  // namespace tdb
