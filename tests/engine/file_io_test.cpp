// The file object: header checks, media, sharing, the file lock, and damaged
// files failing cleanly.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "engine/base/database_error.h"
#include "engine/file/file_io.h"
#include "engine/file/memory_stream.h"
#include "engine/processing/password_check.h"
#include "engine/db_image.h"

namespace tdb {
namespace {

using ::testing::HasSubstr;
using testing::EmptyImage;
using testing::OneRecordImage;
using testing::OneTableImage;
using testing::TempDir;

// The message of the error `f` raises, or "" when it raises none.
std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "";
}

TEST(FileIOHeaderTest, MagicAndVersion) {
  struct Case {
    std::string magic, version, error;
  } cases[] = {
      {"RadiVO", "2.0", ""},
      {"RadiVO", "0.9", ""},
      {"RadiVO", "1.5", ""},
      {"RadiVO", "1.00", "Version 1.00 of database file '%s' is not supported"},
      {"RadiVO", "2.00", "Version 2.00 of database file '%s' is too high"},
      {"RadiVO", "2.1", "Version 2.1 of database file '%s' is too high"},
      {"RadiVO", "3.0", "Version 3.0 of database file '%s' is too high"},
      {"radivo", "2.0", "'%s' is not a valid database file"},
      {"RadiV", "2.0", "'%s' is not a valid database file"},
      {"RadiVOX", "2.0", "'%s' is not a valid database file"},  // seven bytes, no NUL
  };
  TempDir dir;
  for (const Case& c : cases) {
    std::vector<uint8_t> image = EmptyImage(c.magic, c.version);
    if (c.magic.size() == 7) image[6] = static_cast<uint8_t>(c.magic[6]);  // the writer keeps six
    std::string path = dir.File("h.tdb", image);
    TRadiVOFileIO io;
    EXPECT_EQ(ErrorOf([&] { io.Open(path, mtDisk, false, false); }), Format(c.error, {path}))
        << c.magic << " " << c.version;
    EXPECT_EQ(io.IsOpen(), c.error.empty());
  }
  // A file too short to hold a header is not a database file either.
  std::string tiny = dir.File("tiny.tdb", {'R', 'a'});
  TRadiVOFileIO io;
  EXPECT_EQ(ErrorOf([&] { io.Open(tiny, mtDisk, false, false); }), Format("'%s' is not a valid database file", {tiny}));
}

TEST(FileIOOpenTest, EmptyDatabaseListsNoTables) {
  TempDir dir;
  std::string path = dir.File("e.tdb", EmptyImage());
  TRadiVOFileIO io;
  io.Open(path, mtDisk, false, false);
  EXPECT_TRUE(io.GetTableNames().empty());
  EXPECT_EQ(io.Version(), "2.0");
  EXPECT_FALSE(io.ReadOnly());
  EXPECT_TRUE(io.Flushed());
  EXPECT_TRUE(io.SetPassword("anything"));  // not encrypted
  io.Open("/nonexistent", mtDisk, false, false);  // already open: nothing happens
  EXPECT_EQ(io.FileName(), path);
  io.Close();
  EXPECT_FALSE(io.IsOpen());
  EXPECT_FALSE(io.SetPassword(""));
}

TEST(FileIOOpenTest, MissingFileOrFolder) {
  TempDir dir;
  std::string missing = dir.path() + "/missing.tdb";
  struct Case {
    std::string path, error;
    TOpenFailure why;
  } cases[] = {
      {missing, "Cannot open file " + missing, ofMissing},
      {missing + "/x.tdb", "Cannot open file " + missing + "/x.tdb", ofMissing},
      {dir.path(), "Cannot open file " + dir.path() + ": it is a folder", ofFolder},
  };
  for (const Case& c : cases) {
    TRadiVOFileIO io;
    try {
      io.Open(c.path, mtDisk, false, false);
      ADD_FAILURE() << c.path << " opened";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.what(), c.error);
      EXPECT_EQ(e.Kind(), ekCannotOpen) << c.path;
      EXPECT_EQ(e.Params().Open, c.why) << c.path;
      EXPECT_EQ(e.Params().File, c.path);
    }
  }
}

