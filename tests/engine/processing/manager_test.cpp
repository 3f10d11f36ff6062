// The algorithm registries and the two managers a database file owns: names,
// messages, keeping or replacing the algorithm object, progress, CRC-32.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/processing/algo_registry.h"
#include "engine/processing/crc32.h"
#include "engine/processing/data_process_mgr.h"

namespace tdb {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>("receipt "[i % 8]);
  return b;
}

std::string ErrorOf(const std::function<void()>& op) {
  try {
    op();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(AlgoRegistryTest, NamesAreFoundInAnyLetterCase) {
  const int zlib = FindCompressClass("ZLIB");
  ASSERT_GE(zlib, 0);
  EXPECT_EQ(FindCompressClass("zlib"), zlib);
  EXPECT_EQ(CompressClassAt(zlib)->class_name, "TCompAlgo_Zlib");

  const std::pair<const char*, const char*> ciphers[] = {
      {"Blowfish", "TEncAlgo_Blowfish"}, {"Twofish", "TEncAlgo_Twofish"}, {"Gost", "TEncAlgo_Gost"}};
  for (auto [name, class_name] : ciphers) {
    const int index = FindEncryptClass(name);
    ASSERT_GE(index, 0) << name;
    std::string lower = name, upper = name;
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(FindEncryptClass(lower), index);
    EXPECT_EQ(FindEncryptClass(upper), index);
    EXPECT_EQ(EncryptClassAt(index)->class_name, class_name);
  }
  for (const char* unknown : {"", "ZLIB ", "Blowfis", "DES"}) {
    EXPECT_EQ(FindEncryptClass(unknown), -1) << unknown;
    EXPECT_EQ(FindCompressClass(unknown), -1) << unknown;
  }
  EXPECT_FALSE(EncryptClassAt(-1));
  EXPECT_FALSE(EncryptClassAt(1000));
}

TEST(AlgoRegistryTest, RegisteringAKnownClassRenamesItInPlace) {
  const int index = FindEncryptClass("Twofish");
  const auto cls = *EncryptClassAt(index);
  RegisterEncryptClass(cls, "TF");
  EXPECT_EQ(FindEncryptClass("tf"), index);
  EXPECT_EQ(FindEncryptClass("Twofish"), -1);
  RegisterEncryptClass(cls, "Twofish");  // put the standard name back
  EXPECT_EQ(FindEncryptClass("Twofish"), index);

  // A new class goes at the end, under its own name.
  TCompressAlgoClass copy{"TCompAlgo_TestCopy", CompressClassAt(FindCompressClass("ZLIB"))->create};
  RegisterCompressClass(copy, "TestCopy");
  EXPECT_GT(FindCompressClass("TESTCOPY"), FindCompressClass("ZLIB"));
}

TEST(DataProcessMgrTest, UnknownNamesAndMissingAlgorithms) {
  TCompressMgr compress;
  TEncryptMgr encrypt;
  EXPECT_EQ(ErrorOf([&] { compress.SetAlgorithm("LZW"); }), "Compression algorithm module 'LZW' not found");
  EXPECT_EQ(ErrorOf([&] { encrypt.SetAlgorithm("DES"); }), "Encryption algorithm module 'DES' not found");
  EXPECT_FALSE(compress.HasAlgorithm());
  EXPECT_FALSE(encrypt.HasAlgorithm());
  EXPECT_FALSE(encrypt.IsKeyed());

  uint8_t buf[8] = {};
  const std::function<void()> ops[] = {
      [&] { compress.EncodeStream(Text(10)); },
      [&] { compress.DecodeStream({}); },
      [&] { encrypt.EncodeStream(Text(10)); },
      [&] { encrypt.DecodeStream(Text(10)); },
      [&] { encrypt.EncodeBuffer(buf, buf, 8); },
      [&] { encrypt.DecodeBuffer(buf, buf, 8); },
      [&] { encrypt.SetMode(1); },
      [&] { encrypt.InitKey("secret"); },
      [&] { encrypt.Done(); },
  };
  for (size_t i = 0; i < std::size(ops); ++i) EXPECT_EQ(ErrorOf(ops[i]), "General error") << "operation " << i;
}

TEST(DataProcessMgrTest, SameClassKeepsTheKeyAnotherClassStartsAfresh) {
  TEncryptMgr mgr;
  mgr.SetAlgorithm("Blowfish");
  mgr.SetMode(2);
  mgr.InitKey("secret");
  const Bytes value = Text(20);
  const Bytes stored = mgr.EncodeStream(value);

  mgr.SetAlgorithm("BLOWFISH");  // the same class: object, key and mode kept
  EXPECT_TRUE(mgr.IsKeyed());
  EXPECT_EQ(mgr.EncodeStream(value), stored);

  mgr.SetAlgorithm("gost");  // another class: a new, unkeyed object
  EXPECT_FALSE(mgr.IsKeyed());
  EXPECT_EQ(ErrorOf([&] { mgr.EncodeStream(value); }),
            "TEncAlgo_Gost is not initialized call Init() or InitKey() before.");

  // A failed lookup leaves the current algorithm in place.
  mgr.InitKey("secret");
  EXPECT_THROW(mgr.SetAlgorithm("none"), EDatabaseError);
  EXPECT_TRUE(mgr.IsKeyed());
}

TEST(DataProcessMgrTest, CompressionManagerRoundTrips) {
  TCompressMgr mgr;
  mgr.SetAlgorithm("zlib");
  EXPECT_TRUE(mgr.HasAlgorithm());
  EXPECT_EQ(mgr.IndexOf("Zlib"), FindCompressClass("ZLIB"));
  const Bytes value = Text(5000);
  const Bytes stored = mgr.EncodeStream(value);
  EXPECT_LT(stored.size(), value.size());
  EXPECT_EQ(mgr.DecodeStream(stored), value);
  EXPECT_TRUE(mgr.EncodeStream({}).empty());
}

TEST(DataProcessMgrTest, ProgressReachesTheManagersCallbacks) {
  std::vector<int> compressed, uncompressed, encrypted, decrypted;
  TCompressMgr compress;
  compress.SetOnEncodeProgress([&](int p) { compressed.push_back(p); });
  compress.SetOnDecodeProgress([&](int p) { uncompressed.push_back(p); });
  compress.SetAlgorithm("ZLIB");  // callbacks set before the algorithm still apply
  TEncryptMgr encrypt;
  encrypt.SetAlgorithm("Twofish");
  encrypt.SetOnEncodeProgress([&](int p) { encrypted.push_back(p); });
  encrypt.SetOnDecodeProgress([&](int p) { decrypted.push_back(p); });
  encrypt.InitKey("secret");

  const Bytes value = Text(10000);
  const Bytes packed = compress.EncodeStream(value);
  compress.DecodeStream(packed);
  encrypt.DecodeStream(encrypt.EncodeStream(value));
  const std::vector<int> pieces = {41, 82, 100};  // 4096, 8192 and 10000 of 10000, rounded
  EXPECT_EQ(compressed, pieces);
  EXPECT_EQ(encrypted, pieces);
  EXPECT_EQ(decrypted, pieces);
  ASSERT_FALSE(uncompressed.empty());
  EXPECT_EQ(uncompressed.back(), 100);

  // Buffer operations are field values, not streams: no progress.
  encrypted.clear();
  uint8_t buf[16] = {};
  encrypt.EncodeBuffer(buf, buf, 16);
  EXPECT_TRUE(encrypted.empty());
}

TEST(DataProcessMgrTest, CompressThenEncryptAsTheFileDoes) {
  TCompressMgr compress;
  TEncryptMgr encrypt;
  compress.SetAlgorithm("ZLIB");
  encrypt.SetAlgorithm("Gost");
  encrypt.SetMode(0);
  encrypt.InitKey("");
  for (const Bytes& value : {Bytes{}, Text(1), Text(9000)}) {
    const Bytes stored = encrypt.EncodeStream(compress.EncodeStream(value));
    EXPECT_EQ(compress.DecodeStream(encrypt.DecodeStream(stored)), value);
  }
}

TEST(Crc32Test, KnownAnswers) {
  const std::string check = "123456789";
  EXPECT_EQ(Crc32(std::span(reinterpret_cast<const uint8_t*>(check.data()), check.size())), 0xCBF43926u);
  EXPECT_EQ(Crc32({}), 0u);
  const Bytes value = Text(1000);
  EXPECT_EQ(Crc32(std::span(value).subspan(400), Crc32(std::span(value).first(400))), Crc32(value));
}

}  // namespace
}  // namespace tdb
