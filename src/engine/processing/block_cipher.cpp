// The three block ciphers, over the block primitives of Crypto++ (whose byte
// order within blocks and keys is the one the database format uses).
#include "engine/processing/block_cipher.h"

#include <algorithm>
#include <array>

#if __has_include(<cryptopp/blowfish.h>)
#include <cryptopp/blowfish.h>
#include <cryptopp/gost.h>
#include <cryptopp/twofish.h>
#else
#include <crypto++/blowfish.h>
#include <crypto++/gost.h>
#include <crypto++/twofish.h>
#endif

#include "engine/processing/secure_wipe.h"

namespace tdb {
namespace {

// `Cipher` is a Crypto++ block cipher.  With `KeyLength` non-zero the key
// material is padded with zeros (or cut) to exactly that many bytes; with 0 it
// is used as long as it is, within the cipher's limits (Blowfish cycles a
// short key itself, so padding it would change the schedule).  Crypto++ keeps
// the schedule in wiping buffers, so it is wiped when this object goes.
template <class Cipher, size_t KeyLength>
class TCryptoppCipher final : public TBlockCipher {
 public:
  size_t BlockSize() const override { return Cipher::BLOCKSIZE; }
  size_t MaxKeyLength() const override { return Cipher::MAX_KEYLENGTH; }

  void SetKey(std::span<const uint8_t> material) override {
    std::array<uint8_t, Cipher::MAX_KEYLENGTH> key{};
    size_t length = KeyLength;
    if (length == 0)
      length = std::clamp<size_t>(material.size(), Cipher::MIN_KEYLENGTH, Cipher::MAX_KEYLENGTH);
    std::copy_n(material.begin(), std::min(material.size(), length), key.begin());
    encryption_.SetKey(key.data(), length);
    decryption_.SetKey(key.data(), length);
    SecureWipe(key.data(), key.size());
  }
  void EncryptBlock(const uint8_t* in, uint8_t* out) const override { encryption_.ProcessBlock(in, out); }
  void DecryptBlock(const uint8_t* in, uint8_t* out) const override { decryption_.ProcessBlock(in, out); }

 private:
  typename Cipher::Encryption encryption_;
  typename Cipher::Decryption decryption_;
};

}  // namespace

std::unique_ptr<TBlockCipher> NewBlowfishCipher() {
  return std::make_unique<TCryptoppCipher<CryptoPP::Blowfish, 0>>();
}
std::unique_ptr<TBlockCipher> NewTwofishCipher() {
  return std::make_unique<TCryptoppCipher<CryptoPP::Twofish, 24>>();
}
std::unique_ptr<TBlockCipher> NewGostCipher() { return std::make_unique<TCryptoppCipher<CryptoPP::GOST, 32>>(); }

}  // namespace tdb
