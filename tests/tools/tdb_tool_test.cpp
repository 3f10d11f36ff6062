// The tdb tool run as a process: its commands, their output and exit codes.
#include <gtest/gtest.h>
#include "engine/processing/password_check.h"
#include "engine/base/codepage.h"
#include <iterator>
#include <gmock/gmock.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tdb/json.h"

namespace tdbtool {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct ToolRun {
  int code;
  std::string out;
};

// Runs the tool with `args` (shell words); stderr is folded into the output.
ToolRun Tdb(const std::string& args) {
  std::string command = std::string(FORMIX_TDB_BINARY) + " " + args + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  std::array<char, 4096> buf;
  while (size_t n = std::fread(buf.data(), 1, buf.size(), pipe)) out.append(buf.data(), n);
  int status = ::pclose(pipe);
  return ToolRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

class TdbToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tdb-tool-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string Write(const std::string& name, const std::string& text) {
    std::string p = dir_ + "/" + name;
    std::ofstream(p) << text;
    return p;
  }
  std::string dir_;
};

TEST_F(TdbToolTest, CreateReceiptsThenInfo) {
  ASSERT_EQ(Tdb("create-receipts " + dir_).code, 0);
  ToolRun info = Tdb("info " + dir_ + "/formix.tdb");
  ASSERT_EQ(info.code, 0) << info.out;
  JsonValue root = ParseJson(info.out);
  EXPECT_EQ(root.Find("version")->text, "2.0");
  EXPECT_FALSE(root.Find("compressed")->boolean);
  EXPECT_FALSE(root.Find("encrypted")->boolean);
  const JsonValue& tables = *root.Find("tables");
  ASSERT_EQ(tables.items.size(), 1u);
  const JsonValue& formix = tables.items[0];
  EXPECT_EQ(formix.Find("name")->text, "formix");
  EXPECT_EQ(formix.Find("record_total")->number, 0);
  ASSERT_EQ(formix.Find("fields")->items.size(), 32u);
  const JsonValue& platel = formix.Find("fields")->items[3];
  EXPECT_EQ(platel.Find("name")->text, "Platel");
  EXPECT_EQ(platel.Find("type")->text, "ftString");
  EXPECT_EQ(platel.Find("size")->number, 100);
  std::vector<std::string> indexes;
  for (const JsonValue& x : formix.Find("indexes")->items) {
    indexes.push_back(x.Find("name")->text);
    EXPECT_TRUE(x.Find("options")->items.empty());
  }
  EXPECT_EQ(indexes, (std::vector<std::string>{"inomer", "idate", "iplatel", "isumma", "ipoluchat"}));
  EXPECT_EQ(formix.Find("indexes")->items[1].Find("fields")->items.at(0).text, "DatePlat");

  for (const char* other : {"platel.tdb", "Poluchat.tdb", "sprkodBK.tdb"})
    EXPECT_EQ(Tdb("info " + dir_ + "/" + other).code, 0) << other;
}

TEST_F(TdbToolTest, CreateReceiptsNeverOverwrites) {
  std::string keep = Write("platel.tdb", "mine");
  ToolRun refused = Tdb("create-receipts " + dir_);
  EXPECT_EQ(refused.code, 1);
  EXPECT_THAT(refused.out, HasSubstr("already exists"));
  struct stat st;
  EXPECT_NE(::stat((dir_ + "/formix.tdb").c_str(), &st), 0);  // nothing written

  ToolRun filled = Tdb("create-receipts " + dir_ + " --if-missing");
  EXPECT_EQ(filled.code, 0);
  EXPECT_EQ(filled.out, "");
  ASSERT_EQ(::stat(keep.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 4);
  EXPECT_EQ(Tdb("info " + dir_ + "/formix.tdb").code, 0);
  EXPECT_EQ(Tdb("create-receipts " + dir_ + " --if-missing").code, 0);
}

TEST_F(TdbToolTest, CreateReceiptsWithCodesFillsOnlyANewCodeDirectory) {
  ASSERT_EQ(Tdb("create-receipts " + dir_ + " --with-codes").code, 0);
  ToolRun dump = Tdb("dump " + dir_ + "/sprkodBK.tdb sprkodBK --index ikodbk");
  ASSERT_EQ(dump.code, 0) << dump.out;
  EXPECT_EQ(dump.out,
            "{\"_recno\":0,\"nomer\":1,\"kodBK\":\"18201061201010000510\","
            "\"naim\":\"Единый налоговый платеж\",\"tip\":0,\"slugebnoe\":false}\n"
            "{\"_recno\":1,\"nomer\":2,\"kodBK\":\"18210604012021000110\","
            "\"naim\":\"Транспортный налог с физических лиц\",\"tip\":0,\"slugebnoe\":false}\n");
  EXPECT_EQ(Tdb("check " + dir_ + "/sprkodBK.tdb").code, 0);
  EXPECT_EQ(Tdb("dump " + dir_ + "/platel.tdb platel").out, "");
  // No temporary file is left beside the four.
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir_.c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Poluchat.tdb", "formix.tdb", "platel.tdb", "sprkodBK.tdb"}));

  // A user's own code directory is never touched, whatever else is missing.
  ASSERT_EQ(Tdb("delete " + dir_ + "/sprkodBK.tdb sprkodBK --recno 1").code, 0);
  ASSERT_EQ(std::remove((dir_ + "/formix.tdb").c_str()), 0);
  ASSERT_EQ(Tdb("create-receipts " + dir_ + " --if-missing --with-codes").code, 0);
  ToolRun kept = Tdb("dump " + dir_ + "/sprkodBK.tdb sprkodBK");
  EXPECT_EQ(std::count(kept.out.begin(), kept.out.end(), '\n'), 1) << kept.out;
  EXPECT_EQ(Tdb("info " + dir_ + "/formix.tdb").code, 0);
}

TEST_F(TdbToolTest, CreateFromASchemaWithCyrillicNames) {
  std::string schema = Write("s.json", R"({"tables": [
    {"name": "Счета", "fields": [
       {"name": "nomer", "type": "ftInteger"},
       {"name": "имя", "type": "String", "size": 30, "process_mode": 1},
       {"name": "when", "type": 9}],
     "indexes": [{"name": "iname", "fields": ["ИМЯ", "nomer"], "options": ["tiUnique", "CaseInsensitive"]}]}]})");
  std::string file = dir_ + "/s.tdb";
  ToolRun created = Tdb("create " + file + " --schema " + schema);
  ASSERT_EQ(created.code, 0) << created.out;
  JsonValue root = ParseJson(Tdb("info " + file).out);
  const JsonValue& t = root.Find("tables")->items.at(0);
  EXPECT_EQ(t.Find("name")->text, "Счета");
  const JsonValue& name = t.Find("fields")->items.at(1);
  EXPECT_EQ(name.Find("name")->text, "имя");
  EXPECT_EQ(name.Find("process_mode")->number, 1);
  EXPECT_EQ(t.Find("fields")->items.at(2).Find("type")->text, "ftDate");
  const JsonValue& x = t.Find("indexes")->items.at(0);
  EXPECT_EQ(x.Find("options")->items.at(0).text, "tiUnique");
  EXPECT_EQ(x.Find("options")->items.at(1).text, "tiCaseInsensitive");
  EXPECT_EQ(x.Find("fields")->items.at(0).text, "имя");