TEST(FileIOOpenTest, DataProcessBlockSelectsAlgorithmsAndChecksPasswords) {
  TempDir dir;
  auto image_with = [](bool compressed, const std::string& zip, bool encrypted, uint8_t mode,
                       const std::string& cipher, const std::string& check) {
    std::vector<uint8_t> image = EmptyImage();
    image[2317] = compressed;
    std::copy(zip.begin(), zip.end(), image.begin() + 2319);
    image[2352] = encrypted;
    image[2353] = mode;
    std::copy(cipher.begin(), cipher.end(), image.begin() + 2354);
    std::copy(check.begin(), check.end(), image.begin() + 2644);
    return image;
  };
  const std::string check = PasswordCheckString("\xCF\xE0\xF0\xEE\xEB\xFC");  // "Пароль"
  struct Case {
    std::vector<uint8_t> image;
    std::string error;  // empty: opens
  } cases[] = {
      {image_with(true, "ZLIB", false, 0, "", ""), ""},
      {image_with(true, "zlib", false, 0, "", ""), ""},
      {image_with(true, "", false, 0, "", ""), "Compression algorithm module '' not found"},
      {image_with(false, "garbage", false, 7, "garbage", ""), ""},  // names unread when the flags are off
      {image_with(false, "", true, 2, "TWOFISH", check), ""},
      {image_with(false, "", true, 0, "Rot13", check), "Encryption algorithm module 'Rot13' not found"},
      {image_with(false, "", true, 5, "Blowfish", check), "Cipher mode 5 is not supported"},
  };
  for (const Case& c : cases) {
    std::string path = dir.File("p.tdb", c.image);
    TRadiVOFileIO io;
    std::string error = ErrorOf([&] { io.Open(path, mtDisk, false, false); });
    EXPECT_THAT(error, HasSubstr(c.error));
    EXPECT_EQ(io.IsOpen(), c.error.empty());
  }

  std::string path = dir.File("p.tdb", image_with(true, "ZLIB", true, 1, "Gost", check));
  TRadiVOFileIO io;
  io.Open(path, mtDisk, false, false);
  uint8_t value[5] = {1, 2, 3, 4, 5}, slot[5];
  // Before a password is accepted the cipher has no key.
  EXPECT_THAT(ErrorOf([&] { io.EncodeBuffer(value, slot, true, 5); }), HasSubstr("is not initialized"));
  EXPECT_FALSE(io.SetPassword("\xEF\xE0\xF0\xEE\xEB\xFC"));  // differs in letter case only
  EXPECT_TRUE(io.SetPassword("\xCF\xE0\xF0\xEE\xEB\xFC"));
  io.EncodeBuffer(value, slot, true, 5);
  EXPECT_NE(std::vector<uint8_t>(slot, slot + 5), std::vector<uint8_t>(value, value + 5));
  uint8_t back[5];
  io.DecodeBuffer(slot, back, true, 5);
  EXPECT_EQ(std::vector<uint8_t>(back, back + 5), std::vector<uint8_t>(value, value + 5));
  std::vector<uint8_t> blob(3000, 'a');
  std::vector<uint8_t> stored = io.EncodeStream(blob, true, true);
  EXPECT_LT(stored.size(), blob.size());  // compressed before it was encrypted
  EXPECT_EQ(io.DecodeStream(stored, true, true), blob);
  EXPECT_EQ(io.EncodeStream(blob, false, false), blob);
}

TEST(FileIOTableTest, ReadsTheTableOfOneRecord) {
  TempDir dir;
  std::string path = dir.File("r.tdb", OneRecordImage());
  TRadiVOFileIO io;
  io.Open(path, mtDisk, false, false);
  EXPECT_EQ(io.GetTableNames(), std::vector<std::string>{"t"});
  TTableHeader h = io.ReadTableHeader(0);
  EXPECT_EQ(h.FieldCount, 3);
  std::vector<int32_t> blocks;
  auto records = io.ReadRecordTable(h, blocks);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].DataOffset, testing::kRecordAt);
  EXPECT_EQ(blocks, std::vector<int32_t>{testing::kRecTabAt});
  auto index = io.ReadIndexTable(h.IndexHeaders[0], h.RecordTotal, blocks);
  ASSERT_EQ(index.size(), 1u);
  EXPECT_EQ(index[0].Next, -1);
  std::vector<uint8_t> blob = io.ReadBlobData(testing::kRecordAt + 15, false, false);
  EXPECT_EQ(std::string(blob.begin(), blob.end()), "hello");
  EXPECT_EQ(ErrorOf([&] { io.ReadTableHeader(1); }), Format("Database file '%s' has no table number 1", {path}));
}

