// tdb dump with filters, tdb locate, and the password of an encrypted file
// (given, wrong, missing, typed on a terminal), run as processes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/dataset/dada_table.h"
#include "tdb/json.h"

namespace tdbtool {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct ToolRun {
  int code;
  std::string out;  // stdout and stderr
};

std::string ShellQuote(const std::string& word) {
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs the tool with `args`; standard input is `input`, never a terminal.
ToolRun Tdb(const std::vector<std::string>& args, const std::string& input = "") {
  std::string command = FORMIX_TDB_BINARY;
  for (const std::string& a : args) command += " " + ShellQuote(a);
  char pattern[] = "/tmp/tdb-in-XXXXXX";
  int fd = ::mkstemp(pattern);
  if (!input.empty() && ::write(fd, input.data(), input.size()) != static_cast<ssize_t>(input.size())) return {-1, ""};
  ::close(fd);
  command += " < " + std::string(pattern) + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  std::array<char, 4096> buf;
  while (size_t n = std::fread(buf.data(), 1, buf.size(), pipe)) out.append(buf.data(), n);
  int status = ::pclose(pipe);
  std::remove(pattern);
  return ToolRun{WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// The "_recno" of every line.
std::vector<int> Recnos(const std::string& lines) {
  std::vector<int> out;
  std::istringstream in(lines);
  std::string line;
  while (std::getline(in, line)) out.push_back(static_cast<int>(ParseJson(line).Find("_recno")->number));
  return out;
}

const char kSchema[] = R"({"tables": [{"name": "t", "fields": [
  {"name": "nomer", "type": "ftInteger"}, {"name": "name", "type": "ftString", "size": 20},
  {"name": "sum", "type": "ftFloat"}, {"name": "d", "type": "ftDate"}, {"name": "ok", "type": "ftBoolean"},
  {"name": "memo", "type": "ftMemo"}],
 "indexes": [{"name": "inomer", "fields": ["nomer"], "options": ["tiPrimary", "tiUnique"]},
             {"name": "iname", "fields": ["name"], "options": ["tiCaseInsensitive"]}]}]})";

// Record numbers 0 to 4; by nomer the order is 1, 3, 0, 4, 2.
const char kRecords[] =
    R"({"_recno":0,"nomer":3,"name":"Иванов","sum":12.5,"d":"2024-03-05","ok":true,"memo":"первая"})"
    "\n"
    R"({"_recno":1,"nomer":1,"name":"Петров","sum":7,"d":"2023-12-31","ok":false,"memo":""})"
    "\n"
    R"({"_recno":2,"nomer":5,"name":"иванова","sum":100.25,"d":"2024-01-01","ok":true,"memo":""})"
    "\n"
    R"({"_recno":3,"nomer":2,"name":"Сидоров*","sum":0,"d":"2022-06-15","ok":false,"memo":""})"
    "\n"
    R"({"_recno":4,"nomer":4,"name":"Ив","sum":-3,"d":"2024-03-05","ok":false,"memo":""})"
    "\n";

class TdbDatasetCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tdb-dataset-XXXXXX";
    dir_ = ::mkdtemp(pattern);
    schema_ = dir_ + "/s.json";
    std::ofstream(schema_) << kSchema;
    file_ = dir_ + "/p.tdb";
    ASSERT_EQ(Tdb({"create", file_, "--schema", schema_}).code, 0);
    ToolRun insert = Tdb({"insert", file_, "t"}, kRecords);
    ASSERT_EQ(insert.code, 0) << insert.out;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  // An encrypted copy of the table, password "Пароль".
  std::string Encrypted() {
    std::string path = dir_ + "/e.tdb";
    EXPECT_EQ(Tdb({"create", path, "--schema", schema_, "--encrypt", "Twofish", "--mode", "2", "--password", "Пароль"}).code,
              0);
    ToolRun insert = Tdb({"insert", path, "t", "--password", "Пароль"}, kRecords);
    EXPECT_EQ(insert.code, 0) << insert.out;
    return path;
  }

  std::string dir_, schema_, file_;
};

