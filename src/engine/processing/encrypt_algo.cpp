// Encryption of stored values: keying from the password, the buffer
// operations over the cipher modes, and stream processing in pieces.
#include "engine/processing/encrypt_algo.h"

#include <algorithm>
#include <string>

#include "engine/base/database_error.h"
#include "engine/processing/secure_wipe.h"

namespace tdb {

std::vector<uint8_t> TEncryptAlgo::EncodeStream(std::span<const uint8_t> value) {
  if (!IsKeyed()) EncodeBuffer(nullptr, nullptr, 0);  // raises the class's own message
  std::vector<uint8_t> out(value.size());
  for (size_t pos = 0; pos < value.size(); pos += kProgressPiece) {
    const size_t piece = std::min(kProgressPiece, value.size() - pos);
    EncodeBuffer(value.data() + pos, out.data() + pos, piece);
    ReportProgress(OnEncodeProgress, pos + piece, value.size());
  }
  return out;
}

std::vector<uint8_t> TEncryptAlgo::DecodeStream(std::span<const uint8_t> stored) {
  if (!IsKeyed()) DecodeBuffer(nullptr, nullptr, 0);
  std::vector<uint8_t> out(stored.size());
  for (size_t pos = 0; pos < stored.size(); pos += kProgressPiece) {
    const size_t piece = std::min(kProgressPiece, stored.size() - pos);
    DecodeBuffer(stored.data() + pos, out.data() + pos, piece);
    ReportProgress(OnDecodeProgress, pos + piece, stored.size());
  }
  return out;
}

TEncAlgo_Base::~TEncAlgo_Base() { SecureWipe(digest_.data(), digest_.size()); }

void TEncAlgo_Base::SetMode(int mode) {
  if (mode < 0 || mode >= TCipherChain::kModeCount)
    DatabaseError(Format("Cipher mode %s is not supported", {std::to_string(mode)}));
  mode_ = mode;
  if (chain_) chain_->SetMode(mode);
}

void TEncAlgo_Base::InitKey(std::string_view password) {
  // Drop any earlier key first, so that a failure leaves the algorithm unkeyed.
  chain_.reset();
  cipher_.reset();
  SecureWipe(digest_.data(), digest_.size());

  digest_ = Sha0(password);
  auto cipher = NewCipher();
  const size_t used = std::min(digest_.size(), cipher->MaxKeyLength());
  cipher->SetKey(std::span<const uint8_t>(digest_.data(), used));

  const size_t block = cipher->BlockSize();
  uint8_t iv[TBlockCipher::kMaxBlockSize];
  std::fill_n(iv, block, uint8_t{0xFF});
  cipher->EncryptBlock(iv, iv);

  auto chain = std::make_unique<TCipherChain>(*cipher);
  chain->SetMode(mode_);
  chain->SetIV(iv);
  SecureWipe(iv, sizeof iv);
  // The digest is not needed any more; encrypting it is how it is put away.
  chain->Encrypt(digest_.data(), digest_.data(), digest_.size());
  chain->Reset();

  cipher_ = std::move(cipher);
  chain_ = std::move(chain);
}

void TEncAlgo_Base::RequireKey() const {
  if (!chain_) DatabaseError(Format("%s is not initialized call Init() or InitKey() before.", {ClassName()}));
}

void TEncAlgo_Base::Done() {
  if (chain_) chain_->Reset();
}

void TEncAlgo_Base::EncodeBuffer(const uint8_t* src, uint8_t* dst, size_t n) {
  RequireKey();
  chain_->Encrypt(src, dst, n);
}

void TEncAlgo_Base::DecodeBuffer(const uint8_t* src, uint8_t* dst, size_t n) {
  RequireKey();
  chain_->Decrypt(src, dst, n);
}

}  // namespace tdb
