// The code list a new code directory starts with: the built-in list, the
// refusals of a malformed one, and a filled file that is whole or absent.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <functional>

#include "data/code_directory.h"
#include "data/receipt_tables.h"
#include "data/requisites.h"
#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/database/database.h"
#include "engine/dataset/dada_table.h"

namespace receipts {
namespace {

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const tdb::EDatabaseError& e) {
    return e.what();
  }
  return "";
}

TEST(CodeDirectoryTest, BuiltInListHoldsOnlyWellFormedCodes) {
  std::vector<CodeEntry> codes = ParseCodeList(DefaultCodeListText());
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes[0].kbk, kSingleTaxPaymentKbk);
  for (const CodeEntry& e : codes) {
    EXPECT_FALSE(CheckKbk(e.kbk)) << e.kbk;
    EXPECT_FALSE(e.naim.empty()) << e.kbk;
  }
}

TEST(CodeDirectoryTest, MalformedListsAreRefusedWithTheirLine) {
  struct {
    const char* text;
    const char* error;  // "" when the list is read
  } cases[] = {
      {"# only a comment\n\n   \n", ""},
      {"18210604012021000110\t1\tПени\r\n", ""},
      {"18210604012021000110 0 Налог\n", "line 1: expected code, kind and name"},
      {"#\n18210604012021000110\t0\tНалог\textra\n", "line 2: expected"},
      {"1821060401202100011\t0\tНалог\n", "line 1: the code '1821060401202100011' is not a KBK"},
      {"00000000000000000000\t0\tНалог\n", "is not a KBK"},
      {"18210604012021000110\t3\tНалог\n", "the kind must be 0, 1 or 2"},
      {"18210604012021000110\t\tНалог\n", "the kind must be"},
      {"18210604012021000110\t0\t\n", "the name is empty"},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::string got = ErrorOf([&] { ParseCodeList(c.text); });
    if (!*c.error) EXPECT_EQ(got, "") << c.text;
    else EXPECT_EQ(got.rfind("Code list ", 0), 0u) << got;
    EXPECT_NE(got.find(c.error), std::string::npos) << c.text << ": " << got;
  }
  std::string long_name(211, 'x');
  EXPECT_NE(ErrorOf([&] { ParseCodeList("18210604012021000110\t0\t" + long_name); }).find("longer than 210"),
            std::string::npos);
  std::string fits;
  for (int i = 0; i < 210; ++i) fits += "я";  // 420 bytes in UTF-8, 210 stored
  EXPECT_EQ(ErrorOf([&] { ParseCodeList("18210604012021000110\t0\t" + fits); }), "");
}

class CodeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/code-dir-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    path_ = dir_ + "/sprkodBK.tdb";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  const DatabaseSchema& CodeSchema() { return ReceiptFiles().at(3).schema; }
  std::string dir_, path_;
};

TEST_F(CodeFileTest, FilledFileReadsBackInListOrder) {
  std::vector<CodeEntry> codes = {{"18210604012021000110", 0, "Транспортный налог"},
                                  {"18210604012022100110", 1, "Пени"}};
  CreateDatabaseFile(path_, CodeSchema(), [&](const std::string& temp) { FillCodeDirectory(temp, codes); });
  tdb::TDadaTable table;
  table.SetDatabaseName(path_);
  table.SetTableName("sprkodBK");
  table.SetIndexName("ikodbk");
  table.Open();
  ASSERT_EQ(table.RecordCount(), 2);
  for (int i = 0; i < 2; ++i, table.Next()) {
    EXPECT_EQ(table.FieldByName("nomer").AsInteger(), i + 1);
    EXPECT_EQ(table.FieldByName("kodBK").AsString(), codes[i].kbk);
    EXPECT_EQ(table.FieldByName("naim").AsString(), tdb::Utf8ToCp1251(codes[i].naim));
    EXPECT_EQ(table.FieldByName("tip").AsInteger(), codes[i].tip);
    EXPECT_FALSE(table.FieldByName("slugebnoe").AsBoolean());
  }
}

TEST_F(CodeFileTest, AFailedFillLeavesNoFile) {
  std::string error = ErrorOf([&] {
    CreateDatabaseFile(path_, CodeSchema(), [&](const std::string& temp) {
      FillCodeDirectory(temp, {{"18210604012021000110", 0, "Налог"}});
      tdb::DatabaseError("disk full");
    });
  });
  EXPECT_EQ(error, "disk full");
  struct stat st;
  EXPECT_NE(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(std::system(("test -z \"$(ls -A '" + dir_ + "')\"").c_str()), 0) << "a temporary file was left";
}

}  // namespace
}  // namespace receipts
