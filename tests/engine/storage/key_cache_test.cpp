// The searches' kept keys: they must give the answers a search reading the
// file gives, across this storage's own changes (keys rewritten, records
// deleted and appended) and after another writer changed keys behind its back.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "engine/base/database_error.h"
#include "storage_fixture.h"

namespace tdb::testing {
namespace {

enum { kCode, kName };
enum { kByCode, kByName };

TTableHeader CodesHeader() {
  TTableHeader h = TableHeader("Codes", {{"code", ftInteger, 0, 0}, {"name", ftString, 12, 0}});
  AddIndex(h, "iCode", kUnique, {kCode});
  AddIndex(h, "iName", kCaseInsensitive, {kName});
  return h;
}

// One file object and its storage: one "process".
class TWriter {
 public:
  explicit TWriter(TMemoryDb& db) {
    file_.Open(db.file().FileName(), mtMemory, false, false);
    io_ = std::make_unique<TDadaTableIO>(file_, "Codes");
    io_->OpenTable();
  }
  TDadaTableIO& io() { return *io_; }
  void Append(int32_t code, const std::string& name) {
    TRecordBuffer r(*io_);
    r.Int(kCode, code).Str(kName, name);
    io_->AppendRecord(r.Buffers(), false, nullptr);
  }
  // List-0 position of the record with `code`, read from the file.
  int32_t PosOf(int32_t code) {
    const TRecordList& list = io_->IndexLists(0);
    for (size_t p = 0; p < list.size(); ++p) {
      TRecordBuffer r(*io_);
      io_->ReadRecord(r.Buffers(), list, static_cast<int32_t>(p));
      if (r.GetInt(kCode) == code) return static_cast<int32_t>(p);
    }
    return -1;
  }
  void Rewrite(int32_t code, int32_t new_code, const std::string& name) {
    TRecordBuffer r(*io_);
    r.Int(kCode, new_code).Str(kName, name);
    io_->ModifyRecord(r.Buffers(), PosOf(code), nullptr, false);
  }
  void Delete(int32_t code) { io_->DeleteRecord(PosOf(code), false); }
  // The search for a code: the code found at the position, or -1 when none is equal.
  int32_t FindCode(int32_t code) {
    TRecordBuffer key(*io_);
    key.Int(kCode, code);
    const TRecordList& list = io_->IndexLists(kByCode + 1);
    TSearchResult hit = io_->SearchIndex(key.Buffers(), list, false, 0, kByCode);
    if (hit.Side != kSearchEqual) return -1;
    TRecordBuffer found(*io_);
    io_->ReadRecord(found.Buffers(), list, hit.Position);
    return found.GetInt(kCode);
  }
  TSearchResult FindName(const std::string& name, bool partial) {
    TRecordBuffer key(*io_);
    key.Str(kName, name);
    return io_->SearchIndex(key.Buffers(), io_->IndexLists(kByName + 1), partial, 0, kByName);
  }

