// The zlib compression of blob values: the stored-form framing, the level
// byte, and damaged stored forms refused as database errors.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/processing/compress_zlib.h"

namespace tdb {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

Bytes Text(size_t n) {
  const std::string line = "Payment of the receipt number 17 for the month of March. ";
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(line[i % line.size()]);
  return b;
}

TEST(ZlibTest, EmptyValueHasEmptyStoredForm) {
  TCompAlgo_Zlib zlib;
  EXPECT_TRUE(zlib.EncodeStream({}).empty());
  EXPECT_TRUE(zlib.DecodeStream({}).empty());
}

TEST(ZlibTest, IncompressibleValueIsKeptRawBehindANegativeLength) {
  TCompAlgo_Zlib zlib;
  const Bytes value = RandomBytes(10, 1);
  const Bytes stored = zlib.EncodeStream(value);
  ASSERT_EQ(stored.size(), 14u);
  EXPECT_EQ(GetInt32LE(stored.data()), -10);
  EXPECT_EQ(Bytes(stored.begin() + 4, stored.end()), value);
  EXPECT_EQ(zlib.DecodeStream(stored), value);
}

TEST(ZlibTest, CompressibleValueShrinksAndRoundTrips) {
  TCompAlgo_Zlib zlib;
  for (size_t n : {1u, 200u, 4096u, 4097u, 100000u}) {
    const Bytes value = Text(n);
    const Bytes stored = zlib.EncodeStream(value);
    EXPECT_EQ(zlib.DecodeStream(stored), value) << n;
    if (n < 200) continue;
    EXPECT_LT(stored.size(), n / 2) << n;
    EXPECT_EQ(GetInt32LE(stored.data()), static_cast<int32_t>(n));
    // RFC 1950 header: deflate, 32K window, default level.
    EXPECT_EQ(stored[4], 0x78);
    EXPECT_EQ(stored[5], 0x9C);
  }
}

TEST(ZlibTest, LevelByteMapsToZlibLevels) {
  TCompAlgo_Zlib zlib;
  EXPECT_EQ(zlib.GetLevel(), 1);
  const std::pair<uint8_t, int> cases[] = {{0, 9}, {1, -1}, {2, 1}, {3, 1}, {4, 0}, {255, 0}};
  for (auto [level, expected] : cases) {
    zlib.SetLevel(level);
    EXPECT_EQ(zlib.ZlibLevel(), expected) << int{level};
  }
  // Level 0 in zlib only stores, which never shrinks: the raw form it is.
  zlib.SetLevel(4);
  const Bytes value = Text(1000);
  const Bytes stored = zlib.EncodeStream(value);
  EXPECT_EQ(GetInt32LE(stored.data()), -1000);
  EXPECT_EQ(zlib.DecodeStream(stored), value);
}

TEST(ZlibTest, DamagedStoredFormsAreDatabaseErrors) {
  TCompAlgo_Zlib zlib;
  const Bytes good = zlib.EncodeStream(Text(5000));
  const int32_t n = GetInt32LE(good.data());

  auto with_header = [&](int32_t h) {
    Bytes b = good;
    PutInt32LE(b.data(), h);
    return b;
  };
  auto header_and = [](int32_t h, const Bytes& rest) {
    Bytes b(4);
    PutInt32LE(b.data(), h);
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
  };
  Bytes flipped_checksum = good;
  flipped_checksum.back() ^= 0x01;
  Bytes truncated(good.begin(), good.end() - 6);
  Bytes trailing = good;
  trailing.push_back(0);
  Bytes garbage_stream = header_and(100, RandomBytes(40, 2));

  const std::pair<const char*, Bytes> cases[] = {
      {"1 byte", Bytes{1}},
      {"3 bytes", Bytes{1, 2, 3}},
      {"declared length one more than inflates", with_header(n + 1)},
      {"declared length one less than inflates", with_header(n - 1)},
      {"declared zero", with_header(0)},
      {"huge declared length", with_header(0x7FFFFFFF)},
      {"Adler-32 trailer wrong", flipped_checksum},
      {"stream cut short", truncated},
      {"bytes after the stream", trailing},
      {"not a zlib stream", garbage_stream},
      {"header alone", header_and(10, {})},
      {"raw length beyond the bytes", header_and(-20, RandomBytes(10, 3))},
      {"raw length short of the bytes", header_and(-5, RandomBytes(10, 3))},
      {"most negative length", header_and(INT32_MIN, RandomBytes(10, 3))},
  };
  for (const auto& [what, stored] : cases) {
    try {
      zlib.DecodeStream(stored);
      ADD_FAILURE() << what << ": no error";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Stored value is damaged: ", 0), 0u) << what << ": " << e.what();
    }
  }
}

TEST(ZlibTest, ProgressIsReportedPerPieceInWholePercent) {
  TCompAlgo_Zlib zlib;
  std::vector<int> encode, decode;
  zlib.OnEncodeProgress = [&](int p) { encode.push_back(p); };
  zlib.OnDecodeProgress = [&](int p) { decode.push_back(p); };

  zlib.EncodeStream(Text(10000));
  EXPECT_EQ(encode, (std::vector<int>{41, 82, 100}));  // 4096, 8192, 10000 of 10000

  const Bytes raw = zlib.EncodeStream(RandomBytes(10000, 4));
  ASSERT_LT(GetInt32LE(raw.data()), 0);
  zlib.DecodeStream(raw);
  EXPECT_EQ(decode, (std::vector<int>{41, 82, 100}));

  decode.clear();
  zlib.DecodeStream(zlib.EncodeStream(Text(100000)));
  ASSERT_FALSE(decode.empty());
  EXPECT_EQ(decode.back(), 100);
}

}  // namespace
}  // namespace tdb
