// The repair a program calls on a damaged file: what it keeps, the copy it
// leaves, and what it refuses.
#include "engine/repair/file_repair.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/base/database_error.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/table_fixture.h"

namespace tdb {
namespace {

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class FileRepairTest : public DadaTableTest {
 protected:
  // Five records, the last one's fixed part then cut off the end of the file.
  void FiveRecordsTheLastCutShort() {
    {
      auto t = OpenTable("inomer");
      for (int i = 1; i <= 5; ++i) Add(*t, i, "payer");
    }
    std::filesystem::resize_file(path_, std::filesystem::file_size(path_) - 1);
  }
};

TEST_F(FileRepairTest, KeepsTheWholeRecordsAndLeavesTheOriginalBeside) {
  FiveRecordsTheLastCutShort();
  const std::string original = Bytes(path_);
  const TRepairResult result = RepairDatabaseFile(path_, nullptr);
  EXPECT_TRUE(result.Repaired);
  EXPECT_EQ(result.Backup, path_ + ".bak");
  EXPECT_EQ(Bytes(result.Backup), original);
  ASSERT_EQ(result.Tables.size(), 1u);
  EXPECT_EQ(result.Tables[0].Table, "t");
  EXPECT_EQ(result.Tables[0].Kept, 4);
  EXPECT_EQ(result.Tables[0].Dropped, std::vector<int32_t>{4});
  EXPECT_FALSE(result.Lines.empty());
  EXPECT_EQ(Numbers(*OpenTable("inomer")), (std::vector<int>{1, 2, 3, 4}));

  // Sound now: a second run writes nothing and makes no second copy.
  const TRepairResult again = RepairDatabaseFile(path_, nullptr);
  EXPECT_FALSE(again.Repaired);
  EXPECT_TRUE(again.Backup.empty());
  EXPECT_EQ(again.Tables[0].Kept, 4);
  EXPECT_FALSE(std::filesystem::exists(path_ + ".bak.1"));
}

TEST_F(FileRepairTest, AnEarlierCopyIsNeverOverwritten) {
  FiveRecordsTheLastCutShort();
  std::ofstream(path_ + ".bak") << "an older copy";
  const TRepairResult result = RepairDatabaseFile(path_, nullptr);
  EXPECT_EQ(result.Backup, path_ + ".bak.1");
  EXPECT_EQ(Bytes(path_ + ".bak"), "an older copy");
}

TEST_F(FileRepairTest, AFileStillOpenIsRefusedAndLeftAsItWas) {
  FiveRecordsTheLastCutShort();
  const std::string original = Bytes(path_);
  TDadaDatabase keeper;  // as a window that still holds the file
  keeper.SetDatabaseName(path_);
  keeper.Open();
  try {
    RepairDatabaseFile(path_, nullptr);
    FAIL() << "repaired a file that is open";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Kind(), ekCannotOpen);
    EXPECT_EQ(e.Params().Open, ofInUse);
  }
  EXPECT_EQ(Bytes(path_), original);
  EXPECT_FALSE(std::filesystem::exists(path_ + ".bak"));
}

}  // namespace
}  // namespace tdb
