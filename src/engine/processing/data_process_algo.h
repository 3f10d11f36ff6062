// The root of the stored-data processing algorithms: compression (TCompressAlgo)
// and encryption (TEncryptAlgo) of the values a database file stores.
//
// An algorithm object belongs to one manager (TCompressMgr or TEncryptMgr),
// which belongs to one database file object; that file object runs every
// encode and decode inside its critical section, so an algorithm object is
// used by one thread at a time and keeps no lock of its own.
//
// Stream operations report progress through the two events as whole
// percentages, processed * 100 / size rounded to the nearest integer, once
// per piece of at most kProgressPiece bytes.  An empty value reports nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace tdb {

using TOnProgress = std::function<void(int percent)>;

class TDataProcessAlgo {
 public:
  static constexpr size_t kProgressPiece = 4096;

  TDataProcessAlgo() = default;
  virtual ~TDataProcessAlgo() = default;
  TDataProcessAlgo(const TDataProcessAlgo&) = delete;
  TDataProcessAlgo& operator=(const TDataProcessAlgo&) = delete;

  // The class name ("TCompAlgo_Zlib", "TEncAlgo_Blowfish", ...), used in
  // messages and to tell whether a manager already holds the right class.
  virtual std::string_view ClassName() const = 0;

  // Encodes a whole value into its stored form.  Raises EDatabaseError.
  virtual std::vector<uint8_t> EncodeStream(std::span<const uint8_t> value) = 0;
  // Decodes a stored form back into the value; damaged input raises
  // EDatabaseError and never reads outside `stored`.
  virtual std::vector<uint8_t> DecodeStream(std::span<const uint8_t> stored) = 0;

  // Progress events; either may be empty.
  TOnProgress OnEncodeProgress;
  TOnProgress OnDecodeProgress;

 protected:
  // Reports processed * 100 / size, rounded, through `event` (if set).
  static void ReportProgress(const TOnProgress& event, size_t processed, size_t size);
};

}  // namespace tdb
