// The creator: the bytes it writes for a known schema, its refusals, and that
// it never replaces a file or leaves a half-written one behind.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>

#include "data/database_creator.h"
#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/file/file_io.h"
#include "engine/format/field_types.h"
#include "engine/format/file_structures.h"

namespace receipts {
namespace {

using ::testing::HasSubstr;
using namespace tdb;

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "";
}

DatabaseSchema TwoTables() {
  return DatabaseSchema{{
      TableSchema{"clients",
                  {{"id", ftAutoInc, 0, 0}, {"name", ftString, 40, 0}, {"note", ftMemo, 0, 1}},
                  {{"iname", WithIndexOption(0, tiCaseInsensitive), {"NAME", "id"}}}},
      TableSchema{"\xD1\xF7\xE5\xF2", {{"sum", ftCurrency, 0, 0}}, {}},  // "Счет" in Windows-1251
  }, {}};
}

bool AllZero(const std::vector<uint8_t>& b, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i)
    if (b[i] != 0) return false;
  return true;
}

TEST(DatabaseCreatorTest, BytesOfASmallSchema) {
  std::vector<uint8_t> img = BuildDatabaseImage(TwoTables());
  ASSERT_EQ(img.size(), 3821u + 2 * 4821u);
  EXPECT_EQ(std::string(img.begin(), img.begin() + 12), std::string("RadiVO\0" "2.0\0\0", 12));
  EXPECT_TRUE(AllZero(img, 12, 2789));  // reserved area and a data process block with every flag 0
  EXPECT_EQ(GetInt32LE(&img[2789]), 2);
  EXPECT_EQ(GetInt32LE(&img[2789 + 8]), 3821);
  EXPECT_EQ(GetInt32LE(&img[2789 + 12]), 3821 + 4821);
  EXPECT_TRUE(AllZero(img, 2789 + 16, 3821));

  const uint8_t* t0 = &img[3821];
  EXPECT_EQ(GetNameField(t0, 33), "clients");
  EXPECT_EQ(GetInt32LE(t0 + 33), 0);  // RecTabOffset, RecordTotal, AutoIncCounter
  EXPECT_EQ(GetInt32LE(t0 + 37), 0);
  EXPECT_EQ(GetInt32LE(t0 + 41), 0);
  EXPECT_EQ(GetInt32LE(t0 + 45), 3);
  const uint8_t* name = t0 + 49 + 43;
  EXPECT_EQ(GetNameField(name, 33), "name");
  EXPECT_EQ(name[33], ftString);
  EXPECT_EQ(GetInt32LE(name + 34), 40);
  EXPECT_EQ(t0[49 + 2 * 43 + 38], 1);  // note's process mode
  EXPECT_TRUE(AllZero(img, 3821 + 49 + 3 * 43, 3821 + 4177));
  EXPECT_EQ(GetInt32LE(t0 + 4177), 1);
  const uint8_t* x = t0 + 4181;
  EXPECT_EQ(GetNameField(x, 33), "iname");
  EXPECT_EQ(x[33], 0x08);
  EXPECT_EQ(GetInt32LE(x + 34), 1);  // found without regard to case
  EXPECT_EQ(GetInt32LE(x + 38), 0);
  for (int k = 2; k < 8; ++k) EXPECT_EQ(GetInt32LE(x + 34 + 4 * k), -1) << k;
  EXPECT_EQ(GetInt32LE(x + 66), 0);  // IndexTabOffset, StartIndex, reserved
  EXPECT_TRUE(AllZero(img, 3821 + 4181 + 70, 3821 + 4821));
  EXPECT_EQ(GetNameField(&img[3821 + 4821], 33), "\xD1\xF7\xE5\xF2");
  EXPECT_EQ(GetInt32LE(&img[3821 + 4821 + 4177]), 0);
}

