// Blob areas, their rewriting and verification, and the blob streams.
#include <gtest/gtest.h>

#include "engine/base/database_error.h"
#include "storage_fixture.h"

namespace tdb::testing {
namespace {

enum { kKey, kData };

TTableHeader BlobHeader() { return TableHeader("b", {{"k", ftInteger, 0, 0}, {"data", ftBlob, 0, 0}}); }

std::vector<uint8_t> WithVerifyWrites(std::vector<uint8_t> image) {
  TDataProcessBlock block;
  block.VerifyWrites = true;
  WriteDataProcessBlock(block, std::span<uint8_t>(image).subspan(kDataProcessBlockPos));
  return image;
}

// A medium that spoils the first byte of the next `spoil` blob area writes
// (the only writes whose size is a multiple of 64 in these tables) that
// begin with `marker`.
// It also records every write, and fails the next `failing_reads` reads
// that reach the byte at `fail_at`, as a medium with a passing fault does.
class TSpoilingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  int spoil = 0;
  uint8_t marker = 'v';
  mutable int failing_reads = 0;
  int64_t fail_at = -1;
  std::vector<std::pair<int64_t, size_t>> writes;
  size_t ReadAt(int64_t pos, uint8_t* dst, size_t n) const override {
    if (failing_reads > 0 && pos <= fail_at && fail_at < pos + static_cast<int64_t>(n)) {
      --failing_reads;
      return 0;
    }
    return TMemoryStream::ReadAt(pos, dst, n);
  }
  void WriteAt(int64_t pos, const uint8_t* src, size_t n) override {
    writes.emplace_back(pos, n);
    if (spoil > 0 && n % 64 == 0 && n > 0 && src[0] == marker) {
      --spoil;
      std::vector<uint8_t> bad(src, src + n);
      bad[0] ^= 0xFF;
      TMemoryStream::WriteAt(pos, bad.data(), n);
      return;
    }
    TMemoryStream::WriteAt(pos, src, n);
  }
};

class BlobTest : public ::testing::Test {
 protected:
  void Make(std::vector<uint8_t> image = OneTableImage(BlobHeader())) {
    stream_ = std::make_shared<TSpoilingStream>(std::move(image));
    db_ = std::make_unique<TMemoryDb>(stream_);
    table_ = db_->Open("b");
  }
  void Append(int32_t key, size_t blob_size) {
    TRecordBuffer r(*table_);
    r.Int(kKey, key).Blob(kData, std::string(blob_size, 'v'));
    table_->AppendRecord(r.Buffers(), false, nullptr);
  }
  void Rewrite(int32_t pos, const std::string& value) {
    TRecordBuffer r(*table_);
    r.Inactive(kKey).Blob(kData, value);
    table_->ModifyRecord(r.Buffers(), pos, nullptr, false);
  }
  TBlobDescriptor Descriptor(int32_t pos) {
    return db_->file().ReadBlobDescriptor(table_->IndexLists(0)[static_cast<size_t>(pos)].DataOffset + 4);
  }
  std::string Value(int32_t pos) {
    std::vector<uint8_t> v = table_->ReadFieldValue(table_->IndexLists(0)[static_cast<size_t>(pos)].RecIndex, kData);
    return std::string(v.begin(), v.end());
  }

