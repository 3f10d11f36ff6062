// tdb dump, insert, delete and check run as processes, and two processes
// appending to one table in turn.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "data/database_creator.h"
#include "engine/base/byte_order.h"
#include "engine/dataset/dada_table.h"
#include "engine/file/file_io.h"
#include "engine/storage/blob_stream.h"
#include "engine/storage/table_io.h"
#include "tdb/json.h"

namespace tdbtool {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct ToolRun {
  int code;
  std::string out;
};

ToolRun Tdb(const std::string& args, const std::string& input = "") {
  std::string command = std::string(FORMIX_TDB_BINARY) + " " + args + " 2>&1";
  std::string in_path;
  if (!input.empty()) {
    char pattern[] = "/tmp/tdb-in-XXXXXX";
    int fd = ::mkstemp(pattern);
    in_path = pattern;
    ::write(fd, input.data(), input.size());
    ::close(fd);
    command += " < " + in_path;
  } else {
    command += " < /dev/null";
  }
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  std::array<char, 4096> buf;
  while (size_t n = std::fread(buf.data(), 1, buf.size(), pipe)) out.append(buf.data(), n);
  int status = ::pclose(pipe);
  if (!in_path.empty()) std::remove(in_path.c_str());
  return ToolRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

receipts::DatabaseSchema Schema() {
  receipts::TableSchema t;
  t.name = "t";
  t.fields = {{"id", 14, 0, 0},    {"name", 1, 12, 0}, {"sum", 7, 0, 0},  {"d", 9, 0, 0},    {"tm", 10, 0, 0},
              {"dt", 11, 0, 0},    {"ok", 5, 0, 0},    {"memo", 16, 0, 0}, {"bin", 15, 0, 0}, {"big", 25, 0, 0},
              {"small", 2, 0, 0}, {"w", 4, 0, 0},     {"f", 6, 0, 0}};
  t.indexes = {{"iName", 1u << tdb::tiCaseInsensitive, {"name"}}, {"iId", 3, {"id"}}, {"iSum", 1u << tdb::tiDescending, {"sum", "name"}}};
  return receipts::DatabaseSchema{{t}, {}};
}

class TdbRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tdb-records-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    file_ = dir_ + "/db.tdb";
    receipts::CreateDatabaseFile(file_, Schema());
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string dir_, file_;
};

const char kLines[] =
    R"({"_recno":0,"id":1,"name":"Борис","sum":12.5,"d":"2024-03-05","tm":"10:11:12.345","dt":"2024-03-05T01:02:03.004","ok":true,"memo":"текст\nв две строки","bin":"AAEC/w==","big":-9007199254740992,"small":-32768,"w":65535,"f":0.1})"
    "\n"
    R"({"_recno":1,"id":7,"name":"анна","sum":-1e-06,"d":"0001-01-01","tm":"23:59:59.999","dt":"9999-12-31T23:59:59.999","ok":false,"memo":"","bin":"","big":5,"small":0,"w":0,"f":1e+300})"
    "\n"
    R"({"_recno":2,"id":8,"name":"\"quoted\" \\","sum":3,"d":"2000-02-29","tm":"00:00:00.000","dt":"1899-12-30T00:00:00.000","ok":true,"memo":"x","bin":"YQ==","big":0,"small":1,"w":2,"f":-2.5})"
    "\n";

TEST_F(TdbRecordsTest, DumpGivesBackWhatInsertWrote) {
  ToolRun insert = Tdb("insert " + file_ + " t", kLines);
  ASSERT_EQ(insert.code, 0) << insert.out;
  ToolRun dump = Tdb("dump " + file_ + " T");
  ASSERT_EQ(dump.code, 0) << dump.out;
  EXPECT_EQ(dump.out, kLines);
  // By an index, named in another case: descending sums.
  ToolRun by_sum = Tdb("dump " + file_ + " t --index isum");
  ASSERT_EQ(by_sum.code, 0) << by_sum.out;
  std::istringstream lines(by_sum.out);
  std::string line;
  std::vector<double> sums;
  while (std::getline(lines, line)) sums.push_back(ParseJson(line).Find("sum")->number);
  EXPECT_EQ(sums, (std::vector<double>{12.5, 3, -1e-06}));
  EXPECT_EQ(Tdb("check " + file_).code, 0);
}

