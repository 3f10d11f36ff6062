// TValueCodec: how one open database stores its values, compressed and
// encrypted as its data process block says.
//
// The codec owns the compression and the encryption manager, created with
// it and freed with it (and with them the key), and the mutex under which
// every encoding and decoding runs, so that datasets of several threads may
// share one open file.  Invariants: the algorithms are set only from the
// file's data process block (Activate), before any value is decoded; the
// cipher is keyed only with a password whose check string the file accepts
// (the file object checks it before SetKey).  With both flags clear a value
// passes unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <vector>

#include "engine/format/file_structures.h"
#include "engine/processing/data_process_mgr.h"

namespace tdb {

class TValueCodec {
 public:
  TValueCodec();
  ~TValueCodec();
  TValueCodec(const TValueCodec&) = delete;
  TValueCodec& operator=(const TValueCodec&) = delete;

  // Sets the algorithms the block names; the cipher stays unkeyed.  An
  // unknown algorithm name or a mode code above 4 raises.
  void Activate(const TDataProcessBlock& block);
  // Keys the cipher with `password`.
  void SetKey(std::string_view password);
  // Progress of compressing, uncompressing, encrypting and decrypting blob
  // values, as whole percentages; any may be empty.
  void SetProgressEvents(TOnProgress compress, TOnProgress uncompress, TOnProgress encrypt, TOnProgress decrypt);

  // See TRadiVOFileIO's encoding of stored values.
  void EncodeBuffer(const uint8_t* value, uint8_t* slot, bool encrypt, size_t n);
  void DecodeBuffer(const uint8_t* slot, uint8_t* value, bool encrypt, size_t n);
  std::vector<uint8_t> EncodeStream(std::span<const uint8_t> value, bool compress, bool encrypt);
  std::vector<uint8_t> DecodeStream(std::span<const uint8_t> stored, bool compress, bool encrypt);

 private:
  std::mutex mutex_;  // guards every use of the managers
  std::unique_ptr<TCompressMgr> compress_mgr_;
  std::unique_ptr<TEncryptMgr> encrypt_mgr_;
};

}  // namespace tdb
