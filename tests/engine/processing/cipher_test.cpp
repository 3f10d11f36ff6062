// The block ciphers, the five cipher modes and the key derivation, checked
// against a second, deliberately plain implementation of the mode table
// written directly over the Crypto++ block primitives, and against fixed
// ciphertexts so that any change of the stored bytes is caught.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#if __has_include(<cryptopp/blowfish.h>)
#include <cryptopp/blowfish.h>
#include <cryptopp/gost.h>
#include <cryptopp/twofish.h>
#else
#include <crypto++/blowfish.h>
#include <crypto++/gost.h>
#include <crypto++/twofish.h>
#endif

#include "engine/base/database_error.h"
#include "engine/processing/block_cipher.h"
#include "engine/processing/data_process_mgr.h"
#include "engine/processing/encrypt_algo.h"
#include "engine/processing/sha0.h"

namespace tdb {
namespace {

using Bytes = std::vector<uint8_t>;

std::string Hex(const Bytes& bytes) {
  std::string s;
  char buf[3];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    s += buf;
  }
  return s;
}

Bytes FromHex(const std::string& hex) {
  Bytes b;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) b.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return b;
}

Bytes Value(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 31 + 7);
  return b;
}

// --- The block primitives ---------------------------------------------------

TEST(BlockCipherTest, PublishedAnswers) {
  struct Case {
    const char* name;
    std::unique_ptr<TBlockCipher> cipher;
    std::string key, ciphertext;
  };
  Case cases[] = {
      {"Blowfish", NewBlowfishCipher(), "0000000000000000", "4ef997456198dd78"},
      {"Twofish", NewTwofishCipher(), std::string(48, '0'), "efa71f788965bd4453f860178fc19101"},
      {"GOST", NewGostCipher(), "546d203368656c326973652073736e6220616779696774747365686520 2c3d73",
       "1b0bbc32cebcab42"},
  };
  for (auto& c : cases) {
    std::string key = c.key;
    std::erase(key, ' ');
    c.cipher->SetKey(FromHex(key));
    const size_t b = c.cipher->BlockSize();
    Bytes zero(b, 0), out(b), back(b);
    c.cipher->EncryptBlock(zero.data(), out.data());
    EXPECT_EQ(Hex(out), c.ciphertext) << c.name;
    c.cipher->DecryptBlock(out.data(), back.data());
    EXPECT_EQ(back, zero) << c.name;
  }
}

TEST(BlockCipherTest, TwofishPadsShortKeysWithZeros) {
  // The 20-byte digest and the same bytes padded to 24 make the same key.
  const Bytes material = Value(20);
  Bytes padded = material;
  padded.resize(24, 0);
  auto a = NewTwofishCipher(), b = NewTwofishCipher();
  a->SetKey(material);
  b->SetKey(padded);
  Bytes zero(16, 0), ca(16), cb(16);
  a->EncryptBlock(zero.data(), ca.data());
  b->EncryptBlock(zero.data(), cb.data());
  EXPECT_EQ(ca, cb);
}

// --- A plain second implementation of keying and modes -----------------------

// Key layout per cipher, as in the file format: digest bytes padded with zeros
// to the schedule length (0: the digest's own length).
template <class Cipher, size_t KeyLength>
class ReferenceEncryption {
 public:
  explicit ReferenceEncryption(std::string_view password) {
    const TSha0Digest digest = Sha0(password);
    Bytes key(digest.begin(), digest.end());
    if (KeyLength != 0) key.resize(KeyLength, 0);
    e_.SetKey(key.data(), key.size());
    d_.SetKey(key.data(), key.size());
    iv_ = E(Bytes(B, 0xFF));
  }

  Bytes Encrypt(int mode, const Bytes& p) const {
    Bytes c(p.size()), f = iv_;
    size_t i = 0;
    if (mode == 2 || mode == 3) {
      for (; i < p.size(); ++i) {
        Bytes k = E(f);
        c[i] = p[i] ^ k[0];
        f.erase(f.begin());
        f.push_back(mode == 2 ? c[i] : k[0]);
      }
      return c;
    }
    for (; i + B <= p.size(); i += B) {
      Bytes block(p.begin() + i, p.begin() + i + B);
      if (mode == 4) {
        block = E(block);
      } else {
        block = E(Xor(block, f));
        f = mode == 0 ? Xor(f, block) : block;
      }
      std::copy(block.begin(), block.end(), c.begin() + i);
    }
    const size_t r = p.size() - i;
    if (r == 0) return c;
    if (mode == 4) {
      std::copy(p.begin() + i, p.end(), c.begin() + i);
    } else {
      Bytes k = E(f);
      for (size_t j = 0; j < r; ++j) c[i + j] = p[i + j] ^ k[j];
    }
    return c;
  }