TEST_F(TdbDatasetCommandsTest, DumpOrders) {
  // Without --index: record order, although the primary index orders the view.
  ToolRun plain = Tdb({"dump", file_, "t"});
  ASSERT_EQ(plain.code, 0) << plain.out;
  EXPECT_EQ(plain.out, kRecords);
  EXPECT_EQ(Recnos(Tdb({"dump", file_, "t", "--index", "INOMER"}).out), (std::vector<int>{1, 3, 0, 4, 2}));
  EXPECT_EQ(Recnos(Tdb({"dump", file_, "t", "--index", "iname"}).out), (std::vector<int>{4, 0, 2, 1, 3}));
  ToolRun missing = Tdb({"dump", file_, "t", "--index", "nope"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_THAT(missing.out, HasSubstr("Index 'nope' not found"));
  EXPECT_EQ(missing.out.find('{'), std::string::npos);
}

TEST_F(TdbDatasetCommandsTest, DumpWithAFilter) {
  struct Case {
    std::string filter;
    std::string options;  // --filter-options, when not empty
    std::vector<int> recnos;  // in nomer order
  } cases[] = {
      {"sum > 10", "", {0, 2}},
      {"name = 'Иванов'", "", {0}},
      {"name = 'иванов'", "", {}},
      {"name = 'иванов'", "ci", {0}},
      {"name = 'Ив*'", "", {0, 4}},
      {"name = 'Ив*'", "ci", {0, 4, 2}},
      {"name = 'Ив*'", "nopartial", {}},
      {"name = 'Сидоров*'", "nopartial", {3}},
      {"name = 'ив*'", "ci,nopartial", {}},
      {"ok = true and nomer < 5", "", {0}},
      {"d >= '01.01.2024'", "", {0, 4, 2}},
      {"nomer > 100", "", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"dump", file_, "t", "--index", "inomer", "--filter", c.filter};
    if (!c.options.empty()) args.insert(args.end(), {"--filter-options", c.options});
    ToolRun r = Tdb(args);
    EXPECT_EQ(r.code, 0) << c.filter << " " << c.options << "\n" << r.out;
    EXPECT_EQ(Recnos(r.out), c.recnos) << c.filter << " " << c.options;
  }
}

TEST_F(TdbDatasetCommandsTest, BadFiltersAndArguments) {
  struct Case {
    std::vector<std::string> extra;
    int code;
    std::string text;
  } cases[] = {
      {{"--filter", "sum >"}, 1, "Expression expected"},
      {{"--filter", "name = 'Ив"}, 1, "Unterminated string constant"},
      {{"--filter", "[имя] = 1"}, 1, "Field 'имя' not found"},  // in UTF-8, as typed
      {{"--filter", "sum > 1", "--filter-options", "ci,loud"}, 2, "unknown filter option 'loud'"},
      {{"--filter-options", "ci"}, 2, "usage"},
      {{"--filter", "a", "--filter", "b"}, 2, "usage"},
      {{"--recno", "1"}, 2, "usage"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"dump", file_, "t"};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    ToolRun r = Tdb(args);
    EXPECT_EQ(r.code, c.code) << c.extra[1] << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr(c.text)) << c.extra[1];
    EXPECT_EQ(r.out.find("{\"_recno\""), std::string::npos) << c.extra[1];
  }
  ToolRun table = Tdb({"dump", file_, "нет"});
  EXPECT_EQ(table.code, 1);
  EXPECT_THAT(table.out, HasSubstr("Table 'нет' not found"));
}

TEST_F(TdbDatasetCommandsTest, Locate) {
  struct Case {
    std::vector<std::string> args;  // after FILE TABLE
    int code;
    int recno;         // when found
    std::string text;  // in the output when not found
  } cases[] = {
      {{"nomer", "5"}, 0, 2, ""},
      {{"nomer", "9"}, 1, -1, ""},
      {{"NAME", "Петров"}, 0, 1, ""},
      {{"name", "иванов"}, 1, -1, ""},
      {{"name", "иванов", "--ci"}, 0, 0, ""},
      {{"name", "Ив", "--partial"}, 0, 0, ""},  // first in nomer order
      {{"name", "Ив", "--partial", "--index", "iname"}, 0, 4, ""},
      {{"name", "Ива", "--partial"}, 0, 0, ""},
      {{"nomer;name", "1;Петров"}, 0, 1, ""},
      {{"nomer;name", "1;Иванов"}, 1, -1, ""},
      {{"sum", "12,5"}, 0, 0, ""},
      {{"sum", "12.5"}, 0, 0, ""},  // as dump prints it
      {{"sum", "-3"}, 0, 4, ""},
      {{"d", "2023-12-31"}, 0, 1, ""},
      {{"ok", "true"}, 0, 0, ""},
      {{"nomer;d", "4;2024-03-05"}, 0, 4, ""},
      {{"d", "2023-02-30"}, 1, -1, "is not a valid date"},
      {{"d", "31.12.2023"}, 0, 1, ""},
      {{"ok", "True"}, 0, 0, ""},
      {{"nomer", "абв"}, 1, -1, "'абв' is not a valid integer value"},
      {{"nope", "1"}, 1, -1, "Field 'nope' not found"},
      {{"nomer", "1", "--index", "nope"}, 1, -1, "Index 'nope' not found"},
      {{"nomer;name", "1"}, 2, -1, "as many VALUES as FIELDS"},
      {{"nomer"}, 2, -1, "usage"},
      {{"nomer", "1", "--filter", "x"}, 2, -1, "usage"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"locate", file_, "t"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ToolRun r = Tdb(args);
    std::string what = c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : "");
    EXPECT_EQ(r.code, c.code) << what << "\n" << r.out;
    if (c.recno >= 0) {
      EXPECT_EQ(Recnos(r.out), std::vector<int>{c.recno}) << what;
    } else if (c.text.empty()) {
      EXPECT_EQ(r.out, "") << what;
    } else {
      EXPECT_THAT(r.out, HasSubstr(c.text)) << what;
    }
  }
  // The line is the one dump prints.
  std::string line = std::string(kRecords).substr(0, std::string(kRecords).find('\n') + 1);
  EXPECT_EQ(Tdb({"locate", file_, "t", "name", "Иванов"}).out, line);
}

TEST_F(TdbDatasetCommandsTest, DeleteThroughTheDatasetKeepsTheOthers) {
  ASSERT_EQ(Tdb({"delete", file_, "t", "--recno", "3"}).code, 0);
  EXPECT_EQ(Recnos(Tdb({"dump", file_, "t", "--index", "inomer"}).out), (std::vector<int>{1, 0, 4, 2}));
  EXPECT_EQ(Tdb({"locate", file_, "t", "nomer", "2"}).code, 1);
  EXPECT_EQ(Tdb({"check", file_}).code, 0);
}

TEST_F(TdbDatasetCommandsTest, InsertIntoAReadOnlyFileFailsBeforeTheFirstLine) {
  ASSERT_EQ(::chmod(file_.c_str(), 0444), 0);
  ToolRun r = Tdb({"insert", file_, "t"}, "{\"nomer\":9}\n");
  EXPECT_EQ(r.code, 1);
  EXPECT_THAT(r.out, HasSubstr("Cannot modify a read-only database"));
  EXPECT_THAT(r.out, Not(HasSubstr("line 1")));
  // Reading needs no write access.
  EXPECT_EQ(Tdb({"dump", file_, "t"}).out, kRecords);
}

TEST_F(TdbDatasetCommandsTest, EncryptedFileWithAndWithoutThePassword) {
  std::string e = Encrypted();
  ToolRun dump = Tdb({"dump", e, "t", "--password", "Пароль"});
  ASSERT_EQ(dump.code, 0) << dump.out;
  EXPECT_EQ(dump.out, kRecords);
  ToolRun found = Tdb({"locate", e, "t", "name", "иванова", "--password", "Пароль"});
  EXPECT_EQ(Recnos(found.out), std::vector<int>{2});
  EXPECT_EQ(Recnos(Tdb({"dump", e, "t", "--password", "Пароль", "--filter", "sum < 10"}).out),
            (std::vector<int>{1, 3, 4}));
  EXPECT_EQ(Tdb({"check", e, "--password", "Пароль"}).code, 0);

  std::string needs = "Access denied: " + e + " needs a password (--password, --password-file or a terminal)";
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::string text;
  } refused[] = {
      {{"dump", e, "t", "--password", "пароль"}, "", "tdb: Access denied\n"},
      {{"insert", e, "t", "--password", "x"}, "{\"nomer\":9}\n", "tdb: Access denied\n"},
      {{"dump", e, "t"}, "", needs},
      {{"insert", e, "t"}, "{\"nomer\":9}\n", needs},
      {{"delete", e, "t", "--recno", "0"}, "", needs},
      {{"locate", e, "t", "nomer", "3"}, "", needs},
  };
  for (const Case& c : refused) {
    ToolRun r = Tdb(c.args, c.input);
    EXPECT_EQ(r.code, 1) << c.args[0] << " " << c.args.back() << "\n" << r.out;
    EXPECT_THAT(r.out, HasSubstr(c.text)) << c.args[0] << " " << c.args.back();
  }
  // Nothing of the refused commands reached the file.
  EXPECT_EQ(Tdb({"dump", e, "t", "--password", "Пароль"}).out, kRecords);
}