TEST_F(TdbRecordsTest, MissingFieldsTakeTheNewRecordValues) {
  ASSERT_EQ(Tdb("insert " + file_ + " t", "{\"name\":\"a\"}\n").code, 0);
  JsonValue r = ParseJson(Tdb("dump " + file_ + " t").out);
  EXPECT_EQ(r.Find("id")->number, 1);  // auto-increment
  EXPECT_EQ(r.Find("sum")->number, 0);
  EXPECT_EQ(r.Find("dt")->text, "1899-12-30T00:00:00.000");
  EXPECT_EQ(r.Find("d")->text.size(), 10u);  // today
  EXPECT_EQ(r.Find("memo")->text, "");
}

TEST_F(TdbRecordsTest, ABadLineIsReportedAndNotWritten) {
  struct Case {
    std::string line;
    std::string message;
  };
  for (const Case& c : std::vector<Case>{{"{\"nope\":1}", "no field nope"},
                                         {"{\"name\":\"much too long a name\"}", "longer than 12"},
                                         {"{\"small\":40000}", "field small"},
                                         {"{\"d\":\"2023-02-29\"}", "field d"},
                                         {"{\"bin\":\"###\"}", "Base64"},
                                         {"[1]", "JSON object"},
                                         {"{\"name\":", "Invalid JSON"},
                                         {"{\"name\":\"z\",\"id\":1}", "Invalid unique field value '1'"}}) {
    ToolRun run = Tdb("insert " + file_ + " t", "{\"name\":\"ok\",\"id\":1}\n\n" + c.line + "\n{\"name\":\"after\"}\n");
    EXPECT_EQ(run.code, 1) << c.line;
    EXPECT_THAT(run.out, HasSubstr("line 3: ")) << c.line << run.out;
    EXPECT_THAT(run.out, HasSubstr(c.message)) << c.line;
    ToolRun dump = Tdb("dump " + file_ + " t");
    EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 1) << c.line << dump.out;
    Tdb("delete " + file_ + " t --recno " + std::to_string(static_cast<int>(ParseJson(dump.out).Find("_recno")->number)));
  }
  EXPECT_EQ(Tdb("check " + file_).code, 0);
}

// The lines are stored a group at a time: a bad line past the first group
// is still reported by its own number, with every line before it stored.
TEST_F(TdbRecordsTest, ABadLineInALaterGroupKeepsEveryLineBeforeIt) {
  std::string input;
  for (int i = 1; i <= 600; ++i) input += i == 301 ? "{\"nope\":1}\n" : "{\"name\":\"n" + std::to_string(i) + "\"}\n";
  ToolRun run = Tdb("insert " + file_ + " t", input);
  EXPECT_EQ(run.code, 1);
  EXPECT_THAT(run.out, HasSubstr("line 301: ")) << run.out;
  ToolRun dump = Tdb("dump " + file_ + " t");
  EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 300);
  EXPECT_THAT(dump.out, HasSubstr("\"n300\""));
  EXPECT_THAT(dump.out, Not(HasSubstr("\"n302\"")));
  EXPECT_EQ(Tdb("check " + file_).code, 0);
}

