// Moving the register between a data folder and a server and back, record
// for record; the refusals; the comparison.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "receipt_rows.h"
#include "server/server_home.h"
#include "server/server_table.h"
#include "server/server_transfer.h"
#include "test_cluster.h"

namespace server {
namespace {

namespace fs = std::filesystem;

class ServerTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(db_.Ready());
    root_ = fs::temp_directory_path() / ("formix-transfer-test-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string Dir(const char* name) { return (root_ / name).string(); }

  // The demo folder the program's scripts write.
  std::string DemoFolder() {
    const std::string dir = Dir("demo");
    const std::string command = std::string("FORMIX_TDB=") + FORMIX_TDB_BINARY + " " + FORMIX_SOURCE_DIR +
                                "/scripts/demo-data " + dir + " >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    return dir;
  }

  TestDatabase db_;
  fs::path root_;
};

TEST_F(ServerTransferTest, TheDemoFolderGoesToTheServerAndComesBackTheSame) {
  const std::string demo = DemoFolder();
  auto c = db_.Connect();
  std::vector<TableCount> in = CopyFolderToServer(demo, *c);
  ASSERT_EQ(in.size(), 4u);
  EXPECT_GT(in[0].records, 0);
  EXPECT_EQ(CompareFolderWithServer(demo, *c), std::vector<std::string>{});
  const std::string back = Dir("back");
  fs::create_directories(back);
  std::vector<TableCount> out = CopyServerToFolder(*c, back);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(out[i].records, in[i].records) << in[i].table;
  EXPECT_EQ(CompareFolderWithServer(back, *c), std::vector<std::string>{});
  // The next receipt on the server takes the number after the folder's last.
  TServerTable t(c);
  t.SetTableName("formix");
  server::UseReceiptNumbering(t);
  t.Open();
  t.Append();
  FillReceipt(t, 0);
  t.Post();
  EXPECT_EQ(t.FieldByName("nomer").AsInteger(), in[0].records + 1);
}

TEST_F(ServerTransferTest, TheComparisonNamesWhatDiffers) {
  const std::string demo = DemoFolder();
  auto c = db_.Connect();
  const int codes = CopyFolderToServer(demo, *c).at(3).records;
  c->Exec("UPDATE platel SET platel = 'Другой' WHERE nomer = 2");
  c->Exec("DELETE FROM sprkodbk WHERE nomer = 3");
  std::vector<std::string> lines = CompareFolderWithServer(demo, *c);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "platel, record 2, field Platel: 'Кузнецова Анна Викторовна' in the folder, 'Другой' on the server");
  EXPECT_EQ(lines[1], "sprkodBK: " + std::to_string(codes) + " records in the folder, " +
                          std::to_string(codes - 1) + " on the server");
}

TEST_F(ServerTransferTest, ACopyIntoTablesThatHoldRecordsChangesNothing) {
  const std::string demo = DemoFolder();
  auto c = db_.Connect();
  c->Exec("INSERT INTO sprkodbk (nomer, kodbk) VALUES (1, '1')");
  try {
    CopyFolderToServer(demo, *c);
    FAIL() << "copied into a table that holds records";
  } catch (const tdb::EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Table 'sprkodBK' on the server is not empty");
  }
  EXPECT_EQ(c->Exec("SELECT count(*) FROM formix").Integer(0, 0), 0);
}

TEST_F(ServerTransferTest, AValueAFileCannotHoldIsRefusedByNameAndNoFileIsLeft) {
  auto c = db_.Connect();
  c->Exec("INSERT INTO platel (nomer, platel) VALUES (1, 'Иванов'), (2, $1)", {std::string("Ωmega")});
  const std::string out = Dir("out");
  fs::create_directories(out);
  try {
    CopyServerToFolder(*c, out);
    FAIL() << "a value outside the code page was written";
  } catch (const tdb::EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "platel, record 2: Field 'Platel' cannot hold the value '?mega'");
    EXPECT_EQ(e.Kind(), tdb::ekInvalidValue);
    EXPECT_EQ(e.Params().Table, "platel");
    EXPECT_EQ(e.Params().Field, "Platel");
  }
  EXPECT_TRUE(fs::is_empty(out));
  // Files already there are never replaced.
  const std::string demo = DemoFolder();
  EXPECT_THROW(CopyServerToFolder(*c, demo), tdb::EDatabaseError);
}

// The register of an office after years: 100,000 receipts there and back.
#ifdef FORMIX_SANITIZED
constexpr int kBig = 10000;
#else
constexpr int kBig = 100000;
#endif

TEST_F(ServerTransferTest, AHundredThousandReceiptsComeBackTheSame) {
  const std::string big = Dir("big");
  fs::create_directories(big);
  for (const receipts::ReceiptFile& f : receipts::ReceiptFiles())
    receipts::CreateDatabaseFile(big + "/" + f.file_name, f.schema);
  {
    tdb::TDadaDatabase database;
    database.SetDatabaseName(big + "/formix.tdb");
    database.Open();
    tdb::TDadaTable t;
    t.SetDatabaseName(big + "/formix.tdb");
    t.SetTableName("formix");
    t.Open();
    AppendReceipts(t, kBig);
    database.Flush();
    t.Close();
    database.Close();
  }
  auto c = db_.Connect();
  EXPECT_EQ(CopyFolderToServer(big, *c)[0].records, kBig);
  EXPECT_EQ(CompareFolderWithServer(big, *c), std::vector<std::string>{});
  const std::string back = Dir("back");
  fs::create_directories(back);
  EXPECT_EQ(CopyServerToFolder(*c, back)[0].records, kBig);
  EXPECT_EQ(CompareFolderWithServer(back, *c), std::vector<std::string>{});
}

}  // namespace
}  // namespace server
