// Failures a program explains in its own words: each reaches the caller of
// the table dataset with its kind and the file, table, field or record it
// concerns.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/base/database_error.h"
#include "engine/database/session.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/table_fixture.h"
#include "engine/file/file_stream.h"
#include "engine/format/file_structures.h"
#include "engine/processing/password_check.h"

namespace tdb {
namespace {

using testing::EmptyImage;
using testing::OneTableImage;

// The failure `f` raised, or nothing.
std::optional<EDatabaseError> FailureOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDatabaseError& e) {
    return e;
  }
  return std::nullopt;
}

class ErrorKindTest : public DadaTableTest {
 protected:
  // Opens table `table` of `path` and reads every record's fields.
  static void OpenAndRead(const std::string& path, const std::string& table = "t") {
    TDadaTable t;
    t.SetDatabaseName(path);
    t.SetTableName(table);
    t.Open();
    for (t.First(); !t.Eof(); t.Next()) {
      t.FieldByName("name").AsString();
      t.FieldByName("memo").AsString();
    }
  }

  // Five records, the file then cut to half its length.
  std::string CutFile() {
    std::string path = dir_.path() + "/cut.tdb";
    std::filesystem::copy_file(path_, path);
    {
      auto t = OpenTable("", path);
      for (int i = 1; i <= 5; ++i) Add(*t, i, "payer");
    }
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    return path;
  }
};

TEST_F(ErrorKindTest, FailuresToOpenSayWhatAndWhichFile) {
  const std::string missing = dir_.path() + "/missing.tdb";
  const std::string text = dir_.File("notes.tdb", {'h', 'e', 'l', 'l', 'o'});
  const std::string newer = dir_.File("newer.tdb", EmptyImage("RadiVO", "3.0"));
  const std::string cut = CutFile();
  struct Case {
    const char* name;
    std::string path, table;
    TErrorKind kind;
    TOpenFailure why;
  } cases[] = {
      {"missing file", missing, "t", ekCannotOpen, ofMissing},
      {"a folder", dir_.path(), "t", ekCannotOpen, ofFolder},
      {"not a database", text, "t", ekNotDatabaseFile, ofNone},
      {"newer version", newer, "t", ekUnsupportedVersion, ofNone},
      {"no such table", path_, "formix", ekTableMissing, ofNone},
      {"cut short", cut, "t", ekDamaged, ofNone},
  };
  for (const Case& c : cases) {
    std::optional<EDatabaseError> e = FailureOf([&] { OpenAndRead(c.path, c.table); });
    ASSERT_TRUE(e) << c.name;
    EXPECT_EQ(e->Kind(), c.kind) << c.name << ": " << e->what();
    EXPECT_EQ(e->Params().Open, c.why) << c.name;
    EXPECT_EQ(e->Params().File, c.path) << c.name;
    if (c.kind == ekTableMissing) {
      EXPECT_EQ(e->Params().Table, c.table);
    }
  }
}

TEST_F(ErrorKindTest, AFileAnotherProgramHoldsExclusivelyIsInUse) {
  TDadaSession session;
  session.SetSessionName("holder");
  TDadaDatabase holder;
  holder.SetDatabaseName(path_);
  holder.SetExclusive(true);
  holder.SetSessionName("holder");
  holder.Open();
  std::optional<EDatabaseError> e = FailureOf([&] { OpenAndRead(path_); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Kind(), ekCannotOpen);
  EXPECT_EQ(e->Params().Open, ofInUse);
}

TEST_F(ErrorKindTest, ChangesToAReadOnlyFileAreRefusedAsReadOnly) {
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  auto t = OpenTable();
  for (auto change : std::vector<std::function<void()>>{[&] { t->Insert(); }, [&] { t->Edit(); }}) {
    std::optional<EDatabaseError> e = FailureOf(change);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Kind(), ekReadOnly) << e->what();
    EXPECT_EQ(e->Params().File, path_);
  }
}

