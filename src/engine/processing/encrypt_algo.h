// The encryption family of stored-data algorithms: TEncryptAlgo (the buffer
// and stream contract), TEncAlgo_Base (a block cipher in one of the five
// modes, keyed from a password) and the three registered ciphers.
//
// Keying (InitKey with password p): the SHA-0 digest of p's bytes is the key
// material (TBlockCipher says how each cipher lays it out); the
// initialisation vector is one block of 0xFF bytes encrypted once with the new
// key; the digest is then encrypted in place with the current mode and F is
// reset to the vector.  Until then every encrypt and decrypt raises
// "<class name> is not initialized call Init() or InitKey() before.".
//
// Chaining: buffer operations carry the chaining state from call to call;
// Done() resets it.  Stream operations run over the buffer operations in
// pieces of 4096 bytes (the same bytes as one pass) and leave the reset to the
// caller, as the buffer operations do.  The object owns its cipher, its key
// schedule and the (encrypted) digest, all wiped when it is freed.  Threads: as
// TDataProcessAlgo.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "engine/processing/block_cipher.h"
#include "engine/processing/cipher_chain.h"
#include "engine/processing/data_process_algo.h"
#include "engine/processing/sha0.h"

namespace tdb {

class TEncryptAlgo : public TDataProcessAlgo {
 public:
  // Sets the cipher mode 0 to 4; any other code raises
  // "Cipher mode %s is not supported".
  virtual void SetMode(int mode) = 0;
  virtual int GetMode() const = 0;
  // Derives the key from the password's raw bytes (empty is a real password).
  virtual void InitKey(std::string_view password) = 0;
  virtual bool IsKeyed() const = 0;
  // Resets the chaining state to the initialisation vector.
  virtual void Done() = 0;
  // Encrypt or decrypt n bytes; `src` and `dst` may be the same buffer.
  virtual void EncodeBuffer(const uint8_t* src, uint8_t* dst, size_t n) = 0;
  virtual void DecodeBuffer(const uint8_t* src, uint8_t* dst, size_t n) = 0;

  std::vector<uint8_t> EncodeStream(std::span<const uint8_t> value) override;
  std::vector<uint8_t> DecodeStream(std::span<const uint8_t> stored) override;
};

class TEncAlgo_Base : public TEncryptAlgo {
 public:
  TEncAlgo_Base() = default;
  ~TEncAlgo_Base() override;

  void SetMode(int mode) override;
  int GetMode() const override { return mode_; }
  void InitKey(std::string_view password) override;
  bool IsKeyed() const override { return chain_ != nullptr; }
  void Done() override;
  void EncodeBuffer(const uint8_t* src, uint8_t* dst, size_t n) override;
  void DecodeBuffer(const uint8_t* src, uint8_t* dst, size_t n) override;

 protected:
  // The cipher class: a new, unkeyed block cipher of this algorithm.
  virtual std::unique_ptr<TBlockCipher> NewCipher() const = 0;

 private:
  // Raises the "not initialized" error when no key has been derived.
  void RequireKey() const;

  int mode_ = 0;
  std::unique_ptr<TBlockCipher> cipher_;  // keyed; present once InitKey ran
  std::unique_ptr<TCipherChain> chain_;   // over *cipher_
  TSha0Digest digest_{};                  // the password digest, encrypted in place
};

class TEncAlgo_Blowfish final : public TEncAlgo_Base {
 public:
  static constexpr std::string_view kClassName = "TEncAlgo_Blowfish";
  std::string_view ClassName() const override { return kClassName; }

 protected:
  std::unique_ptr<TBlockCipher> NewCipher() const override { return NewBlowfishCipher(); }
};

class TEncAlgo_Twofish final : public TEncAlgo_Base {
 public:
  static constexpr std::string_view kClassName = "TEncAlgo_Twofish";
  std::string_view ClassName() const override { return kClassName; }

 protected:
  std::unique_ptr<TBlockCipher> NewCipher() const override { return NewTwofishCipher(); }
};

class TEncAlgo_Gost final : public TEncAlgo_Base {
 public:
  static constexpr std::string_view kClassName = "TEncAlgo_Gost";
  std::string_view ClassName() const override { return kClassName; }

 protected:
  std::unique_ptr<TBlockCipher> NewCipher() const override { return NewGostCipher(); }
};

}  // namespace tdb
