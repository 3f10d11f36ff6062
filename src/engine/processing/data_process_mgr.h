// The two managers that every open database file owns: TCompressMgr for blob
// compression and TEncryptMgr for field and blob encryption.  The file object
// sets each manager's algorithm by the name stored in the file, the database
// keys the cipher once a password is accepted, and the table storage encodes
// and decodes values through the managers.
//
// A manager owns its algorithm object (none until SetAlgorithm) and keeps it
// until the manager is freed; setting the name of the class it already holds
// keeps the object (and so the cipher's key and mode).  Every operation that
// needs an algorithm raises "General error" without one.  The progress
// callbacks receive whole percentages per 4096-byte piece of a stream.
//
// Threads: none of its own locking; the owning file object runs every
// operation inside its critical section.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "engine/processing/compress_algo.h"
#include "engine/processing/data_process_algo.h"
#include "engine/processing/encrypt_algo.h"

namespace tdb {

class TDataProcessMgr {
 public:
  TDataProcessMgr() = default;
  virtual ~TDataProcessMgr() = default;
  // The algorithm's events point back at the manager.
  TDataProcessMgr(const TDataProcessMgr&) = delete;
  TDataProcessMgr& operator=(const TDataProcessMgr&) = delete;

  // The registry position of `name` (letter case ignored), -1 if unknown.
  virtual int IndexOf(std::string_view /*name*/) const { return -1; }
  // Makes the class registered under `name` the manager's algorithm; an
  // unknown name raises the manager's "... module '%s' not found".
  virtual void SetAlgorithm(std::string_view name) = 0;
  bool HasAlgorithm() const { return algo_ != nullptr; }

  // The whole value to its stored form and back.  Raise EDatabaseError.
  virtual std::vector<uint8_t> EncodeStream(std::span<const uint8_t> value);
  virtual std::vector<uint8_t> DecodeStream(std::span<const uint8_t> stored);

  // Progress of encoding and decoding (compress / uncompress, encrypt /
  // decrypt); either may be empty.  They apply to the current and to every
  // later algorithm object.
  void SetOnEncodeProgress(TOnProgress callback) { on_encode_ = std::move(callback); }
  void SetOnDecodeProgress(TOnProgress callback) { on_decode_ = std::move(callback); }

 protected:
  // Takes `algo` as the current algorithm, freeing the previous one, and
  // connects its progress events to this manager's callbacks.
  void Install(std::unique_ptr<TDataProcessAlgo> algo);
  // The current algorithm; raises "General error" when there is none.
  TDataProcessAlgo& Algo() const;
  // True when the current algorithm is of the class `class_name`.
  bool Holds(std::string_view class_name) const;

 private:
  std::unique_ptr<TDataProcessAlgo> algo_;
  TOnProgress on_encode_;
  TOnProgress on_decode_;
};

class TCompressMgr final : public TDataProcessMgr {
 public:
  int IndexOf(std::string_view name) const override;
  // Unknown: "Compression algorithm module '%s' not found".
  void SetAlgorithm(std::string_view name) override;
};

class TEncryptMgr final : public TDataProcessMgr {
 public:
  int IndexOf(std::string_view name) const override;
  // Unknown: "Encryption algorithm module '%s' not found".  A new algorithm
  // object starts in mode 0 and unkeyed.
  void SetAlgorithm(std::string_view name) override;

  // The cipher mode, 0 to 4; a file's larger code is refused with
  // "Cipher mode %s is not supported".
  void SetMode(int code);
  // Derives the key from the password's raw bytes.
  void InitKey(std::string_view password);
  // Resets the chaining state (every operation below does so itself).
  void Done();
  // False also when there is no algorithm.
  bool IsKeyed() const;

  // Fixed-size field values: n bytes from src to dst (may be the same
  // buffer), then Done, so every value starts from the same vector.
  void EncodeBuffer(const uint8_t* src, uint8_t* dst, size_t n);
  void DecodeBuffer(const uint8_t* src, uint8_t* dst, size_t n);
  // Blob values: the stored form has the value's length; then Done.
  std::vector<uint8_t> EncodeStream(std::span<const uint8_t> value) override;
  std::vector<uint8_t> DecodeStream(std::span<const uint8_t> stored) override;

 private:
  TEncryptAlgo& Cipher() const;
};

}  // namespace tdb
