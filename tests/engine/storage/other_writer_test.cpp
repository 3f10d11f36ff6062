// Two file objects on one file, as two processes are: one changes the table
// behind the other's back (a rewrite that moves a record, a deletion; neither
// shows in the table's header), then the other changes it from the lists it
// still holds.  Every chain must stay whole and in key order, a rewrite or
// deletion of a record the other deleted must fail and write nothing, and the
// unique check must see the other's keys.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>

#include "engine/base/database_error.h"
#include "storage_fixture.h"

namespace tdb::testing {
namespace {

using ::testing::HasSubstr;

enum { kId, kName, kAmount, kCode, kMemo };
enum { kByName, kByCodeName, kByAmountDesc };

TTableHeader PeopleHeader() {
  TTableHeader h = TableHeader("People", {{"id", ftAutoInc, 0, 0},
                                          {"name", ftString, 10, 0},
                                          {"amount", ftFloat, 0, 0},
                                          {"code", ftInteger, 0, 0},
                                          {"memo", ftMemo, 0, 0}});
  AddIndex(h, "iName", 0, {kName});
  AddIndex(h, "iCodeName", kUnique, {kCode, kName});
  AddIndex(h, "iAmount", kDescending, {kAmount});
  return h;
}

std::string ErrorText(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "";
}

struct TPerson {
  std::string name;
  int32_t code;
  double amount;
};

// One file object and its table storage: one "process".
class TWriter {
 public:
  explicit TWriter(TMemoryDb& db) {
    file_.Open(db.file().FileName(), mtMemory, false, false);
    io_ = std::make_unique<TDadaTableIO>(file_, "People");
    io_->OpenTable();
  }
  TDadaTableIO& io() { return *io_; }
  // List-0 position of the record with `code`, as this writer's lists have it.
  int32_t PosOf(int32_t code) {
    const TRecordList& list = io_->IndexLists(0);
    for (size_t p = 0; p < list.size(); ++p) {
      TRecordBuffer r(*io_);
      io_->ReadRecord(r.Buffers(), list, static_cast<int32_t>(p));
      if (r.GetInt(kCode) == code) return static_cast<int32_t>(p);
    }
    return -1;
  }
  void Append(const TPerson& p) {
    TRecordBuffer r(*io_);
    r.Str(kName, p.name).Int(kCode, p.code).Double(kAmount, p.amount);
    io_->AppendRecord(r.Buffers(), false, nullptr);
  }
  // Rewrites the record with code `code` (found by this writer's lists) to `p`.
  void Rewrite(int32_t code, const TPerson& p, int32_t pos = -1) {
    if (pos < 0) pos = PosOf(code);
    TRecordBuffer r(*io_);
    r.Str(kName, p.name).Int(kCode, p.code).Double(kAmount, p.amount).Inactive(kMemo);
    io_->ModifyRecord(r.Buffers(), pos, nullptr, false);
  }
  void Delete(int32_t code, int32_t pos = -1) { io_->DeleteRecord(pos < 0 ? PosOf(code) : pos, false); }