  std::shared_ptr<TSpoilingStream> stream_;
  std::unique_ptr<TMemoryDb> db_;
  std::unique_ptr<TDadaTableIO> table_;
};

TEST_F(BlobTest, AreasAreMultiplesOf64AlwaysLargerThanTheValue) {
  Make();
  struct Case {
    size_t size;
    int32_t area;
  };
  int32_t key = 0;
  for (const Case& c : std::vector<Case>{{0, 64}, {1, 64}, {63, 64}, {64, 128}, {127, 128}, {128, 192}}) {
    size_t end = db_->Bytes().size();
    Append(key, c.size);
    TBlobDescriptor d = Descriptor(key);
    EXPECT_EQ(d.BlobSize, static_cast<int32_t>(c.size));
    EXPECT_EQ(d.AreaSize, c.area) << c.size;
    // The area follows the fixed part and the file ends with it.
    EXPECT_EQ(d.BlobOffset, table_->IndexLists(0)[static_cast<size_t>(key)].DataOffset + 24);
    EXPECT_EQ(db_->Bytes().size(), static_cast<size_t>(d.BlobOffset + d.AreaSize));
    if (key > 0) {
      EXPECT_EQ(table_->IndexLists(0)[static_cast<size_t>(key)].DataOffset, static_cast<int32_t>(end));
    }
    EXPECT_EQ(Value(key), std::string(c.size, 'v'));
    ++key;
  }
}

TEST_F(BlobTest, RewriteInPlaceMoveAndGrowInPlace) {
  Make();
  Append(0, 63);
  Append(1, 10);
  TBlobDescriptor first = Descriptor(0);

  Rewrite(0, "short");  // fits: same place, the rest of the area zero
  TBlobDescriptor d = Descriptor(0);
  EXPECT_EQ(d.BlobOffset, first.BlobOffset);
  EXPECT_EQ(d.AreaSize, 64);
  EXPECT_EQ(Value(0), "short");
  std::vector<uint8_t> bytes = db_->Bytes();
  for (int32_t i = 5; i < 64; ++i) EXPECT_EQ(bytes[static_cast<size_t>(first.BlobOffset + i)], 0) << i;

  size_t end = bytes.size();
  Rewrite(0, std::string(64, 'w'));  // reaches the area: moves to the end
  d = Descriptor(0);
  EXPECT_EQ(d.BlobOffset, static_cast<int32_t>(end));
  EXPECT_EQ(d.AreaSize, 128);
  EXPECT_EQ(db_->Bytes().size(), end + 128);  // the whole area, so nothing lands inside it

  Rewrite(0, std::string(300, 'g'));  // last in the file: grows where it is
  TBlobDescriptor grown = Descriptor(0);
  EXPECT_EQ(grown.BlobOffset, d.BlobOffset);
  EXPECT_EQ(grown.AreaSize, 320);
  EXPECT_EQ(db_->Bytes().size(), static_cast<size_t>(grown.BlobOffset + 320));
  EXPECT_EQ(Value(0), std::string(300, 'g'));
  EXPECT_EQ(Value(1), std::string(10, 'v'));
  Append(2, 1);
  EXPECT_EQ(table_->IndexLists(0)[2].DataOffset, grown.BlobOffset + 320);
}

TEST_F(BlobTest, ReadRecordLoadsLazilyAndNeverOverNewContent) {
  Make();
  Append(0, 5);
  TRecordBuffer r(*table_);
  table_->ReadRecord(r.Buffers(), table_->IndexLists(0), 0);
  EXPECT_FALSE(r.Stream(kData).Loaded());
  EXPECT_EQ(r.Stream(kData).Size(), 5);
  EXPECT_TRUE(r.Stream(kData).Loaded());

  table_->ReadRecord(r.Buffers(), table_->IndexLists(0), 0);
  r.Stream(kData).Write("new", 3);  // before any read
  EXPECT_EQ(r.GetBlob(kData), "new");
  uint8_t c;
  r.Stream(kData).Seek(0, TSeekOrigin::kBegin);
  EXPECT_EQ(r.Stream(kData).Read(&c, 1), 1u);
  EXPECT_EQ(c, 'n');
}

TEST_F(BlobTest, AFailedLoadRaisesUntilItSucceedsAndIsNeverStoredAsEmpty) {
  Make();
  Append(0, 20);
  const TBlobDescriptor stored = Descriptor(0);
  stream_->fail_at = stored.BlobOffset;
  stream_->failing_reads = 2;

  TRecordBuffer r(*table_);
  table_->ReadRecord(r.Buffers(), table_->IndexLists(0), 0);
  EXPECT_THROW(r.Stream(kData).Size(), EDatabaseError);
  EXPECT_FALSE(r.Stream(kData).Loaded());
  EXPECT_THROW(r.Stream(kData).Bytes(), EDatabaseError);  // tried again, failed again

  r.Int(kKey, 5);
  table_->ModifyRecord(r.Buffers(), 0, nullptr, false);  // the blob is not part of the change
  EXPECT_EQ(Descriptor(0).BlobOffset, stored.BlobOffset);
  EXPECT_EQ(Descriptor(0).BlobSize, 20);
  EXPECT_EQ(r.GetBlob(kData), std::string(20, 'v'));  // the medium recovered: the stored value
  EXPECT_EQ(Value(0), std::string(20, 'v'));
}

TEST_F(BlobTest, ARewriteWritesOnlyTheBlobsThatChanged) {
  Make();
  Append(0, 20);
  const TBlobDescriptor stored = Descriptor(0);
  auto blob_writes = [&] {
    int n = 0;
    for (auto [pos, size] : stream_->writes)
      n += pos < stored.BlobOffset + stored.AreaSize && stored.BlobOffset < pos + static_cast<int64_t>(size);
    return n;
  };

  TRecordBuffer r(*table_);
  table_->ReadRecord(r.Buffers(), table_->IndexLists(0), 0);
  EXPECT_EQ(r.GetBlob(kData), std::string(20, 'v'));  // loaded: a copy that could be written back
  stream_->writes.clear();
  r.Int(kKey, 5);
  table_->ModifyRecord(r.Buffers(), 0, nullptr, false);
  EXPECT_EQ(blob_writes(), 0);
  EXPECT_FALSE(stream_->writes.empty());  // the fixed part was written

  // A buffer read from another record is no copy of this one's blob.
  Append(1, 3);
  table_->ReadRecord(r.Buffers(), table_->IndexLists(0), 1);
  r.Int(kKey, 6);
  table_->ModifyRecord(r.Buffers(), 0, nullptr, false);
  EXPECT_EQ(Value(0), "vvv");

  table_->ReadRecord(r.Buffers(), table_->IndexLists(0), 0);
  r.Stream(kData).Seek(0, TSeekOrigin::kEnd);
  r.Stream(kData).Write("!", 1);
  table_->ModifyRecord(r.Buffers(), 0, nullptr, false);
  EXPECT_EQ(Value(0), "vvv!");
}

TEST_F(BlobTest, DadaBlobStreamModes) {
  Make();
  Append(0, 4);
  TRecordBuffer r(*table_);
  table_->ReadRecord(r.Buffers(), table_->IndexLists(0), 0);
  int changes = 0;
  auto count = [&] { ++changes; };
  {
    TDadaBlobStream read(r.Stream(kData), TBlobStreamMode::bmRead, count);
    EXPECT_EQ(read.Size(), 4);
    EXPECT_THROW(read.Write("x", 1), EDatabaseError);
  }
  EXPECT_EQ(changes, 0);
  {
    TDadaBlobStream rw(r.Stream(kData), TBlobStreamMode::bmReadWrite, count);
    rw.Seek(0, TSeekOrigin::kEnd);
    rw.Write("!", 1);
    EXPECT_EQ(r.GetBlob(kData), "vvvv!");
  }
  EXPECT_EQ(changes, 1);
  {
    TDadaBlobStream w(r.Stream(kData), TBlobStreamMode::bmWrite, count);
    EXPECT_EQ(r.Stream(kData).Size(), 0);
    w.Write("ab", 2);
  }
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(r.GetBlob(kData), "ab");
}

TEST_F(BlobTest, VerifiedWritesRetryThenGiveUpKeepingTheOldValue) {
  Make(WithVerifyWrites(OneTableImage(BlobHeader())));
  stream_->spoil = 1;  // one bad write: the retry stores it
  Append(0, 40);
  EXPECT_EQ(stream_->spoil, 0);
  EXPECT_EQ(Value(0), std::string(40, 'v'));

  std::vector<uint8_t> before = db_->Bytes();
  stream_->spoil = 100;  // never right: given up, the old value stays
  stream_->marker = 'o';
  EXPECT_THROW(Rewrite(0, "other"), EDatabaseError);
  EXPECT_EQ(db_->Bytes(), before);
  EXPECT_EQ(Value(0), std::string(40, 'v'));

  stream_->spoil = 100;
  stream_->marker = 'v';
  size_t total = db_->file().ReadTableHeader(0).RecordTotal;
  EXPECT_THROW(Append(1, 3), EDatabaseError);
  EXPECT_EQ(static_cast<size_t>(db_->file().ReadTableHeader(0).RecordTotal), total);
  stream_->spoil = 0;
  Append(1, 3);
  EXPECT_EQ(table_->IndexLists(0).size(), 2u);
}

}  // namespace
}  // namespace tdb::testing