  EXPECT_EQ(Tdb("create " + file + " --schema " + schema).code, 1);  // exists
}

TEST_F(TdbToolTest, CreateEncryptedAndCompressed) {
  std::string schema = Write("p.json", R"({"tables": [{"name": "t", "fields": [
       {"name": "a", "type": "ftString", "size": 10}, {"name": "b", "type": "ftMemo", "process_mode": 1}]}]})");
  std::string file = dir_ + "/p.tdb";
  ToolRun created = Tdb("create " + file + " --schema " + schema +
                        " --compress --encrypt twofish --mode 2 --password Пароль");
  ASSERT_EQ(created.code, 0) << created.out;
  JsonValue root = ParseJson(Tdb("info " + file).out);
  EXPECT_TRUE(root.Find("compressed")->boolean);
  EXPECT_TRUE(root.Find("encrypted")->boolean);
  EXPECT_EQ(root.Find("compress_algorithm")->text, "ZLIB");
  EXPECT_EQ(root.Find("encrypt_algorithm")->text, "Twofish");  // the registered spelling
  EXPECT_EQ(root.Find("encrypt_mode")->number, 2);
  EXPECT_THAT(root.Find("password_note")->text, HasSubstr("casual readers"));
  EXPECT_EQ(root.Find("tables")->items.at(0).Find("fields")->items.at(1).Find("process_mode")->number, 1);

  // The stored check string is the one of the password's Windows-1251 bytes.
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string stored = bytes.substr(2644, 129);
  stored.resize(stored.find('\0'));
  EXPECT_EQ(stored, tdb::PasswordCheckString(tdb::Utf8ToCp1251("Пароль")));

  struct Case {
    std::string extra;
    int code;
    std::string text;
  } refused[] = {
      {" --encrypt Blowfish < /dev/null", 1, "--encrypt needs a password"},  // and no terminal to ask on
      {" --password x", 2, "need --encrypt"},
      {" --encrypt Rot13 --password x", 1, "Encryption algorithm module 'Rot13' not found"},
      {" --encrypt Gost --password x --mode 5", 1, "Cipher mode 5 is not supported"},
  };
  for (const Case& c : refused) {
    ToolRun r = Tdb("create " + dir_ + "/q.tdb --schema " + schema + c.extra);
    EXPECT_EQ(r.code, c.code) << c.extra << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr(c.text)) << c.extra;
  }
}