TEST(DatabaseCreatorTest, Refusals) {
  auto with = [](const std::function<void(DatabaseSchema&)>& change) {
    DatabaseSchema s = TwoTables();
    change(s);
    return s;
  };
  std::string name33(33, 'n');
  struct Case {
    const char* what;
    DatabaseSchema schema;
    std::string error;
  } cases[] = {
      {"257 tables", with([](DatabaseSchema& s) { s.tables.resize(257, s.tables[1]); }), "at most 256 tables"},
      {"97 fields", with([](DatabaseSchema& s) {
         for (int i = 0; i < 96; ++i) s.tables[1].fields.push_back({std::to_string(i).insert(0, 1, 'f'), ftInteger, 0, 0});
       }),
       "more than 96 fields"},
      {"no fields", with([](DatabaseSchema& s) { s.tables[1].fields.clear(); }), "has no fields"},
      {"9 indexes", with([](DatabaseSchema& s) {
         for (int i = 0; i < 9; ++i) s.tables[1].indexes.push_back({std::to_string(i).insert(0, 1, 'i'), 0, {"sum"}});
       }),
       "more than 8 indexes"},
      {"9 index fields", with([](DatabaseSchema& s) { s.tables[1].indexes.push_back({"i", 0, std::vector<std::string>(9, "sum")}); }),
       "more than 8 fields"},
      {"index without fields", with([](DatabaseSchema& s) { s.tables[1].indexes.push_back({"i", 0, {}}); }), "has no fields"},
      {"long table name", with([&](DatabaseSchema& s) { s.tables[0].name = name33; }), "longer than 32 bytes"},
      {"long field name", with([&](DatabaseSchema& s) { s.tables[0].fields[0].name = name33; }), "longer than 32 bytes"},
      {"long index name", with([&](DatabaseSchema& s) { s.tables[0].indexes[0].name = name33; }), "longer than 32 bytes"},
      {"empty name", with([](DatabaseSchema& s) { s.tables[0].fields[0].name = ""; }), "name is empty"},
      {"unknown type", with([](DatabaseSchema& s) { s.tables[0].fields[0].type = 8; }), "unknown type code 8"},
      {"string size 0", with([](DatabaseSchema& s) { s.tables[0].fields[1].size = 0; }), "size from 1 to 65535"},
      {"negative size", with([](DatabaseSchema& s) { s.tables[0].fields[0].size = -1; }), "negative size"},
      {"missing index field", with([](DatabaseSchema& s) { s.tables[0].indexes[0].fields[1] = "idx"; }),
       "names field 'idx'"},
      {"unknown option bit", with([](DatabaseSchema& s) { s.tables[0].indexes[0].options = 0x10; }), "unknown options"},
      {"duplicate table", with([](DatabaseSchema& s) { s.tables[1].name = "CLIENTS"; }), "Duplicate table name"},
      {"duplicate Cyrillic table", with([](DatabaseSchema& s) { s.tables[0].name = "\xF1\xF7\xE5\xF2"; }),
       "Duplicate table name"},
      {"duplicate field", with([](DatabaseSchema& s) { s.tables[0].fields[2].name = "Name"; }), "Duplicate field name"},
      {"duplicate index", with([](DatabaseSchema& s) { s.tables[0].indexes.push_back({"INAME", 0, {"id"}}); }),
       "Duplicate index name"},
  };
  for (const Case& c : cases) EXPECT_THAT(ErrorOf([&] { CheckSchema(c.schema); }), HasSubstr(c.error)) << c.what;
  EXPECT_EQ(ErrorOf([] { CheckSchema(TwoTables()); }), "");
  EXPECT_EQ(ErrorOf([] { CheckSchema(DatabaseSchema{}); }), "");
}

class CreateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tdb-create-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir_.c_str());
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    ::closedir(d);
    return names;
  }
  std::string dir_;
};

TEST_F(CreateFileTest, WritesAFileTheEngineOpens) {
  std::string path = dir_ + "/new.tdb";
  CreateDatabaseFile(path, TwoTables());
  EXPECT_EQ(Entries(), std::vector<std::string>{"new.tdb"});  // no temporary file left
  TRadiVOFileIO io;
  io.Open(path, mtDisk, false, true);
  EXPECT_FALSE(io.ReadOnly());
  EXPECT_EQ(io.GetTableNames(), (std::vector<std::string>{"clients", "\xD1\xF7\xE5\xF2"}));
  TTableHeader h = io.ReadTableHeader(0);
  EXPECT_EQ(h.IndexHeaders[0].IndexFields[0], 1);
  std::vector<int32_t> blocks;
  EXPECT_TRUE(io.ReadRecordTable(h, blocks).empty());
  EXPECT_TRUE(io.ReadIndexTable(h.IndexHeaders[0], 0, blocks).empty());
}

TEST_F(CreateFileTest, NeverReplacesAndLeavesNothingOnFailure) {
  std::string path = dir_ + "/old.tdb";
  std::system(("echo keep > '" + path + "'").c_str());
  EXPECT_EQ(ErrorOf([&] { CreateDatabaseFile(path, TwoTables()); }), "File " + path + " already exists");
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 5);

  DatabaseSchema bad = TwoTables();
  bad.tables[0].fields[0].type = 99;
  EXPECT_THAT(ErrorOf([&] { CreateDatabaseFile(dir_ + "/bad.tdb", bad); }), HasSubstr("unknown type"));
  EXPECT_THAT(ErrorOf([&] { CreateDatabaseFile(dir_ + "/no/such/dir.tdb", TwoTables()); }),
              HasSubstr("Cannot create file"));
  EXPECT_EQ(Entries(), std::vector<std::string>{"old.tdb"});
}

}  // namespace
}  // namespace receipts