TEST_F(TdbRecordsTest, DeleteHidesTheRecordAndRefusesUnknownOnes) {
  ASSERT_EQ(Tdb("insert " + file_ + " t", "{\"name\":\"a\"}\n{\"name\":\"b\"}\n").code, 0);
  EXPECT_EQ(Tdb("delete " + file_ + " t --recno 0").code, 0);
  ToolRun dump = Tdb("dump " + file_ + " t --index iname");
  EXPECT_EQ(ParseJson(dump.out).Find("_recno")->number, 1);
  ToolRun again = Tdb("delete " + file_ + " t --recno 0");
  EXPECT_EQ(again.code, 1);
  EXPECT_THAT(again.out, HasSubstr("Record 0 not found"));
  EXPECT_EQ(Tdb("delete " + file_ + " t --recno x").code, 2);
  EXPECT_EQ(Tdb("check " + file_).code, 0);
}

TEST_F(TdbRecordsTest, CheckReportsDamage) {
  ASSERT_EQ(Tdb("insert " + file_ + " t", "{\"name\":\"b\",\"sum\":1}\n{\"name\":\"a\",\"sum\":2}\n").code, 0);
  tdb::TTableHeader h;
  {
    tdb::TRadiVOFileIO file;
    file.Open(file_, tdb::mtDisk, true, false);
    h = file.ReadTableHeader(0);
  }
  std::fstream f(file_, std::ios::in | std::ios::out | std::ios::binary);
  auto put32 = [&](int64_t pos, int32_t v) {
    uint8_t b[4];
    tdb::PutInt32LE(b, v);
    f.seekp(pos);
    f.write(reinterpret_cast<char*>(b), 4);
  };
  // The name chain runs 1 -> 0; cut it after 1, and swap the sum chain's order.
  put32(h.IndexHeaders[0].IndexTabOffset + 4 + 8 * 1 + 4, -1);
  put32(h.IndexHeaders[2].IndexTabOffset + 4 + 8 * 1 + 4, -1);
  put32(h.IndexHeaders[2].IndexTabOffset + 4 + 8 * 0 + 4, 1);
  put32(3821 + 4181 + 2 * 78 + 70, 0);  // StartIndex of iSum
  // A blob area past the end of the file.
  int32_t data1 = 0;
  f.close();
  {
    tdb::TRadiVOFileIO file;
    file.Open(file_, tdb::mtDisk, true, false);
    std::vector<int32_t> blocks;
    data1 = file.ReadRecordTable(h, blocks)[1].DataOffset;
  }
  f.open(file_, std::ios::in | std::ios::out | std::ios::binary);
  put32(data1 + 4 + 13 + 8 + 4 + 4 + 8 + 2, 0x7FFFFF00);  // memo's BlobOffset
  f.close();
  ToolRun check = Tdb("check " + file_);
  EXPECT_EQ(check.code, 1);
  EXPECT_THAT(check.out, HasSubstr("index iName: record 0 is not in the chain"));
  EXPECT_THAT(check.out, HasSubstr("index iSum: record 1 stands before a smaller key"));
  EXPECT_THAT(check.out, HasSubstr("record 1 field memo: blob area"));
}

// One record's slots for the table storage: every value zero, blobs empty.
class TZeroRecord {
 public:
  explicit TZeroRecord(const tdb::TDadaTableIO& table) {
    const tdb::TDadaFieldDefs& defs = table.FieldDefs();
    for (int32_t f = 0; f < defs.Count(); ++f) {
      bool blob = tdb::IsBlobFieldType(defs[f].FieldType);
      values_.emplace_back(blob ? 0 : static_cast<size_t>(table.SlotSize(f)), 0);
      streams_.push_back(blob ? std::make_unique<tdb::TOptimBlobStream>() : nullptr);
    }
    for (int32_t f = 0; f < defs.Count(); ++f) {
      size_t i = static_cast<size_t>(f);
      if (streams_[i]) buffers_.AddBlob(streams_[i].get(), defs[f].FieldType);
      else buffers_.Add(values_[i].data(), defs[f].FieldType, static_cast<int32_t>(values_[i].size()));
    }
  }
  uint8_t* Value(int32_t field_no) { return values_[static_cast<size_t>(field_no)].data(); }
  tdb::TFieldBuffers& Buffers() { return buffers_; }