TEST(FileIOTableTest, WritesGoWhereTheFormatSays) {
  TempDir dir;
  std::string path = dir.File("w.tdb", OneRecordImage());
  TRadiVOFileIO io;
  io.Open(path, mtDisk, false, false);
  TTableHeader h = io.ReadTableHeader(0);
  h.RecordTotal = 1;
  h.AutoIncCounter = 99;  // not written with two counters
  io.WriteTableCounters(0, h, 2);
  io.MarkDeleted(testing::kRecTabAt, 0);
  EXPECT_FALSE(io.Flushed());
  io.Flush();
  EXPECT_TRUE(io.Flushed());
  EXPECT_EQ(io.ReadTableHeader(0).AutoIncCounter, 0);
  io.WriteAutoIncCounter(0, 42);
  EXPECT_EQ(io.ReadTableHeader(0).AutoIncCounter, 42);
  EXPECT_TRUE(io.ReadRecordTabItem(testing::kRecTabAt, 0).Deleted);
  EXPECT_EQ(io.ReadRecordTabItem(testing::kRecTabAt, 0).DataOffset, testing::kRecordAt);

  int64_t size = io.FileSize();
  EXPECT_EQ(io.AppendZeros(5124), size);
  EXPECT_EQ(io.FileSize(), size + 5124);
  io.WriteNextBlockPos(testing::kRecTabAt, static_cast<int32_t>(size));
  std::vector<int32_t> blocks;
  h = io.ReadTableHeader(0);
  h.RecordTotal = 1025;
  EXPECT_EQ(io.ReadRecordTable(h, blocks).size(), 1025u);
  EXPECT_EQ(blocks, (std::vector<int32_t>{testing::kRecTabAt, static_cast<int32_t>(size)}));

  const uint8_t byte = 1;
  EXPECT_THAT(ErrorOf([&] { io.WriteData(io.FileSize() + 1, {&byte, 1}); }), HasSubstr("beyond the end"));
}