TEST_F(TdbDatasetCommandsTest, PasswordFromAFile) {
  std::string e = Encrypted();
  const std::string right = dir_ + "/right.txt", wrong = dir_ + "/wrong.txt";
  std::ofstream(right) << "Пароль\n";
  std::ofstream(wrong) << "пароль\r\n";
  ToolRun dump = Tdb({"dump", e, "t", "--password-file", right});
  EXPECT_EQ(dump.code, 0) << dump.out;
  EXPECT_EQ(dump.out, kRecords);
  EXPECT_EQ(Tdb({"check", e, "--password-file", right}).code, 0);
  ToolRun inserted = Tdb({"insert", e, "t", "--password-file", right}, "{\"nomer\":9}\n");
  EXPECT_EQ(inserted.code, 0) << inserted.out;
  EXPECT_EQ(Recnos(Tdb({"locate", e, "t", "nomer", "9", "--password-file", right}).out), std::vector<int>{5});
  EXPECT_EQ(Tdb({"delete", e, "t", "--recno", "5", "--password-file", right}).code, 0);

  EXPECT_THAT(Tdb({"dump", e, "t", "--password-file", wrong}).out, HasSubstr("tdb: Access denied\n"));
  ToolRun missing = Tdb({"dump", e, "t", "--password-file", dir_ + "/none.txt"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_THAT(missing.out, HasSubstr("Cannot read password file " + dir_ + "/none.txt"));
  EXPECT_EQ(Tdb({"dump", e, "t", "--password", "Пароль", "--password-file", right}).code, 2);

  // A new encrypted file takes its password from a file as well.
  const std::string made = dir_ + "/made.tdb";
  ToolRun created = Tdb({"create", made, "--schema", schema_, "--encrypt", "Blowfish", "--password-file", right});
  ASSERT_EQ(created.code, 0) << created.out;
  EXPECT_EQ(Tdb({"insert", made, "t", "--password", "Пароль"}, kRecords).code, 0);
  EXPECT_EQ(Tdb({"dump", made, "t", "--password-file", right}).out, kRecords);
  EXPECT_EQ(Tdb({"dump", made, "t", "--password", "x"}).code, 1);
}

// The tool run with a pseudo-terminal as its standard input, output and
// error: `typed` is written once the password prompt shows.
struct TerminalRun {
  int code = -1;
  std::string screen;        // everything the tool wrote, and any echo
  bool echo_at_prompt = true;
  bool echo_afterwards = false;
};

TerminalRun TdbOnTerminal(const std::vector<std::string>& args, const std::string& typed) {
  TerminalRun run;
  int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return run;
  std::string slave = ::ptsname(master);
  std::vector<std::string> words = {"tdb"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t child = ::fork();
  if (child == 0) {
    ::setsid();  // the terminal becomes the child's controlling terminal
    int s = ::open(slave.c_str(), O_RDWR);
    ::dup2(s, 0);
    ::dup2(s, 1);
    ::dup2(s, 2);
    ::close(master);
    ::execv(FORMIX_TDB_BINARY, argv.data());
    ::_exit(127);
  }
  // Reads end with an error once the child has gone and the terminal closed.
  char buf[512];
  while (run.screen.find("Password for ") == std::string::npos ||
         run.screen.find(": ", run.screen.find("Password for ")) == std::string::npos) {
    ssize_t n = ::read(master, buf, sizeof buf);
    if (n <= 0) break;
    run.screen.append(buf, static_cast<size_t>(n));
  }
  struct termios t;
  if (::tcgetattr(master, &t) == 0) run.echo_at_prompt = (t.c_lflag & ECHO) != 0;
  std::string line = typed + "\n";
  if (::write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size())) run.screen += "[write failed]";
  for (;;) {
    ssize_t n = ::read(master, buf, sizeof buf);
    if (n <= 0) break;
    run.screen.append(buf, static_cast<size_t>(n));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (::tcgetattr(master, &t) == 0) run.echo_afterwards = (t.c_lflag & ECHO) != 0;
  ::close(master);
  return run;
}

TEST_F(TdbDatasetCommandsTest, PasswordTypedOnTheTerminal) {
  std::string e = Encrypted();
  TerminalRun right = TdbOnTerminal({"dump", e, "t"}, "Пароль");
  EXPECT_EQ(right.code, 0) << right.screen;
  EXPECT_THAT(right.screen, HasSubstr("Password for " + e + ": "));
  EXPECT_THAT(right.screen, HasSubstr("\"name\":\"иванова\""));
  EXPECT_THAT(right.screen, Not(HasSubstr("Пароль")));  // never echoed
  EXPECT_FALSE(right.echo_at_prompt);
  EXPECT_TRUE(right.echo_afterwards);

  // A new encrypted file: the password typed twice, never echoed.
  const std::string made = dir_ + "/typed.tdb";
  TerminalRun created = TdbOnTerminal({"create", made, "--schema", schema_, "--encrypt", "Gost"}, "Тайна\nТайна");
  EXPECT_EQ(created.code, 0) << created.screen;
  EXPECT_THAT(created.screen, HasSubstr("Again: "));
  EXPECT_THAT(created.screen, Not(HasSubstr("Тайна")));
  EXPECT_TRUE(created.echo_afterwards);
  EXPECT_EQ(Tdb({"insert", made, "t", "--password", "Тайна"}, kRecords).code, 0);
  EXPECT_EQ(Tdb({"dump", made, "t", "--password", "Тайна"}).out, kRecords);
  const std::string mistyped = dir_ + "/mistyped.tdb";
  TerminalRun differ = TdbOnTerminal({"create", mistyped, "--schema", schema_, "--encrypt", "Gost"}, "Тайна\nТайнa");
  EXPECT_EQ(differ.code, 1) << differ.screen;
  EXPECT_THAT(differ.screen, HasSubstr("The two passwords differ"));
  struct stat st;
  EXPECT_NE(::stat(mistyped.c_str(), &st), 0);

  TerminalRun wrong = TdbOnTerminal({"dump", e, "t"}, "secret");
  EXPECT_EQ(wrong.code, 1) << wrong.screen;
  EXPECT_THAT(wrong.screen, HasSubstr("tdb: Access denied"));
  EXPECT_THAT(wrong.screen, Not(HasSubstr("secret")));
  EXPECT_THAT(wrong.screen, Not(HasSubstr("_recno")));
  EXPECT_TRUE(wrong.echo_afterwards);
}

// Every type dump prints goes back in through insert unchanged, 64-bit
// integers beyond 2^53 included, and locate finds records by those forms.
TEST(TdbRoundTripTest, DumpInsertAndLocateTakeTheSameForms) {
  char pattern[] = "/tmp/tdb-roundtrip-XXXXXX";
  const std::string dir = ::mkdtemp(pattern);
  const std::string schema = dir + "/s.json";
  std::ofstream(schema) << R"({"tables": [{"name": "v", "fields": [
    {"name": "big", "type": "ftLargeint"}, {"name": "small", "type": "ftSmallint"}, {"name": "w", "type": "ftWord"},
    {"name": "money", "type": "ftCurrency"}, {"name": "x", "type": "ftFloat"}, {"name": "at", "type": "ftTime"},
    {"name": "stamp", "type": "ftDateTime"}, {"name": "day", "type": "ftDate"}, {"name": "flag", "type": "ftBoolean"},
    {"name": "name", "type": "ftString", "size": 12}, {"name": "pic", "type": "ftBlob"}],
   "indexes": [{"name": "ibig", "fields": ["big"]}]}]})";
  const char records[] =
      R"({"_recno":0,"big":9007199254740993,"small":-32768,"w":65535,"money":1234.56,"x":0.1,"at":"09:30:00.250","stamp":"2024-03-05T09:30:00.250","day":"2024-03-05","flag":true,"name":"Ёлка","pic":"AAEC/w=="})"
      "\n"
      R"({"_recno":1,"big":9007199254740992,"small":0,"w":0,"money":-0.01,"x":-1e+300,"at":"00:00:00.000","stamp":"1899-12-30T00:00:00.000","day":"0001-01-01","flag":false,"name":"","pic":""})"
      "\n"
      R"({"_recno":2,"big":-9223372036854775808,"small":7,"w":1,"money":0,"x":5e-324,"at":"23:59:59.999","stamp":"9999-12-31T23:59:59.999","day":"9999-12-31","flag":false,"name":"b","pic":""})"
      "\n"
      R"({"_recno":3,"big":9223372036854775807,"small":1,"w":2,"money":3,"x":2,"at":"12:00:00.000","stamp":"2000-01-01T12:00:00.000","day":"2000-01-01","flag":true,"name":"c","pic":""})"
      "\n";
  const std::string first = dir + "/a.tdb", second = dir + "/b.tdb";
  ASSERT_EQ(Tdb({"create", first, "--schema", schema}).code, 0);
  ASSERT_EQ(Tdb({"create", second, "--schema", schema}).code, 0);
  ToolRun in = Tdb({"insert", first, "v"}, records);
  ASSERT_EQ(in.code, 0) << in.out;
  const ToolRun dumped = Tdb({"dump", first, "v"});
  EXPECT_EQ(dumped.out, records);
  ToolRun again = Tdb({"insert", second, "v"}, dumped.out);
  ASSERT_EQ(again.code, 0) << again.out;
  EXPECT_EQ(Tdb({"dump", second, "v"}).out, records);

  struct Case {
    std::string field, value;
    int recno;  // -1: none
  } cases[] = {
      {"big", "9007199254740993", 0}, {"big", "9007199254740992", 1}, {"big", "-9223372036854775808", 2},
      {"big", "9223372036854775807", 3}, {"money", "1234.56", 0},     {"money", "1234,56", 0},
      {"x", "0.1", 0},                   {"at", "09:30:00.250", 0},    {"at", "23:59:59.999", 2},
      {"stamp", "2024-03-05T09:30:00.250", 0}, {"stamp", "2000-01-01T12:00:00.000", 3},
      {"day", "9999-12-31", 2},          {"flag", "true", 0},          {"small", "-32768", 0},
      {"big", "9007199254740994", -1},
  };
  for (const Case& c : cases) {
    ToolRun r = Tdb({"locate", first, "v", c.field, c.value});
    if (c.recno < 0) {
      EXPECT_EQ(r.code, 1) << c.field << " " << c.value << "\n" << r.out;
    } else {
      EXPECT_EQ(r.code, 0) << c.field << " " << c.value << "\n" << r.out;
      if (r.code == 0) {
        EXPECT_EQ(Recnos(r.out), std::vector<int>{c.recno}) << c.field << " " << c.value;
      }
    }
  }

  // What dump prints for a value with no form (a NaN) insert refuses, by name.
  ToolRun nan = Tdb({"insert", second, "v"}, "{\"x\":null}\n");
  EXPECT_EQ(nan.code, 1);
  EXPECT_THAT(nan.out, HasSubstr("field x: null"));
  ToolRun beyond = Tdb({"insert", second, "v"}, "{\"big\":9223372036854775808}\n");
  EXPECT_EQ(beyond.code, 1);
  EXPECT_THAT(beyond.out, HasSubstr("field big: an integer from -9223372036854775808 to 9223372036854775807"));
  std::system(("rm -rf '" + dir + "'").c_str());
}