  Bytes Decrypt(int mode, const Bytes& c) const {
    Bytes p(c.size()), f = iv_;
    size_t i = 0;
    if (mode == 2 || mode == 3) {
      for (; i < c.size(); ++i) {
        Bytes k = E(f);
        p[i] = c[i] ^ k[0];
        f.erase(f.begin());
        f.push_back(mode == 2 ? c[i] : k[0]);
      }
      return p;
    }
    for (; i + B <= c.size(); i += B) {
      Bytes block(c.begin() + i, c.begin() + i + B);
      Bytes plain = mode == 4 ? D(block) : Xor(D(block), f);
      if (mode == 0) f = Xor(f, block);
      if (mode == 1) f = block;
      std::copy(plain.begin(), plain.end(), p.begin() + i);
    }
    const size_t r = c.size() - i;
    if (r == 0) return p;
    if (mode == 4) {
      std::copy(c.begin() + i, c.end(), p.begin() + i);
    } else {
      Bytes k = E(f);
      for (size_t j = 0; j < r; ++j) p[i + j] = c[i + j] ^ k[j];
    }
    return p;
  }

 private:
  static constexpr size_t B = Cipher::BLOCKSIZE;
  static Bytes Xor(Bytes a, const Bytes& b) {
    for (size_t i = 0; i < a.size(); ++i) a[i] ^= b[i];
    return a;
  }
  Bytes E(const Bytes& in) const {
    Bytes out(B);
    e_.ProcessBlock(in.data(), out.data());
    return out;
  }
  Bytes D(const Bytes& in) const {
    Bytes out(B);
    d_.ProcessBlock(in.data(), out.data());
    return out;
  }

  typename Cipher::Encryption e_;
  typename Cipher::Decryption d_;
  Bytes iv_;
};

// --- The engine's ciphers against the reference -------------------------------

const size_t kLengths[] = {0, 1, 7, 8, 9, 13, 15, 16, 17, 4095, 4096, 4097, 10000};

template <class Reference>
void CheckAgainstReference(std::string_view algo_name, std::string_view password) {
  const Reference reference(password);
  TEncryptMgr mgr;
  mgr.SetAlgorithm(algo_name);
  mgr.InitKey(password);
  for (int mode = 0; mode < 5; ++mode) {
    mgr.SetMode(mode);
    for (size_t n : kLengths) {
      SCOPED_TRACE(std::string(algo_name) + " mode " + std::to_string(mode) + " length " + std::to_string(n));
      const Bytes value = Value(n);
      const Bytes expected = reference.Encrypt(mode, value);
      ASSERT_EQ(reference.Decrypt(mode, expected), value);

      // Stream form: in 4096-byte pieces, the same bytes as the one pass.
      const Bytes stored = mgr.EncodeStream(value);
      EXPECT_EQ(stored, expected);
      EXPECT_EQ(mgr.DecodeStream(stored), value);

      // Buffer form, twice: each value starts from the vector again.
      Bytes slot(n), slot2(n), back(n);
      mgr.EncodeBuffer(value.data(), slot.data(), n);
      mgr.EncodeBuffer(value.data(), slot2.data(), n);
      EXPECT_EQ(slot, expected);
      EXPECT_EQ(slot2, expected);
      mgr.DecodeBuffer(slot.data(), back.data(), n);
      EXPECT_EQ(back, value);

      // In place, as the digest is encrypted.
      Bytes in_place = value;
      mgr.EncodeBuffer(in_place.data(), in_place.data(), n);
      EXPECT_EQ(in_place, expected);
      mgr.DecodeBuffer(in_place.data(), in_place.data(), n);
      EXPECT_EQ(in_place, value);
    }
  }
}

TEST(CipherModeTest, BlowfishMatchesThePlainModeTable) {
  CheckAgainstReference<ReferenceEncryption<CryptoPP::Blowfish, 0>>("Blowfish", "secret");
}
TEST(CipherModeTest, TwofishMatchesThePlainModeTable) {
  CheckAgainstReference<ReferenceEncryption<CryptoPP::Twofish, 24>>("Twofish", "secret");
}
TEST(CipherModeTest, GostMatchesThePlainModeTable) {
  CheckAgainstReference<ReferenceEncryption<CryptoPP::GOST, 32>>("Gost", "secret");
}
TEST(CipherModeTest, EmptyPasswordIsARealPassword) {
  CheckAgainstReference<ReferenceEncryption<CryptoPP::Blowfish, 0>>("Blowfish", "");
  TEncryptMgr a, b;
  a.SetAlgorithm("Blowfish");
  b.SetAlgorithm("Blowfish");
  a.InitKey("");
  b.InitKey("x");
  const Bytes value = Value(16);
  EXPECT_TRUE(a.IsKeyed());
  EXPECT_NE(a.EncodeStream(value), b.EncodeStream(value));
}