// Each case damages a sound one-record file in one place; reading the file
// through every reader must end in a damage error naming the file.
TEST(FileIODamageTest, DamagedFilesFailCleanly) {
  using Image = std::vector<uint8_t>;
  const int32_t th = testing::kTableHeaderAt;
  struct Case {
    const char* what;
    std::function<void(Image&)> damage;
  } cases[] = {
      {"cut inside the fixed area", [](Image& i) { i.resize(3000); }},
      {"cut inside the table header", [](Image& i) { i.resize(th + 100); }},
      {"cut inside the record table", [](Image& i) { i.resize(testing::kRecTabAt + 100); }},
      {"table count 257", [](Image& i) { PutInt32LE(&i[2789], 257); }},
      {"table count -1", [](Image& i) { PutInt32LE(&i[2789], -1); }},
      {"table header beyond the end", [](Image& i) { PutInt32LE(&i[2797], 1 << 30); }},
      {"table header in the fixed area", [](Image& i) { PutInt32LE(&i[2797], 100); }},
      {"field count 97", [&](Image& i) { PutInt32LE(&i[th + 45], 97); }},
      {"field count -1", [&](Image& i) { PutInt32LE(&i[th + 45], -1); }},
      {"index count 9", [&](Image& i) { PutInt32LE(&i[th + 4177], 9); }},
      {"index on field 3 of 3", [&](Image& i) { PutInt32LE(&i[th + 4181 + 34], 3); }},
      {"index on field -2", [&](Image& i) { PutInt32LE(&i[th + 4181 + 34], -2); }},
      {"string size -1", [&](Image& i) { PutInt32LE(&i[th + 49 + 43 + 34], -1); }},
      {"string size too large", [&](Image& i) { PutInt32LE(&i[th + 49 + 43 + 34], 0x7FFFFFFF); }},
      {"record total -1", [&](Image& i) { PutInt32LE(&i[th + 37], -1); }},
      {"record total beyond any file", [&](Image& i) { PutInt32LE(&i[th + 37], 1 << 30); }},
      {"record table beyond the end", [&](Image& i) { PutInt32LE(&i[th + 33], 1 << 30); }},
      {"record table at 0", [&](Image& i) { PutInt32LE(&i[th + 33], 0); }},
      {"second record block missing", [&](Image& i) { PutInt32LE(&i[th + 37], 1025); }},
      {"index table beyond the end", [&](Image& i) { PutInt32LE(&i[th + 4181 + 66], 1 << 30); }},
      {"index start beyond the records", [&](Image& i) { PutInt32LE(&i[th + 4181 + 70], 5); }},
      {"index link beyond the records", [](Image& i) { PutInt32LE(&i[testing::kIndexTabAt + 8], 1); }},
      {"blob beyond the end", [](Image& i) { PutInt32LE(&i[testing::kRecordAt + 15], 1 << 30); }},
      {"blob size negative", [](Image& i) { PutInt32LE(&i[testing::kRecordAt + 19], -5); }},
      {"blob size beyond the end", [](Image& i) { PutInt32LE(&i[testing::kRecordAt + 19], 1 << 30); }},
  };
  TempDir dir;
  for (const Case& c : cases) {
    Image image = OneRecordImage();
    c.damage(image);
    std::string path = dir.File("d.tdb", image);
    std::string error = ErrorOf([&] {
      TRadiVOFileIO io;
      io.Open(path, mtDisk, false, false);
      io.GetTableNames();
      TTableHeader h = io.ReadTableHeader(0);
      std::vector<int32_t> blocks;
      io.ReadRecordTable(h, blocks);
      for (int32_t i = 0; i < h.IndexCount; ++i) io.ReadIndexTable(h.IndexHeaders[i], h.RecordTotal, blocks);
      io.ReadBlobData(testing::kRecordAt + 15, false, false);
    });
    EXPECT_THAT(error, HasSubstr("Database file '" + path + "' is damaged")) << c.what;
  }
}

// Small reads come from a memory map of the file.  What another program
// writes or cuts off behind the file object's back reads as a read of the
// file would: new bytes are seen, bytes cut off are damage, and nothing
// ends the process.
TEST(FileIODamageTest, ReadsSeeTheFileAsItIsNowAlsoWhenItGrowsOrIsCutShort) {
  TempDir dir;
  std::vector<uint8_t> image = EmptyImage();
  image.resize(3 * 4096, 0x5A);
  std::string path = dir.File("m.tdb", image);
  TRadiVOFileIO io;
  io.Open(path, mtDisk, false, false);
  uint8_t small[8];
  io.ReadData(2 * 4096, small);
  EXPECT_EQ(small[0], 0x5A);

  int fd = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  const uint8_t grown[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(::pwrite(fd, grown, sizeof grown, 3 * 4096), 8);  // behind the end
  ASSERT_EQ(::pwrite(fd, grown, 1, 2 * 4096), 1);             // over a byte read before
  io.ReadData(3 * 4096, small);
  EXPECT_EQ(small[7], 8);
  io.ReadData(2 * 4096, small);
  EXPECT_EQ(small[0], 1);

  ASSERT_EQ(::ftruncate(fd, 4096), 0);  // cut off the pages read from
  ::close(fd);
  for (int64_t pos : {int64_t{2 * 4096}, int64_t{3 * 4096}})
    EXPECT_THAT(ErrorOf([&] { io.ReadData(pos, small); }), HasSubstr("outside the file")) << pos;
  io.ReadData(4096 - 8, small);  // what is left reads as ever
  EXPECT_EQ(small[7], 0x5A);
}

TEST(FileIODamageTest, UnknownFieldTypeIsAGeneralErrorWhenTheTableIsRead) {
  TTableHeader h = testing::SmallTableHeader();
  h.FieldTab[1].FieldType = 8;  // a gap in the table of codes
  TempDir dir;
  std::string path = dir.File("u.tdb", OneTableImage(h));
  TRadiVOFileIO io;
  io.Open(path, mtDisk, false, false);
  EXPECT_EQ(io.GetTableNames(), std::vector<std::string>{"t"});  // the directory is still readable
  EXPECT_EQ(ErrorOf([&] { io.ReadTableHeader(0); }), "General error");
}

TEST(FileIOMemoryTest, OpensARegisteredImageByHandleInEitherCase) {
  auto stream = std::make_shared<TMemoryStream>(OneTableImage());
  TMemoryStreamHandle handle = RegisterMemoryStream(stream);
  std::string upper = MemoryDatabaseName(handle);
  std::string lower = upper;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const std::string& name : {upper, lower, ":000" + upper.substr(1)}) {
    TRadiVOFileIO io;
    io.Open(name, mtMemory, false, true);
    EXPECT_EQ(io.GetTableNames(), std::vector<std::string>{"t"});
    io.Lock();  // nothing to lock in memory
    io.Unlock();
  }
  TRadiVOFileIO io;
  io.Open(upper, mtMemory, false, false);
  UnregisterMemoryStream(handle);  // an open database keeps its stream
  int32_t at = io.AppendZeros(10);
  EXPECT_EQ(at, static_cast<int32_t>(OneTableImage().size()));
  EXPECT_EQ(stream->Size(), at + 10);
  io.Close();
  EXPECT_EQ(ErrorOf([&] { io.Open(upper, mtMemory, false, false); }), "Invalid database name '" + upper + "'");
}