 private:
  TRadiVOFileIO file_;
  std::unique_ptr<TDadaTableIO> io_;
};

// Another writer moves a record to the far end of the order by changing its
// key; the searching writer holds that record's old key.  Once its next
// change has noticed the other writer (and loaded the table again), a search
// for the new key must find the record: a kept old key would steer the
// search past it.
TEST(KeyCacheTest, KeysChangedByAnotherWriterAreNotKept) {
  TMemoryDb db(OneTableImage(CodesHeader()));
  TWriter other(db), searcher(db);
  for (int32_t code = 1; code <= 15; ++code) other.Append(code, "n" + std::to_string(code));
  searcher.io().LoadIndexList(kByCode + 1, true);
  // Every record is probed, so every key is kept.
  for (int32_t code = 1; code <= 15; ++code) ASSERT_EQ(searcher.FindCode(code), code);
  ASSERT_GT(searcher.io().KeyCacheBytes(), 0u);

  other.Rewrite(3, 300, "n3");  // from near the start to the end of iCode
  const uint64_t noticed = searcher.io().ExternalChangeCount();
  searcher.Append(16, "n16");  // notices the other writer and loads again
  EXPECT_GT(searcher.io().ExternalChangeCount(), noticed);

  EXPECT_EQ(searcher.FindCode(300), 300);
  EXPECT_EQ(searcher.FindCode(3), -1);
  EXPECT_EQ(searcher.FindCode(16), 16);
  for (int32_t code : {1, 2, 4, 8, 15}) EXPECT_EQ(searcher.FindCode(code), code);
  // And the unique check sees the moved key too.
  EXPECT_THROW(searcher.Append(300, "x"), EDatabaseError);
}

// A record the other writer changed in place, where no change of this writer
// has noticed it yet: a find is only reported when the file still holds the key.
TEST(KeyCacheTest, AFindIsReadFromTheFile) {
  TMemoryDb db(OneTableImage(CodesHeader()));
  TWriter other(db), searcher(db);
  for (int32_t code = 10; code <= 150; code += 10) other.Append(code, "n");
  searcher.io().LoadIndexList(kByCode + 1, true);
  for (int32_t code = 10; code <= 150; code += 10) ASSERT_EQ(searcher.FindCode(code), code);
  other.Rewrite(70, 71, "n");  // stays where it stands in every order
  EXPECT_EQ(searcher.FindCode(70), -1);
  EXPECT_EQ(searcher.FindCode(71), 71);
}

// This writer's own rewrites, deletions and appends, in random order: after
// each, every search answers as a search of a fresh open of the file does.
TEST(KeyCacheTest, OwnChangesKeepEveryKeptKeyExact) {
  TMemoryDb db(OneTableImage(CodesHeader()));
  TWriter w(db);
  std::mt19937 random(11);
  std::map<int32_t, std::string> live;
  auto name_of = [&](int32_t code) { return std::string(1, static_cast<char>('a' + code % 7)) + std::to_string(code % 5); };
  for (int32_t code = 0; code < 200; code += 2) {
    w.Append(code, name_of(code));
    live[code] = name_of(code);
  }
  for (int round = 0; round < 300; ++round) {
    auto it = live.begin();
    std::advance(it, static_cast<long>(random() % live.size()));
    const int32_t code = it->first;
    const int dice = static_cast<int>(random() % 10);
    if (dice < 6) {
      int32_t new_code = static_cast<int32_t>(random() % 400);
      while (live.count(new_code) && new_code != code) new_code = static_cast<int32_t>(random() % 400);
      // Sometimes only the letter case of the name changes: an equal key
      // in the case-insensitive index, different bytes.
      std::string name = dice < 2 ? live[code] : name_of(new_code);
      if (dice < 2) name[0] = static_cast<char>(name[0] ^ 0x20);
      w.Rewrite(code, new_code, name);
      live.erase(code);
      live[new_code] = name;
    } else if (dice < 8) {
      w.Delete(code);
      live.erase(code);
    } else {
      int32_t new_code = static_cast<int32_t>(400 + round);
      w.Append(new_code, name_of(new_code));
      live[new_code] = name_of(new_code);
    }
    TWriter fresh(db);
    for (int probe = 0; probe < 20; ++probe) {
      const int32_t wanted = static_cast<int32_t>(random() % 700);
      ASSERT_EQ(w.FindCode(wanted), fresh.FindCode(wanted)) << "round " << round << " code " << wanted;
      ASSERT_EQ(w.FindCode(wanted), live.count(wanted) ? wanted : -1);
    }
    for (const std::string name : {"A1", "b", "c3", "G", "e0"}) {
      for (bool partial : {false, true}) {
        TSearchResult mine = w.FindName(name, partial), theirs = fresh.FindName(name, partial);
        ASSERT_EQ(mine.Side, theirs.Side) << "round " << round << " name " << name;
        ASSERT_EQ(mine.Position, theirs.Position) << "round " << round << " name " << name;
      }
    }
  }
  EXPECT_EQ(w.io().ExternalChangeCount(), 0u);
}

}  // namespace
}  // namespace tdb::testing