// Fixed ciphertexts of a 21-byte value (for 8-byte blocks two blocks and a
// 5-byte tail; for Twofish one block and the tail) under the password
// "Formix" in every mode.  They pin the stored bytes of existing files.
TEST(CipherModeTest, FixedCiphertexts) {
  struct Case {
    const char* algo;
    int mode;
    const char* hex;
  };
  const Case cases[] = {
      {"Blowfish", 0, "8415102fe082a1780a542a7df9a2ef5a4d9a0cd442"},
      {"Blowfish", 1, "8415102fe082a178a7c7867f65f93cc93d2fd1466b"},
      {"Blowfish", 2, "78d032560a0e9f5d48b718927c1a469039819fee06"},
      {"Blowfish", 3, "78a0dabff8976c0e96cf4b4d0c6e141df470bc1267"},
      {"Blowfish", 4, "88fd670bae1557081a6aede57bdd925ff716355473"},
      {"Twofish", 0, "22a565c9a262611e88739dbac1330b9caf28bdd5a4"},
      {"Twofish", 1, "22a565c9a262611e88739dbac1330b9cfe4057ba1b"},
      {"Twofish", 2, "aa9edab82e07a1d5851cb2c98816f85a8975361f3d"},
      {"Twofish", 3, "aae9a8ba96eed11670ff5d126d8d6dd8a3627b8bb5"},
      {"Twofish", 4, "79c244c603ee1bb4ddf728cb5cb4b6d1f716355473"},
      {"Gost", 0, "4e4980fd7a44a6d8833e4834300cc1578d57f6d6d6"},
      {"Gost", 1, "4e4980fd7a44a6d87cd15c74e639dcbbe41590f5a2"},
      {"Gost", 2, "e50ec1bac8d935555979959e5a48192bbf550b4438"},
      {"Gost", 3, "e59920f4ce6913a3f7daa1f0dae456b31d75801527"},
      {"Gost", 4, "6f68e42e7f7fc5747b9922f924b4917bf716355473"},
  };
  const Bytes value = Value(21);
  for (const auto& c : cases) {
    TEncryptMgr mgr;
    mgr.SetAlgorithm(c.algo);
    mgr.SetMode(c.mode);
    mgr.InitKey("Formix");
    EXPECT_EQ(Hex(mgr.EncodeStream(value)), c.hex) << c.algo << " mode " << c.mode;
  }
}

TEST(CipherModeTest, EcbLeavesThePartialLastBlockInClear) {
  const Bytes value = Value(13);
  TEncryptMgr mgr;
  mgr.SetAlgorithm("Blowfish");
  mgr.SetMode(4);
  mgr.InitKey("secret");
  const Bytes stored = mgr.EncodeStream(value);
  ASSERT_EQ(stored.size(), 13u);
  EXPECT_NE(Bytes(stored.begin(), stored.begin() + 8), Bytes(value.begin(), value.begin() + 8));
  EXPECT_EQ(Bytes(stored.begin() + 8, stored.end()), Bytes(value.begin() + 8, value.end()));
}

TEST(CipherModeTest, AlgorithmBufferOperationsCarryTheChainUntilDone) {
  TEncAlgo_Blowfish algo;
  algo.SetMode(1);
  algo.InitKey("secret");
  const Bytes value = Value(16);
  Bytes first(16), second(16), after_done(16);
  algo.EncodeBuffer(value.data(), first.data(), 16);
  algo.EncodeBuffer(value.data(), second.data(), 16);
  EXPECT_NE(first, second);
  algo.Done();
  algo.EncodeBuffer(value.data(), after_done.data(), 16);
  EXPECT_EQ(first, after_done);
}

TEST(CipherModeTest, UnkeyedCipherNamesItsClass) {
  const std::pair<const char*, const char*> cases[] = {
      {"Blowfish", "TEncAlgo_Blowfish"}, {"Twofish", "TEncAlgo_Twofish"}, {"Gost", "TEncAlgo_Gost"}};
  for (auto [name, class_name] : cases) {
    TEncryptMgr mgr;
    mgr.SetAlgorithm(name);
    EXPECT_FALSE(mgr.IsKeyed());
    const std::string expected = std::string(class_name) + " is not initialized call Init() or InitKey() before.";
    uint8_t buf[8] = {};
    auto expect_message = [&](auto&& op, const char* what) {
      try {
        op();
        ADD_FAILURE() << name << " " << what << ": no error";
      } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.what(), expected) << what;
      }
    };
    expect_message([&] { mgr.EncodeBuffer(buf, buf, 8); }, "encode buffer");
    expect_message([&] { mgr.DecodeBuffer(buf, buf, 8); }, "decode buffer");
    expect_message([&] { mgr.EncodeStream(Value(3)); }, "encode stream");
    expect_message([&] { mgr.DecodeStream({}); }, "decode stream of nothing");
  }
}

TEST(CipherModeTest, ModeCodesAboveFourAreRefused) {
  TEncryptMgr mgr;
  mgr.SetAlgorithm("Gost");
  mgr.SetMode(3);
  for (int code : {5, 255, -1}) {
    try {
      mgr.SetMode(code);
      ADD_FAILURE() << code;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.what(), "Cipher mode " + std::to_string(code) + " is not supported");
    }
  }
  // The refused code left the mode as it was.
  mgr.InitKey("secret");
  const ReferenceEncryption<CryptoPP::GOST, 32> reference("secret");
  EXPECT_EQ(mgr.EncodeStream(Value(20)), reference.Encrypt(3, Value(20)));
}

}  // namespace
}  // namespace tdb