TEST(FileIOMemoryTest, BadNames) {
  for (std::string name : {"", ":", "12", "x:1", ":12G", ": 1", ":-1", ":FFFFFFFFFFFFFFFFF", ":FFFFFFFFFFFF"}) {
    TRadiVOFileIO io;
    EXPECT_EQ(ErrorOf([&] { io.Open(name, mtMemory, false, false); }), "Invalid database name '" + name + "'");
  }
  auto stream = std::make_shared<TMemoryStream>(EmptyImage("RadiVO", "2.00"));
  TMemoryStreamHandle handle = RegisterMemoryStream(stream);
  TRadiVOFileIO io;
  EXPECT_EQ(ErrorOf([&] { io.Open(MemoryDatabaseName(handle), mtMemory, false, false); }),
            Format("Version 2.00 of database file '%s' is too high", {MemoryDatabaseName(handle)}));
  UnregisterMemoryStream(handle);
}

// A file nobody may write is opened for reading only, also when the tests
// run as root (for whom access() allows writing every file): its missing
// write permission bits count like a read-only attribute.
TEST(FileIOReadOnlyTest, ReadOnlyFileAndReadOnlyOption) {
  TempDir dir;
  std::string path = dir.File("ro.tdb", OneTableImage());
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  TRadiVOFileIO io;
  io.Open(path, mtDisk, false, false);
  EXPECT_TRUE(io.FileIsReadOnly());
  EXPECT_TRUE(io.ReadOnly());
  EXPECT_EQ(io.GetTableNames(), std::vector<std::string>{"t"});
  io.Lock();  // a shared lock on a read-only descriptor
  io.Unlock();
  EXPECT_THAT(ErrorOf([&] { io.AppendZeros(1); }), HasSubstr("open for reading only"));

  std::string rw = dir.File("rw.tdb", OneTableImage());
  TRadiVOFileIO opt;
  opt.Open(rw, mtDisk, true, false);
  EXPECT_FALSE(opt.FileIsReadOnly());
  EXPECT_TRUE(opt.ReadOnly());
  EXPECT_THAT(ErrorOf([&] { opt.WriteAutoIncCounter(0, 1); }), HasSubstr("open for reading only"));
}

