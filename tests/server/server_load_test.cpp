// Eight clerks on one server at once, each making 500 changes: new
// receipts, edits, deletion marks, and one purge in the middle.  Afterwards
// every receipt whose storing was acknowledged is there exactly once (unless
// marked, when the purge may have removed it), the numbers are 1 to N each
// once, and every acknowledged edit of a receipt still there shows in it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "receipt_rows.h"
#include "server/server_home.h"
#include "server/server_table.h"
#include "test_cluster.h"

namespace server {
namespace {

constexpr int kClerks = 8;
constexpr int kChanges = 500;

// One clerk's work; writes what was acknowledged to `log`, a line each:
// "C tag" stored, "E tag edit" edited, "M tag" marked.
void Clerk(const std::string& conninfo, int clerk, const std::string& log_path) {
  std::ofstream log(log_path);
  TServerTable t(std::make_shared<ServerConnection>(conninfo));
  t.SetTableName("formix");
  server::UseReceiptNumbering(t);
  t.SetIndexName(clerk % 2 ? "iplatel" : "inomer");
  t.Open();
  std::mt19937 random(static_cast<unsigned>(clerk * 7919 + 1));
  for (int k = 0; k < kChanges; ++k) {
    const std::string tag = "p" + std::to_string(clerk) + "k" + std::to_string(k);
    if (t.TakeChange()) t.Refresh();
    const int dice = static_cast<int>(random() % 100);
    try {
      if (clerk == 0 && k == kChanges / 2) {
        t.PurgeMarked();
        log << "P" << std::endl;
        continue;
      }
      if (dice < 50 || t.RecordCount() == 0) {
        t.Append();
        FillReceipt(t, k);
        t.FieldByName("InnPlat").SetAsString(tag);
        t.FieldByName("NaznPlat").SetAsString("");
        t.FieldByName("slugebnoe").SetAsBoolean(false);
        t.Post();
        log << "C " << tag << std::endl;
        continue;
      }
      t.SetRecNo(1 + static_cast<int>(random() % static_cast<unsigned>(t.RecordCount())));
      // An edit of no record would be an insert of an empty one.
      if (t.IsEmpty()) continue;
      const std::string record = t.FieldByName("InnPlat").AsString();
      if (dice < 85) {
        t.Edit();  // the record as stored now
        const std::string text = t.FieldByName("NaznPlat").AsString();
        if (text.size() > 190) {
          t.Cancel();
          continue;
        }
        t.FieldByName("NaznPlat").SetAsString(text + "|" + tag);
        t.Post();
        log << "E " << record << " " << tag << std::endl;
      } else {
        t.Edit();
        t.FieldByName("slugebnoe").SetAsBoolean(true);
        t.Post();
        log << "M " << record << std::endl;
      }
    } catch (const tdb::EDatabaseError&) {
      // Refused (another clerk was first): nothing was stored.
      if (t.State() == tdb::dsEdit || t.State() == tdb::dsInsert) t.Cancel();
      t.Refresh();
    }
  }
}

TEST(ServerLoadTest, EightClerksLoseNothingAndNumberEachReceiptOnce) {
  TestDatabase db;
  ASSERT_TRUE(db.Ready());
  const std::string dir = "/tmp/formix-load-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  std::vector<pid_t> clerks;
  for (int c = 0; c < kClerks; ++c) {
    pid_t pid = fork();
    if (pid == 0) {
      int code = 0;
      try {
        Clerk(db.ConnInfo(), c, dir + "/" + std::to_string(c));
      } catch (const std::exception& e) {
        std::ofstream(dir + "/error" + std::to_string(c)) << e.what();
        code = 1;
      }
      _exit(code);
    }
    clerks.push_back(pid);
  }
  for (size_t c = 0; c < clerks.size(); ++c) {
    int status = 0;
    waitpid(clerks[c], &status, 0);
    std::ifstream error(dir + "/error" + std::to_string(c));
    std::string why((std::istreambuf_iterator<char>(error)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "clerk " << c << ": " << why;
  }
  std::set<std::string> stored, marked;
  std::map<std::string, std::vector<std::string>> edits;
  size_t edit_count = 0;
  bool purged = false;
  for (int c = 0; c < kClerks; ++c) {
    std::ifstream log(dir + "/" + std::to_string(c));
    std::string line;
    while (std::getline(log, line)) {
      std::istringstream words(line);
      std::string kind, record, edit;
      words >> kind >> record >> edit;
      if (kind == "C") stored.insert(record);
      if (kind == "E") edits[record].push_back(edit), ++edit_count;
      if (kind == "M") marked.insert(record);
      if (kind == "P") purged = true;
    }
  }
  std::filesystem::remove_all(dir);
  ASSERT_GT(stored.size(), 1000u);
  ASSERT_GT(edit_count, 300u);
  ASSERT_GT(marked.size(), 50u);
  EXPECT_TRUE(purged);

  TServerTable all(db.Connect());
  all.SetTableName("formix");
  server::UseReceiptNumbering(all);
  all.SetIndexName("inomer");
  all.Open();
  std::map<std::string, int> seen;
  int expected_number = 1;
  for (all.First(); !all.Eof(); all.Next(), ++expected_number) {
    EXPECT_EQ(all.FieldByName("nomer").AsInteger(), expected_number);
    const std::string tag = all.FieldByName("InnPlat").AsString();
    ++seen[tag];
    EXPECT_TRUE(stored.count(tag)) << "a receipt nobody stored: " << tag;
    if (marked.count(tag)) {
      EXPECT_TRUE(all.FieldByName("slugebnoe").AsBoolean()) << "a lost mark: " << tag;
    }
    const std::string text = all.FieldByName("NaznPlat").AsString() + "|";
    for (const std::string& edit : edits[tag])
      EXPECT_NE(text.find("|" + edit + "|"), std::string::npos) << "a lost edit " << edit << " of " << tag;
  }
  for (const std::string& tag : stored) {
    if (marked.count(tag)) {
      EXPECT_LE(seen[tag], 1) << tag;
    } else {
      EXPECT_EQ(seen[tag], 1) << "an acknowledged receipt missing or twice: " << tag;
    }
  }
}

}  // namespace
}  // namespace server