 private:
  TRadiVOFileIO file_;
  std::unique_ptr<TDadaTableIO> io_;
};

// What a fresh open reads: every index list holds the live records once, in
// key order; returns the people by code.
std::map<int32_t, TPerson> ReadSound(TMemoryDb& db) {
  TWriter fresh(db);
  TDadaTableIO& io = fresh.io();
  std::map<int32_t, TPerson> people;
  const TRecordList& all = io.IndexLists(0);
  for (size_t p = 0; p < all.size(); ++p) {
    TRecordBuffer r(io);
    io.ReadRecord(r.Buffers(), all, static_cast<int32_t>(p));
    EXPECT_TRUE(people.emplace(r.GetInt(kCode), TPerson{r.GetStr(kName), r.GetInt(kCode), r.GetDouble(kAmount)}).second);
  }
  for (int32_t index = 0; index < 3; ++index) {
    const TRecordList& list = io.IndexLists(index + 1);
    EXPECT_EQ(list.size(), all.size()) << "index " << index;
    std::set<int32_t> seen;
    TPerson previous{};
    for (size_t p = 0; p < list.size(); ++p) {
      TRecordBuffer r(io);
      io.ReadRecord(r.Buffers(), list, static_cast<int32_t>(p));
      TPerson now{r.GetStr(kName), r.GetInt(kCode), r.GetDouble(kAmount)};
      EXPECT_TRUE(seen.insert(now.code).second) << "index " << index << " meets " << now.code << " twice";
      if (p > 0) {
        if (index == kByName) {
          EXPECT_LE(previous.name, now.name) << "index " << index << " at " << p;
        } else if (index == kByCodeName) {
          EXPECT_LT(previous.code, now.code) << "index " << index << " at " << p;
        } else {
          EXPECT_GE(previous.amount, now.amount) << "index " << index << " at " << p;
        }
      }
      previous = now;
    }
  }
  return people;
}

struct TCase {
  const char* what;
  // Both writers have loaded the table of people "a".."h" (codes 1..8,
  // amounts 10..80); `other` changes it, then `stale` does.
  std::function<void(TWriter& other, TWriter& stale)> run;
  const char* error;  // what the stale writer's change raises, or "" for none
  std::function<void(std::map<int32_t, TPerson>&)> expect;  // from the eight people, what the file must hold
};

TEST(OtherWriterTest, ChangesFromStaleListsKeepEveryChainWholeAndInOrder) {
  const TCase cases[] = {
      {"the other moved the record before mine away; I move mine",
       [](TWriter& o, TWriter& s) {
         o.Rewrite(3, {"zz", 3, 30});
         s.Rewrite(4, {"a0", 4, 95});
       },
       "",
       [](auto& m) {
         m[3].name = "zz";
         m[4] = {"a0", 4, 95};
       }},
      {"the other moved a record into the gap where mine goes",
       [](TWriter& o, TWriter& s) {
         o.Rewrite(7, {"c1", 7, 35});
         s.Rewrite(2, {"c2", 2, 36});
       },
       "",
       [](auto& m) {
         m[7] = {"c1", 7, 35};
         m[2] = {"c2", 2, 36};
       }},
      {"the other moved a record into the gap where my new record goes",
       [](TWriter& o, TWriter& s) {
         o.Rewrite(8, {"d1", 8, 45});
         s.Append({"d2", 9, 44});
       },
       "",
       [](auto& m) {
         m[8] = {"d1", 8, 45};
         m[9] = {"d2", 9, 44};
       }},
      {"the other moved my record; I move it again",
       [](TWriter& o, TWriter& s) {
         o.Rewrite(5, {"b1", 5, 15});
         s.Rewrite(5, {"g1", 5, 75});
       },
       "",
       [](auto& m) { m[5] = {"g1", 5, 75}; }},
      {"the other moved the first record to the end; I move the second to the front",
       [](TWriter& o, TWriter& s) {
         o.Rewrite(1, {"zz", 1, 5});
         s.Rewrite(2, {"0", 2, 99});
       },
       "",
       [](auto& m) {
         m[1] = {"zz", 1, 5};
         m[2] = {"0", 2, 99};
       }},
      {"the other deleted the record before mine; I move mine",
       [](TWriter& o, TWriter& s) {
         o.Delete(3);
         s.Rewrite(4, {"zz", 4, 1});
       },
       "",
       [](auto& m) {
         m.erase(3);
         m[4] = {"zz", 4, 1};
       }},
      {"the other deleted the record before my gap and cut it out of the chain; I append into that gap",
       [](TWriter& o, TWriter& s) {
         o.Delete(3);
         o.Rewrite(4, {"zz", 4, 40});  // unlinking 4 cuts the deleted 3 out
         s.Append({"c5", 9, 35});
       },
       "",
       [](auto& m) {
         m.erase(3);
         m[4] = {"zz", 4, 40};
         m[9] = {"c5", 9, 35};
       }},
      {"the other deleted the record I rewrite",
       [](TWriter& o, TWriter& s) {
         int32_t pos = s.PosOf(6);
         o.Delete(6);
         s.Rewrite(6, {"x", 6, 1}, pos);
       },
       "was deleted by another user", [](auto& m) { m.erase(6); }},
      {"the other deleted the record I delete",
       [](TWriter& o, TWriter& s) {
         int32_t pos = s.PosOf(6);
         o.Delete(6);
         s.Delete(6, pos);
       },
       "was deleted by another user", [](auto& m) { m.erase(6); }},
      {"the other took the unique key I append",
       [](TWriter& o, TWriter& s) {
         o.Rewrite(2, {"q", 20, 20});
         s.Append({"q", 20, 21});
       },
       "Invalid unique field value", [](auto& m) {
         m.erase(2);
         m[20] = {"q", 20, 20};
       }},
      {"the other gave up the unique key I append",
       [](TWriter& o, TWriter& s) {
         o.Delete(2);
         s.Append({"b", 2, 21});
       },
       "", [](auto& m) { m[2] = {"b", 2, 21}; }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    TMemoryDb db(OneTableImage(PeopleHeader()));
    std::map<int32_t, TPerson> want;
    {
      TWriter first(db);
      for (int32_t i = 0; i < 8; ++i) {
        TPerson p{std::string(1, static_cast<char>('a' + i)), i + 1, 10.0 * (i + 1)};
        first.Append(p);
        want[p.code] = p;
      }
    }
    TWriter other(db), stale(db);
    std::string error;
    try {
      c.run(other, stale);
    } catch (const EDatabaseError& e) {
      error = e.what();
    }
    if (*c.error) EXPECT_THAT(error, HasSubstr(c.error));
    else EXPECT_EQ(error, "");
    c.expect(want);
    std::map<int32_t, TPerson> got;
    EXPECT_NO_THROW(got = ReadSound(db));
    ASSERT_EQ(got.size(), want.size());
    for (const auto& [code, p] : want) {
      EXPECT_EQ(got[code].name, p.name) << code;
      EXPECT_EQ(got[code].amount, p.amount) << code;
    }
    // The stale writer goes on from where it stands.
    EXPECT_NO_THROW(stale.Append({"m", 50, 50}));
    want[50] = {"m", 50, 50};
    EXPECT_NO_THROW(EXPECT_EQ(ReadSound(db).size(), want.size()));
  }
}

// A rewrite or deletion of a record another writer deleted leaves the file as it was.
TEST(OtherWriterTest, ChangingARecordTheOtherDeletedWritesNothing) {
  TMemoryDb db(OneTableImage(PeopleHeader()));
  {
    TWriter first(db);
    for (int32_t i = 1; i <= 3; ++i) first.Append({"p" + std::to_string(i), i, 1.0 * i});
  }
  TWriter other(db), rewriter(db), deleter(db);
  const int32_t pos = rewriter.PosOf(2);
  other.Delete(2);
  const std::vector<uint8_t> bytes = db.Bytes();
  EXPECT_THAT(ErrorText([&] { rewriter.Rewrite(2, {"new", 2, 9}, pos); }), HasSubstr("was deleted by another user"));
  EXPECT_TRUE(db.Bytes() == bytes);
  EXPECT_THAT(ErrorText([&] { deleter.Delete(2, pos); }), HasSubstr("was deleted by another user"));
  EXPECT_TRUE(db.Bytes() == bytes);
  EXPECT_EQ(ReadSound(db).size(), 2u);
}

// A load that fails (here: the other writer left a chain looping for a
// while) leaves the table out of step: once the file is sound again, the
// next change loads it again instead of working from half-built lists.
TEST(OtherWriterTest, AfterALoadThatFailedTheNextChangeLoadsAgain) {
  TMemoryDb db(OneTableImage(PeopleHeader()));
  TWriter other(db), stale(db);
  for (int32_t i = 1; i <= 3; ++i) other.Append({"p" + std::to_string(i), i, 1.0 * i});
  other.Append({"p4", 4, 4.0});  // the stale writer sees the count change

  // Record 2 of the name chain made to lead back to record 1.
  TTableHeader h = db.file().ReadTableHeader(0);
  const TIndexHeader& by_name = h.IndexHeaders[kByName];
  const int64_t next_of_2 = static_cast<int64_t>(by_name.IndexTabOffset) + 4 + 2 * kIndexTabItemSize + 4;
  uint8_t sound[4], looping[4];
  db.file().ReadData(next_of_2, sound);
  ASSERT_EQ(GetInt32LE(sound), 3);
  PutInt32LE(looping, 1);
  db.file().WriteData(next_of_2, looping);
  EXPECT_THAT(ErrorText([&] { stale.Append({"p5", 5, 5.0}); }), HasSubstr("loops"));

  db.file().WriteData(next_of_2, sound);
  // A view loaded again (a dataset's refresh) gets the whole table...
  stale.io().LoadIndexList(1 + kByName, true);
  EXPECT_EQ(stale.io().IndexLists(1 + kByName).size(), 4u);
  // ...and so does a change.
  EXPECT_EQ(ErrorText([&] { stale.Append({"p5", 5, 5.0}); }), "");
  EXPECT_EQ(ReadSound(db).size(), 5u);
  EXPECT_EQ(stale.io().IndexLists(1 + kByName).size(), 5u);
}

// Alone on the file, a writer never finds its lists stale: no change of its
// own (among equal keys, across deleted records, at either end of a chain)
// makes it load the table again.
TEST(OtherWriterTest, ASingleWriterNeverLoadsAgain) {
  TMemoryDb db(OneTableImage(PeopleHeader()));
  TWriter w(db);
  std::mt19937 random(5);
  std::map<int32_t, TPerson> want;
  int32_t next = 1;
  for (int i = 0; i < 600; ++i) {
    int dice = static_cast<int>(random() % 10);
    if (want.size() < 10 || dice < 3) {
      TPerson p{"n" + std::to_string(random() % 5), next++, static_cast<double>(random() % 7)};
      w.Append(p);
      want[p.code] = p;
      continue;
    }
    auto it = want.begin();
    std::advance(it, static_cast<long>(random() % want.size()));
    const int32_t code = it->first;
    if (dice < 8) {
      TPerson p{"n" + std::to_string(random() % 5), dice % 2 ? next++ : code, static_cast<double>(random() % 7)};
      w.Rewrite(code, p);
      want.erase(code);
      want[p.code] = p;
    } else {
      w.Delete(code);
      want.erase(code);
    }
  }
  EXPECT_EQ(w.io().ExternalChangeCount(), 0u);
  EXPECT_EQ(ReadSound(db).size(), want.size());
}

}  // namespace
}  // namespace tdb::testing