TEST_F(TdbToolTest, ErrorsAndUsage) {
  struct Case {
    std::string args;
    int code;
    std::string text;
  } cases[] = {
      {"", 2, "usage"},
      {"frobnicate", 2, "unknown command"},
      {"create x.tdb", 2, "usage"},
      {"info", 2, "usage"},
      {"create-receipts", 2, "usage"},
      {"create-receipts a b", 2, "usage"},
      {"info " + dir_ + "/missing.tdb", 1, "Cannot open file " + dir_ + "/missing.tdb"},
      {"info " + Write("bad.tdb", "not a database"), 1, "is not a valid database file"},
      {"create " + dir_ + "/n.tdb --schema " + Write("a.json", "{\"tables\": [}"), 1, "Invalid JSON"},
      {"create " + dir_ + "/n.tdb --schema " + Write("b.json", R"({"tables": [{"name": "t", "feilds": []}]})"), 1,
       "unknown member \"feilds\""},
      {"create " + dir_ + "/n.tdb --schema " +
           Write("c.json", R"({"tables": [{"name": "t", "fields": [{"name": "a", "type": "ftText"}]}]})"),
       1, "unknown field type"},
      {"create " + dir_ + "/n.tdb --schema " +
           Write("d.json", R"({"tables": [{"name": "t", "fields": [{"name": "a", "type": "ftInteger"}],
                                "indexes": [{"name": "i", "fields": ["b"]}]}]})"),
       1, "names field 'b'"},
      {"create " + dir_ + "/n.tdb --schema " + Write("e.json", R"({"tables": [{"name": "日本", "fields": []}]})"), 1,
       "outside Windows-1251"},
  };
  for (const Case& c : cases) {
    ToolRun r = Tdb(c.args);
    EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr(c.text)) << c.args;
  }
  struct stat st;
  EXPECT_NE(::stat((dir_ + "/n.tdb").c_str(), &st), 0);

  // A usage error says what is wrong and shows the command's own usage line,
  // not the whole help.
  struct UsageCase {
    std::string args;
    std::string problem;
    std::string line;
  } usage_cases[] = {
      {"", "no command given", "COMMAND one of: create create-receipts info dump"},
      {"frobnicate", "unknown command 'frobnicate'", "COMMAND one of:"},
      {"create x.tdb", "--schema is missing", "usage: tdb create FILE --schema SCHEMA.json"},
      {"create x.tdb --schema s.json --mode 2", "--password and --mode need --encrypt", "usage: tdb create FILE"},
      {"info a b", "info takes one FILE", "usage: tdb info FILE\n"},
      {"dump f.tdb", "too few arguments", "usage: tdb dump FILE TABLE [--index NAME]"},
      {"dump f.tdb t --index", "--index needs a value", "usage: tdb dump FILE TABLE"},
      {"dump f.tdb t --recno 1", "unknown option --recno", "usage: tdb dump FILE TABLE"},
      {"insert f.tdb t extra", "unexpected argument 'extra'", "usage: tdb insert FILE TABLE [PASSWORD]"},
      {"delete f.tdb t", "--recno is missing", "usage: tdb delete FILE TABLE --recno N [PASSWORD]"},
      {"delete f.tdb t --recno -1", "--recno needs a record number from 0 to 2147483647", "usage: tdb delete"},
      {"locate f.tdb t a", "too few arguments", "usage: tdb locate FILE TABLE FIELDS VALUES"},
      {"check f.tdb --password a --password-file b", "--password given twice", "usage: tdb check FILE [PASSWORD]"},
      {"repair", "too few arguments", "usage: tdb repair FILE [PASSWORD]"},
      {"create-receipts a b", "unexpected argument 'b'", "usage: tdb create-receipts DIR [--if-missing]"},
  };
  for (const UsageCase& c : usage_cases) {
    ToolRun r = Tdb(c.args);
    EXPECT_EQ(r.code, 2) << c.args << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr("tdb: " + c.problem + "\n")) << c.args;
    EXPECT_THAT(r.out, HasSubstr(c.line)) << c.args;
    EXPECT_THAT(r.out, Not(HasSubstr("Exit codes:"))) << c.args;  // a line of the whole help
    EXPECT_LE(std::count(r.out.begin(), r.out.end(), '\n'), 4) << c.args;
  }

  ToolRun help = Tdb("help");
  EXPECT_EQ(help.code, 0);
  EXPECT_THAT(help.out, HasSubstr("create-receipts"));
}

TEST(JsonTest, ReaderAndQuoting) {
  JsonValue v = ParseJson(R"( {"a": [1, -2.5e1, true, false, null, "x\"\u00e9\ud83d\ude00"]} )");
  const auto& items = v.Find("a")->items;
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(items[1].number, -25);
  EXPECT_EQ(items[5].text, "x\"é😀");
  EXPECT_EQ(JsonQuote("a\"b\\\n\x01"), "\"a\\\"b\\\\\\n\\u0001\"");
  for (std::string bad : std::vector<std::string>{"", "{", "[1,]", "{\"a\" 1}", "\"\\ud800\"", "01x", "[1] 2", std::string(100, '[')})
    EXPECT_THROW(ParseJson(bad), std::exception) << bad;
}

}  // namespace
}  // namespace tdbtool