 private:
  std::vector<std::vector<uint8_t>> values_;
  std::vector<std::unique_ptr<tdb::TOptimBlobStream>> streams_;
  tdb::TFieldBuffers buffers_;
};

// Appends 1000 records named "p<base + i>", each after a token from `reader`
// (except the first when `starts`), and passes the turn on through `writer`;
// through a dataset (as tdb insert does) or straight into the table storage.
bool AppendInTurn(const std::string& path, int reader, int writer, bool starts, int base, bool through_dataset) {
  try {
    // Each process opens the file itself: a shared descriptor would share its lock.
    tdb::TRadiVOFileIO file;
    std::unique_ptr<tdb::TDadaTableIO> storage;
    tdb::TDadaTable dataset;
    if (through_dataset) {
      dataset.SetDatabaseName(path);
      dataset.SetTableName("t");
      dataset.Open();
    } else {
      file.Open(path, tdb::mtDisk, false, false);
      storage = std::make_unique<tdb::TDadaTableIO>(file, "t");
      storage->OpenTable();
    }
    char token = 'x';
    for (int i = 0; i < 1000; ++i) {
      if (!starts || i > 0)
        if (::read(reader, &token, 1) != 1) return false;
      std::string name = "p" + std::to_string(base + i);
      if (through_dataset) {
        dataset.Append();
        dataset.FieldByName("name").SetAsString(name);
        dataset.FieldByName("sum").SetAsFloat((base + i) % 97);
        dataset.Post();
      } else {
        TZeroRecord record(*storage);
        std::memcpy(record.Value(1), name.data(), name.size());
        tdb::PutDoubleLE(record.Value(2), (base + i) % 97);
        storage->AppendRecord(record.Buffers(), false, nullptr);
      }
      bool last_turn = !starts && i == 999;  // the other side has finished
      if (!last_turn && ::write(writer, &token, 1) != 1) return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

// Two processes append 1000 records each to one table, strictly in turn.
void TwoProcessesAppendInTurn(const std::string& path, bool through_dataset) {
  int to_child[2], to_parent[2];
  ASSERT_EQ(::pipe(to_child), 0);
  ASSERT_EQ(::pipe(to_parent), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  // Each side keeps only its own ends, so a side that stops ends the other's wait.
  if (child == 0) {
    ::close(to_child[1]);
    ::close(to_parent[0]);
    bool ok = AppendInTurn(path, to_child[0], to_parent[1], false, 100000, through_dataset);
    ::_exit(ok ? 0 : 1);
  }
  ::close(to_child[0]);
  ::close(to_parent[1]);
  bool ok = AppendInTurn(path, to_parent[0], to_child[1], true, 0, through_dataset);
  ::close(to_parent[0]);
  ::close(to_child[1]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  ToolRun dump = Tdb("dump " + path + " t --index iid");
  EXPECT_EQ(std::count(dump.out.begin(), dump.out.end(), '\n'), 2000);
  std::istringstream lines(dump.out);
  std::string line;
  int expected_id = 1;
  while (std::getline(lines, line)) EXPECT_EQ(ParseJson(line).Find("id")->number, expected_id++);
  ToolRun check = Tdb("check " + path);
  EXPECT_EQ(check.code, 0) << check.out;
}

TEST_F(TdbRecordsTest, TwoProcessesAppendingInTurnLoseNothing) { TwoProcessesAppendInTurn(file_, false); }

// Each dataset's view misses the other's records, and the table has a primary
// index: the position at which the storage puts a new record in its index
// list lies beyond the stale view.  Enable once the view follows such appends.
TEST_F(TdbRecordsTest, TwoDatasetsAppendingInTurnLoseNothing) { TwoProcessesAppendInTurn(file_, true); }

}  // namespace
}  // namespace tdbtool