// insert and delete open the file shared, as the program does, so they work
// while another process has it open.
TEST_F(TdbDatasetCommandsTest, InsertAndDeleteWhileAnotherProcessHasTheFileOpen) {
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    char c = 0;
    int code = 0;
    try {
      tdb::TDadaTable table;
      table.SetDatabaseName(file_);
      table.SetTableName("t");
      table.Open();
      code = table.RecordCount() == 5 ? 0 : 3;
      if (::write(ready[1], "r", 1) != 1) code = 4;
      if (::read(done[0], &c, 1) != 1) code = 5;
      table.Close();
    } catch (const std::exception&) {
      code = 6;
      if (::write(ready[1], "x", 1) != 1) code = 7;
    }
    ::_exit(code);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'r');  // the other process has the file open

  ToolRun inserted = Tdb({"insert", file_, "t"}, "{\"nomer\":9,\"name\":\"Новый\"}\n");
  ToolRun deleted = Tdb({"delete", file_, "t", "--recno", "3"});
  ToolRun dumped = Tdb({"dump", file_, "t", "--index", "inomer"});
  ASSERT_EQ(::write(done[1], "d", 1), 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(inserted.code, 0) << inserted.out;
  EXPECT_EQ(deleted.code, 0) << deleted.out;
  EXPECT_EQ(Recnos(dumped.out), (std::vector<int>{1, 0, 4, 2, 5}));
  EXPECT_EQ(Tdb({"check", file_}).code, 0);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
}

}  // namespace
}  // namespace tdbtool
