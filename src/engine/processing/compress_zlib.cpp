// The zlib compression of blob values and its stored-form framing.
#include "engine/processing/compress_zlib.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"

namespace tdb {
namespace {

constexpr size_t kHeaderSize = 4;
// Deflate cannot expand data by more than 1032 to 1, so a declared length
// above this many bytes per stored byte (plus a little slack for the zlib
// header and trailer) cannot be honest.
constexpr uint64_t kMaxInflateRatio = 1032;
constexpr uint64_t kInflateSlack = 1024;

[[noreturn]] void Damaged(const std::string& why) { DatabaseError(ekDamaged, "Stored value is damaged: " + why); }

std::string Num(uint64_t v) { return std::to_string(v); }

// Ends a zlib stream however the operation leaves.
class DeflateGuard {
 public:
  explicit DeflateGuard(z_stream* zs) : zs_(zs) {}
  ~DeflateGuard() { deflateEnd(zs_); }
  DeflateGuard(const DeflateGuard&) = delete;
  DeflateGuard& operator=(const DeflateGuard&) = delete;

 private:
  z_stream* zs_;
};

class InflateGuard {
 public:
  explicit InflateGuard(z_stream* zs) : zs_(zs) {}
  ~InflateGuard() { inflateEnd(zs_); }
  InflateGuard(const InflateGuard&) = delete;
  InflateGuard& operator=(const InflateGuard&) = delete;

 private:
  z_stream* zs_;
};

}  // namespace

int TCompAlgo_Zlib::ZlibLevel() const {
  switch (level_) {
    case 0:
      return 9;
    case 1:
      return Z_DEFAULT_COMPRESSION;
    case 2:
    case 3:
      return 1;
    default:
      return 0;
  }
}

std::vector<uint8_t> TCompAlgo_Zlib::EncodeStream(std::span<const uint8_t> value) {
  const size_t n = value.size();
  if (n == 0) return {};
  // The header holds the length as an int32.
  if (n > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    DatabaseError("Value is too large to compress: " + Num(n) + " bytes");

  z_stream zs{};
  if (deflateInit2(&zs, ZlibLevel(), Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    DatabaseError("Compression failed: cannot start zlib");
  DeflateGuard guard(&zs);

  // deflateBound leaves room for the whole stream, so each call below
  // consumes its whole piece and the final one ends the stream.
  std::vector<uint8_t> out(kHeaderSize + deflateBound(&zs, static_cast<uLong>(n)));
  zs.next_out = out.data() + kHeaderSize;
  zs.avail_out = static_cast<uInt>(out.size() - kHeaderSize);
  for (size_t pos = 0; pos < n; pos += kProgressPiece) {
    const size_t piece = std::min(kProgressPiece, n - pos);
    const bool last = pos + piece == n;
    zs.next_in = const_cast<Bytef*>(value.data() + pos);
    zs.avail_in = static_cast<uInt>(piece);
    const int rc = deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
    if (last ? rc != Z_STREAM_END : (rc != Z_OK || zs.avail_in != 0))
      DatabaseError("Compression failed: zlib error " + Num(static_cast<uint64_t>(rc < 0 ? -rc : rc)));
    ReportProgress(OnEncodeProgress, pos + piece, n);
  }

  const size_t compressed = zs.total_out;
  if (compressed >= n) {
    // Not worth it: keep the value as it is behind a negative length.
    std::vector<uint8_t> raw(kHeaderSize + n);
    PutInt32LE(raw.data(), -static_cast<int32_t>(n));
    std::memcpy(raw.data() + kHeaderSize, value.data(), n);
    return raw;
  }
  out.resize(kHeaderSize + compressed);
  PutInt32LE(out.data(), static_cast<int32_t>(n));
  return out;
}

std::vector<uint8_t> TCompAlgo_Zlib::DecodeStream(std::span<const uint8_t> stored) {
  if (stored.empty()) return {};
  if (stored.size() < kHeaderSize)
    Damaged("the length header needs 4 bytes, " + Num(stored.size()) + " stored");
  const int64_t declared = GetInt32LE(stored.data());
  const std::span<const uint8_t> rest = stored.subspan(kHeaderSize);

  if (declared < 0) {
    const uint64_t n = static_cast<uint64_t>(-declared);
    if (n != rest.size())
      Damaged("raw value of " + Num(n) + " bytes declared, " + Num(rest.size()) + " bytes stored");
    for (size_t pos = kProgressPiece; pos < rest.size(); pos += kProgressPiece)
      ReportProgress(OnDecodeProgress, pos, rest.size());
    ReportProgress(OnDecodeProgress, rest.size(), rest.size());
    return std::vector<uint8_t>(rest.begin(), rest.end());
  }

  const uint64_t n = static_cast<uint64_t>(declared);
  if (n > kMaxInflateRatio * rest.size() + kInflateSlack)
    Damaged("declared length " + Num(n) + " cannot come from " + Num(rest.size()) + " compressed bytes");

  z_stream zs{};
  if (inflateInit2(&zs, 15) != Z_OK) DatabaseError("Decompression failed: cannot start zlib");
  InflateGuard guard(&zs);

  // The output grows as the stream really inflates, up to one byte past the
  // declared length so that a stream giving too much is caught.
  const uint64_t limit = n + 1;
  std::vector<uint8_t> out(static_cast<size_t>(std::min<uint64_t>(limit, 4 * uint64_t{rest.size()} + 4096)));
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  size_t fed = 0;
  size_t reported = 0;
  for (;;) {
    if (zs.avail_in == 0 && fed < rest.size()) {
      const size_t piece = std::min(kProgressPiece, rest.size() - fed);
      zs.next_in = const_cast<Bytef*>(rest.data() + fed);
      zs.avail_in = static_cast<uInt>(piece);
      fed += piece;
    }
    if (zs.avail_out == 0) {
      if (out.size() >= limit) Damaged("inflates to more than the declared " + Num(n) + " bytes");
      const size_t produced = zs.total_out;
      out.resize(static_cast<size_t>(std::min<uint64_t>(limit, 2 * uint64_t{out.size()})));
      zs.next_out = out.data() + produced;
      zs.avail_out = static_cast<uInt>(out.size() - produced);
    }
    const int rc = inflate(&zs, Z_NO_FLUSH);
    const size_t consumed = fed - zs.avail_in;
    if (consumed > reported && (zs.avail_in == 0 || rc == Z_STREAM_END)) {
      ReportProgress(OnDecodeProgress, consumed, rest.size());
      reported = consumed;
    }
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR && zs.avail_in == 0 && fed == rest.size())
      Damaged("the compressed stream ends early");
    if (rc != Z_OK && rc != Z_BUF_ERROR)
      Damaged(std::string("zlib reports ") + (zs.msg ? zs.msg : "an invalid stream"));
  }
  if (zs.total_out != n)
    Damaged("inflates to " + Num(zs.total_out) + " bytes, " + Num(n) + " declared");
  if (zs.avail_in != 0 || fed != rest.size()) Damaged("bytes follow the compressed stream");
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace tdb
