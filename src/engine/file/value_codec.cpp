// Encoding and decoding the stored values of one open database.
#include "engine/file/value_codec.h"

#include <cstring>

namespace tdb {

TValueCodec::TValueCodec()
    : compress_mgr_(std::make_unique<TCompressMgr>()), encrypt_mgr_(std::make_unique<TEncryptMgr>()) {}

TValueCodec::~TValueCodec() = default;

void TValueCodec::Activate(const TDataProcessBlock& block) {
  // The cipher stays unkeyed until a password is accepted.  An unknown
  // algorithm name or a mode code above 4 refuses the file here, before any
  // stored byte could be taken for a plain value.
  std::lock_guard guard(mutex_);
  if (block.Compressed) compress_mgr_->SetAlgorithm(block.CompressAlgoName);
  if (block.Encrypted) {
    encrypt_mgr_->SetAlgorithm(block.EncryptAlgoName);
    encrypt_mgr_->SetMode(block.EncryptMode);
  }
}

void TValueCodec::SetProgressEvents(TOnProgress compress, TOnProgress uncompress, TOnProgress encrypt,
                                    TOnProgress decrypt) {
  std::lock_guard guard(mutex_);
  compress_mgr_->SetOnEncodeProgress(std::move(compress));
  compress_mgr_->SetOnDecodeProgress(std::move(uncompress));
  encrypt_mgr_->SetOnEncodeProgress(std::move(encrypt));
  encrypt_mgr_->SetOnDecodeProgress(std::move(decrypt));
}

void TValueCodec::SetKey(std::string_view password) {
  std::lock_guard guard(mutex_);
  encrypt_mgr_->InitKey(password);
}

void TValueCodec::EncodeBuffer(const uint8_t* value, uint8_t* slot, bool encrypt, size_t n) {
  std::lock_guard guard(mutex_);
  if (encrypt)
    encrypt_mgr_->EncodeBuffer(value, slot, n);
  else if (n)
    std::memmove(slot, value, n);
}

void TValueCodec::DecodeBuffer(const uint8_t* slot, uint8_t* value, bool encrypt, size_t n) {
  std::lock_guard guard(mutex_);
  if (encrypt)
    encrypt_mgr_->DecodeBuffer(slot, value, n);
  else if (n)
    std::memmove(value, slot, n);
}

std::vector<uint8_t> TValueCodec::EncodeStream(std::span<const uint8_t> value, bool compress, bool encrypt) {
  std::lock_guard guard(mutex_);
  if (!compress && !encrypt) return std::vector<uint8_t>(value.begin(), value.end());
  if (!compress) return encrypt_mgr_->EncodeStream(value);
  std::vector<uint8_t> packed = compress_mgr_->EncodeStream(value);
  return encrypt ? encrypt_mgr_->EncodeStream(packed) : packed;
}

std::vector<uint8_t> TValueCodec::DecodeStream(std::span<const uint8_t> stored, bool compress, bool encrypt) {
  std::lock_guard guard(mutex_);
  if (!compress && !encrypt) return std::vector<uint8_t>(stored.begin(), stored.end());
  if (!encrypt) return compress_mgr_->DecodeStream(stored);
  std::vector<uint8_t> plain = encrypt_mgr_->DecodeStream(stored);
  return compress ? compress_mgr_->DecodeStream(plain) : plain;
}

}  // namespace tdb