TEST_F(ErrorKindTest, ValuesAFieldCannotTakeNameTheField) {
  auto t = OpenTable();
  t->Insert();
  struct Case {
    std::function<void()> set;
    TErrorKind kind;
    const char* field;
  } cases[] = {
      {[&] { t->FieldByName("nomer").SetAsLargeInt(int64_t{1} << 40); }, ekOutOfRange, "nomer"},
      {[&] { t->FieldByName("nomer").SetAsString("двенадцать"); }, ekInvalidValue, "nomer"},
      {[&] { t->FieldByName("day").SetAsString("31.02.2024"); }, ekInvalidValue, "day"},
      {[&] { t->FieldByName("sum").SetAsFloat(HUGE_VAL); }, ekOutOfRange, "sum"},
  };
  for (const Case& c : cases) {
    std::optional<EDatabaseError> e = FailureOf(c.set);
    ASSERT_TRUE(e) << c.field;
    EXPECT_EQ(e->Kind(), c.kind) << e->what();
    EXPECT_EQ(e->Params().Field, c.field) << e->what();
  }
  t->Cancel();
}

TEST_F(ErrorKindTest, AWrongPasswordIsTold) {
  std::vector<uint8_t> image = OneTableImage(ReceiptsLikeHeader());
  TDataProcessBlock block;
  block.Encrypted = true;
  block.EncryptAlgoName = "Blowfish";
  block.EncryptMode = 1;
  block.PasswordCheck = PasswordCheckString("secret");
  WriteDataProcessBlock(block, std::span<uint8_t>(image).subspan(kDataProcessBlockPos));
  const std::string path = dir_.File("e.tdb", image);
  Session().OnLogin = [](const std::string&, std::string& password) {
    password = "wrong";
    return true;
  };
  std::optional<EDatabaseError> e = FailureOf([&] { OpenAndRead(path); });
  Session().OnLogin = nullptr;
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Kind(), ekWrongPassword);
  EXPECT_EQ(e->Params().File, path);
}

// Another process deletes the record this one is changing.
TEST_F(ErrorKindTest, ARecordAnotherUserDeletedIsNamed) {
  auto t = OpenTable("inomer");
  for (int i = 1; i <= 3; ++i) Add(*t, i, "payer");
  ASSERT_TRUE(t->Locate("nomer", {int64_t{2}}, 0));
  const TBookmark bookmark = t->GetBookmark();
  pid_t pid = ::fork();
  if (pid == 0) {
    try {
      TDadaSession session;  // a file handle of its own, as another program has
      session.SetSessionName("other");
      TDadaTable other;
      other.SetDatabaseName(path_);
      other.SetTableName("t");
      other.SetIndexName("inomer");
      other.SetSessionName("other");
      other.Open();
      if (!other.Locate("nomer", {int64_t{2}}, 0)) ::_exit(2);
      other.Delete();
    } catch (...) {
      ::_exit(3);
    }
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (auto change : std::vector<std::function<void()>>{[&] {
                                                          t->Edit();
                                                          t->FieldByName("name").SetAsString("changed");
                                                          t->Post();
                                                        },
                                                        [&] { t->Delete(); }}) {
    std::optional<EDatabaseError> e = FailureOf(change);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Kind(), ekRecordDeleted) << e->what();
    EXPECT_EQ(e->Params().File, path_);
    EXPECT_EQ(e->Params().Table, "t");
    EXPECT_EQ(e->Params().Record, bookmark);
    if (t->State() != dsBrowse) t->Cancel();
  }
}

TEST(ErrorKindStreamTest, AFullDiskIsToldApartFromOtherWriteFailures) {
  TRadiVOFileStream full("/dev/full", true);
  const uint8_t byte = 1;
  std::optional<EDatabaseError> e = FailureOf([&] { full.WriteAt(0, &byte, 1); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Kind(), ekDiskFull) << e->what();
  EXPECT_EQ(e->Params().File, "/dev/full");
}

}  // namespace
}  // namespace tdb