// Runs `child` in a forked process and returns its exit code.
int InChild(const std::function<int()>& child) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(child());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FileIOSharingTest, ExclusiveOpensExcludeOthers) {
  TempDir dir;
  std::string path = dir.File("x.tdb", EmptyImage());
  std::string in_use = "Cannot open file " + path + ": it is in use";
  {
    TRadiVOFileIO exclusive;
    exclusive.Open(path, mtDisk, false, true);
    for (bool second_exclusive : {false, true}) {
      TRadiVOFileIO other;
      EXPECT_EQ(ErrorOf([&] { other.Open(path, mtDisk, false, second_exclusive); }), in_use);
      EXPECT_EQ(ErrorOf([&] { other.Open(path, mtDisk, true, second_exclusive); }), in_use);
    }
    // Another process is kept out as well.
    EXPECT_EQ(InChild([&] {
                TRadiVOFileIO io;
                return ErrorOf([&] { io.Open(path, mtDisk, false, false); }) == in_use ? 0 : 1;
              }),
              0);
  }
  {
    TRadiVOFileIO shared1, shared2;
    shared1.Open(path, mtDisk, false, false);
    shared2.Open(path, mtDisk, true, false);
    TRadiVOFileIO exclusive;
    EXPECT_EQ(ErrorOf([&] { exclusive.Open(path, mtDisk, true, true); }), in_use);
  }
  TRadiVOFileIO exclusive;  // everyone has closed
  exclusive.Open(path, mtDisk, false, true);
  EXPECT_TRUE(exclusive.IsOpen());
}

TEST(FileIOLockTest, HeldLockTimesOutAfterTheRetries) {
  TempDir dir;
  std::string path = dir.File("l.tdb", EmptyImage());
  TRadiVOFileIO holder, waiter;
  holder.Open(path, mtDisk, false, false);
  waiter.Open(path, mtDisk, false, false);
  holder.Lock();
  int asked = 0;
  waiter.SetLockSettingsSource([&] {
    ++asked;
    return TLockSettings{3, 1};
  });
  EXPECT_EQ(ErrorOf([&] { waiter.Lock(); }), "Wait for unlock time out");
  EXPECT_EQ(asked, 4);  // four failed attempts: the first and three retries
  EXPECT_FALSE(waiter.Locked());
  holder.Unlock();
  waiter.Lock();
  EXPECT_TRUE(waiter.Locked());
  waiter.Unlock();
}

TEST(FileIOLockTest, LockHeldByAnotherProcess) {
  TempDir dir;
  std::string path = dir.File("p.tdb", EmptyImage());
  int to_child[2], to_parent[2];
  ASSERT_EQ(::pipe(to_child), 0);
  ASSERT_EQ(::pipe(to_parent), 0);
  pid_t pid = ::fork();
  if (pid == 0) {
    TRadiVOFileIO io;
    io.Open(path, mtDisk, false, false);
    io.Lock();
    char c = 'L';
    (void)!::write(to_parent[1], &c, 1);
    (void)!::read(to_child[0], &c, 1);  // hold until the parent is done
    ::_exit(0);
  }
  char c;
  ASSERT_EQ(::read(to_parent[0], &c, 1), 1);
  TRadiVOFileIO io;
  io.Open(path, mtDisk, false, false);
  io.SetLockSettingsSource([] { return TLockSettings{2, 1}; });
  EXPECT_EQ(ErrorOf([&] { io.Lock(); }), "Wait for unlock time out");
  (void)!::write(to_child[1], &c, 1);
  int status = 0;
  ::waitpid(pid, &status, 0);
  io.Lock();  // the child's exit released it
  io.Unlock();
  for (int fd : {to_child[0], to_child[1], to_parent[0], to_parent[1]}) ::close(fd);
}

TEST(FileIOLockTest, RetryCountZeroWaitsUntilTheLockIsFree) {
  TempDir dir;
  std::string path = dir.File("z.tdb", EmptyImage());
  TRadiVOFileIO holder, waiter;
  holder.Open(path, mtDisk, false, false);
  waiter.Open(path, mtDisk, false, false);
  holder.Lock();
  int asked = 0;
  // The holder lets go only after the waiter has failed fifty times, far
  // beyond any retry count but 0.
  waiter.SetLockSettingsSource([&] {
    if (++asked == 50) holder.Unlock();
    return TLockSettings{0, 0};
  });
  waiter.Lock();
  EXPECT_TRUE(waiter.Locked());
  EXPECT_EQ(asked, 50);
}

}  // namespace
}  // namespace tdb
