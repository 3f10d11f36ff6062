// TCompAlgo_Zlib, the compression registered as "ZLIB".
//
// Stored form of a value of n bytes:
//   n = 0                 nothing at all;
//   compressed            int32 n (little-endian), then one zlib stream
//                         (RFC 1950, window 15, memory level 8, default
//                         strategy) that inflates to exactly n bytes;
//   kept raw              int32 -n, then the n value bytes, used when the
//                         zlib stream would not be smaller than n.
// Decoding checks every declared length against the bytes that are really
// there and raises EDatabaseError on any damage; it never allocates more than
// the stored bytes can inflate to.  Threads: as TDataProcessAlgo.
#pragma once

#include "engine/processing/compress_algo.h"

namespace tdb {

class TCompAlgo_Zlib : public TCompressAlgo {
 public:
  static constexpr std::string_view kClassName = "TCompAlgo_Zlib";

  std::string_view ClassName() const override { return kClassName; }

  // Level byte: 0 -> zlib level 9, 1 -> zlib default, 2 and 3 -> 1, anything
  // else -> 0 (stored).  The engine leaves it at 1.
  void SetLevel(uint8_t level) override { level_ = level; }
  uint8_t GetLevel() const override { return level_; }
  // The zlib level that the level byte stands for.
  int ZlibLevel() const;

  std::vector<uint8_t> EncodeStream(std::span<const uint8_t> value) override;
  std::vector<uint8_t> DecodeStream(std::span<const uint8_t> stored) override;

 private:
  uint8_t level_ = 1;
};

}  // namespace tdb
