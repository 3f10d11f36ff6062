// The compression and encryption managers of a database file: algorithm
// selection by registered name, and encode / decode with the chaining reset.
#include "engine/processing/data_process_mgr.h"

#include "engine/base/database_error.h"
#include "engine/processing/algo_registry.h"

namespace tdb {
namespace {

const char kGeneralError[] = "General error";

// Resets the cipher's chaining state when an operation ends, even by an error,
// so that a failed value never leaks its state into the next one.
class TDoneGuard {
 public:
  explicit TDoneGuard(TEncryptAlgo& algo) : algo_(algo) {}
  ~TDoneGuard() { algo_.Done(); }
  TDoneGuard(const TDoneGuard&) = delete;
  TDoneGuard& operator=(const TDoneGuard&) = delete;

 private:
  TEncryptAlgo& algo_;
};

}  // namespace

void TDataProcessMgr::Install(std::unique_ptr<TDataProcessAlgo> algo) {
  algo_ = std::move(algo);
  algo_->OnEncodeProgress = [this](int percent) {
    if (on_encode_) on_encode_(percent);
  };
  algo_->OnDecodeProgress = [this](int percent) {
    if (on_decode_) on_decode_(percent);
  };
}

TDataProcessAlgo& TDataProcessMgr::Algo() const {
  if (!algo_) DatabaseError(kGeneralError);
  return *algo_;
}

bool TDataProcessMgr::Holds(std::string_view class_name) const {
  return algo_ && algo_->ClassName() == class_name;
}

std::vector<uint8_t> TDataProcessMgr::EncodeStream(std::span<const uint8_t> value) {
  return Algo().EncodeStream(value);
}

std::vector<uint8_t> TDataProcessMgr::DecodeStream(std::span<const uint8_t> stored) {
  return Algo().DecodeStream(stored);
}

int TCompressMgr::IndexOf(std::string_view name) const { return FindCompressClass(name); }

void TCompressMgr::SetAlgorithm(std::string_view name) {
  const auto cls = CompressClassAt(IndexOf(name));
  if (!cls) DatabaseError(Format("Compression algorithm module '%s' not found", {name}));
  if (!Holds(cls->class_name)) Install(cls->create());
}

int TEncryptMgr::IndexOf(std::string_view name) const { return FindEncryptClass(name); }

void TEncryptMgr::SetAlgorithm(std::string_view name) {
  const auto cls = EncryptClassAt(IndexOf(name));
  if (!cls) DatabaseError(Format("Encryption algorithm module '%s' not found", {name}));
  if (!Holds(cls->class_name)) Install(cls->create());
}

// Only TEncryptMgr::SetAlgorithm installs, and only encryption classes.
TEncryptAlgo& TEncryptMgr::Cipher() const { return static_cast<TEncryptAlgo&>(Algo()); }

void TEncryptMgr::SetMode(int code) { Cipher().SetMode(code); }

void TEncryptMgr::InitKey(std::string_view password) { Cipher().InitKey(password); }

void TEncryptMgr::Done() { Cipher().Done(); }

bool TEncryptMgr::IsKeyed() const { return HasAlgorithm() && Cipher().IsKeyed(); }

void TEncryptMgr::EncodeBuffer(const uint8_t* src, uint8_t* dst, size_t n) {
  TEncryptAlgo& cipher = Cipher();
  TDoneGuard done(cipher);
  cipher.EncodeBuffer(src, dst, n);
}

void TEncryptMgr::DecodeBuffer(const uint8_t* src, uint8_t* dst, size_t n) {
  TEncryptAlgo& cipher = Cipher();
  TDoneGuard done(cipher);
  cipher.DecodeBuffer(src, dst, n);
}

std::vector<uint8_t> TEncryptMgr::EncodeStream(std::span<const uint8_t> value) {
  TEncryptAlgo& cipher = Cipher();
  TDoneGuard done(cipher);
  return cipher.EncodeStream(value);
}

std::vector<uint8_t> TEncryptMgr::DecodeStream(std::span<const uint8_t> stored) {
  TEncryptAlgo& cipher = Cipher();
  TDoneGuard done(cipher);
  return cipher.DecodeStream(stored);
}

}  // namespace tdb
