// tdb repair: files whose last change was cut short come back sound, with
// every whole record kept and a copy of the original beside them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/dataset/table_fixture.h"
#include "engine/fault_stream.h"
#include "engine/table_contents.h"

namespace tdb {
namespace {

using ::testing::HasSubstr;
using namespace testing;

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string WithRecords(TempDir& dir, int count) {
  std::string path = dir.File("r.tdb", OneTableImage(ReceiptsLikeHeader()));
  TDadaTable t;
  t.SetDatabaseName(path);
  t.SetTableName("t");
  t.Open();
  for (int n = 1; n <= count; ++n) AppendRow(t, n, TRow{"n" + std::to_string(10 - n), std::string(10 * n, 'm')});
  return path;
}

TEST(TdbRepairTest, SoundFileIsLeftAsItIs) {
  TempDir dir;
  std::string path = WithRecords(dir, 3);
  auto [code, out] = RunTdb("repair " + path);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(out, "nothing to repair\n");
  EXPECT_FALSE(Exists(path + ".bak"));
}

// Every state a cut-short append or rewrite can leave: the n-th write fails
// and nothing can be put back, as if the process had died there.
TEST(TdbRepairTest, EveryCutShortAppendAndRewriteComesBackSound) {
  TempDir dir;
  int repaired = 0;
  for (bool rewrite : {false, true}) {
    for (int n = 1; n < 30; ++n) {
      SCOPED_TRACE((rewrite ? "rewrite, write " : "append, write ") + std::to_string(n));
      std::string path = WithRecords(dir, 4);
      ::unlink((path + ".bak").c_str());
      TFaultPlan plan{TFault::kIoErrorStays, n};
      bool raised = false;
      {
        TFaultScope scope(plan);
        TDadaTable t;
        t.SetDatabaseName(path);
        t.SetTableName("t");
        t.SetIndexName("iname");
        t.Open();
        try {
          if (rewrite) {
            while (t.FieldByName("nomer").AsInteger() != 2) t.Next();
            t.Edit();
            t.FieldByName("name").SetAsString("a-moved-first");
            t.FieldByName("memo").SetAsString(std::string(300, 'x'));
            t.Post();
          } else {
            AppendRow(t, 9, TRow{"n5-between", "new"});
          }
        } catch (const EDatabaseError&) {
          raised = true;
        }
      }
      if (!raised) break;  // the operation had fewer writes
      TRows before = ReadContents(path).rows;
      auto [code, out] = RunTdb("repair " + path);
      ASSERT_EQ(code, 0) << out;
      if (out != "nothing to repair\n") {
        ++repaired;
        EXPECT_THAT(out, HasSubstr("original copied to " + path + ".bak"));
        EXPECT_TRUE(Exists(path + ".bak"));
      }
      auto [ccode, cout] = RunTdb("check " + path);
      EXPECT_EQ(ccode, 0) << cout << out;
      EXPECT_EQ(ReadContents(path).rows, before);
      EXPECT_EQ(ReadContents(path, "iname").rows, before);
      EXPECT_EQ(ReadContents(path, "inomer").rows, before);
    }
  }
  EXPECT_GT(repaired, 0);
}

TEST(TdbRepairTest, RecordNeverWrittenWholeIsDropped) {
  TempDir dir;
  std::string path = WithRecords(dir, 3);
  // Record 1's fixed part now lies beyond the end of the file.
  {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    uint8_t pos[4];
    PutInt32LE(pos, 50000000);
    f.seekp(kRecTabAt + 4 + 5);
    f.write(reinterpret_cast<const char*>(pos), 4);
  }
  EXPECT_NE(RunTdb("check " + path).first, 0);
  auto [code, out] = RunTdb("repair " + path);
  EXPECT_EQ(code, 0) << out;
  EXPECT_THAT(out, HasSubstr("dropped record 1"));
  EXPECT_EQ(RunTdb("check " + path).first, 0);
  TContents c = ReadContents(path);
  EXPECT_EQ(c.order, (std::vector<int>{1, 3}));
  // The copy is the original, byte for byte.
  EXPECT_NE(RunTdb("check " + path + ".bak").first, 0);
}

TEST(TdbRepairTest, RefusalsChangeNothing) {
  TempDir dir;
  std::string path = WithRecords(dir, 1);
  EXPECT_EQ(RunTdb("repair").first, 2);
  EXPECT_THAT(RunTdb("repair " + dir.path() + "/missing.tdb").second, HasSubstr("Cannot open file"));
  // Held open by another user: refused.
  TDadaTable t;
  t.SetDatabaseName(path);
  t.SetTableName("t");
  t.Open();
  auto [code, out] = RunTdb("repair " + path);
  EXPECT_EQ(code, 1);
  EXPECT_THAT(out, HasSubstr("in use"));
}

}  // namespace
}  // namespace tdb
