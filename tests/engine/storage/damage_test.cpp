// Damaged tables fail with a clear error, and an append cut short at any
// write leaves a file that reads as before (or with the whole record).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/base/database_error.h"
#include "storage_fixture.h"

namespace tdb::testing {
namespace {

using ::testing::HasSubstr;

enum { kNo, kName, kNote };

TTableHeader NotesHeader() {
  TTableHeader h = TableHeader("notes", {{"no", ftInteger, 0, 0}, {"name", ftString, 6, 0}, {"note", ftMemo, 0, 0}});
  AddIndex(h, "ino", kPrimary, {kNo});
  AddIndex(h, "iname", 0, {kName});
  return h;
}

// The image after appending (i, names[i]) for every name.
std::vector<uint8_t> NotesImage(const std::vector<std::string>& names) {
  TMemoryDb db(OneTableImage(NotesHeader()));
  auto table = db.Open("notes");
  for (size_t i = 0; i < names.size(); ++i) {
    TRecordBuffer r(*table);
    r.Int(kNo, static_cast<int32_t>(i)).Str(kName, names[i]).Blob(kNote, "note " + names[i]);
    table->AppendRecord(r.Buffers(), false, nullptr);
  }
  return db.Bytes();
}

std::string OpenError(std::vector<uint8_t> image) {
  TMemoryDb db(std::move(image));
  try {
    db.Open("notes");
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "";
}

TEST(StorageDamageTest, ALoopingChainFailsToOpen) {
  std::vector<uint8_t> image = NotesImage({"a", "b", "c"});
  TTableHeader h = ReadTableHeaderBytes(std::span<const uint8_t>(image).subspan(kTableHeaderAt));
  // ino runs 0 -> 1 -> 2; make 1 lead back to 0.
  int32_t block = h.IndexHeaders[0].IndexTabOffset;
  WriteIndexTabItem(TIndexTabItem{1, 0}, std::span<uint8_t>(image).subspan(static_cast<size_t>(block) + 4 + 1 * 8));
  EXPECT_THAT(OpenError(image), HasSubstr("chain of index ino loops"));
}

TEST(StorageDamageTest, ALoopingChainOfAListBuiltOnDemandFailsWhereItIsFirstNeeded) {
  std::vector<uint8_t> image = NotesImage({"a", "b", "c"});
  TTableHeader h = ReadTableHeaderBytes(std::span<const uint8_t>(image).subspan(kTableHeaderAt));
  int32_t block = h.IndexHeaders[0].IndexTabOffset;
  WriteIndexTabItem(TIndexTabItem{1, 0}, std::span<uint8_t>(image).subspan(static_cast<size_t>(block) + 4 + 1 * 8));
  TMemoryDb db(image);
  TDadaTableIO table(db.file(), "notes");
  table.OpenTable(TDadaTableIO::TListLoading::kListsOnDemand);
  // Record order and the sound index read as ever.
  EXPECT_EQ(RecNos(table.IndexLists(0)), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(RecNos(table.IndexLists(2)), (std::vector<int32_t>{0, 1, 2}));
  // The damaged one fails every time it is asked for, and so does a change.
  for (int attempt = 0; attempt < 2; ++attempt)
    EXPECT_THROW(
        try { table.IndexLists(1); } catch (const EDatabaseError& e) {
          EXPECT_THAT(e.what(), HasSubstr("chain of index ino loops"));
          throw;
        },
        EDatabaseError);
  std::vector<uint8_t> before = db.Bytes();
  TRecordBuffer r(table);
  r.Int(kNo, 9).Str(kName, "z");
  EXPECT_THROW(table.AppendRecord(r.Buffers(), false, nullptr), EDatabaseError);
  EXPECT_EQ(db.Bytes(), before);
  // An open that asks for every list reports it at once.
  EXPECT_THROW(table.OpenTable(), EDatabaseError);
}

// A list built on demand describes the file as it is when it is built, as
// the lists built before it do: records another opener appended meanwhile
// are in all of them.
TEST(StorageDamageTest, AListBuiltOnDemandAgreesWithTheListsBuiltBefore) {
  TMemoryDb db(NotesImage({"c", "a"}));
  TDadaTableIO lazy(db.file(), "notes");
  lazy.OpenTable(TDadaTableIO::TListLoading::kListsOnDemand);
  ASSERT_EQ(lazy.IndexLists(0).size(), 2u);
  TMemoryStreamHandle handle = RegisterMemoryStream(db.shared_stream());
  {
    TRadiVOFileIO other;
    other.Open(MemoryDatabaseName(handle), mtMemory, false, false);
    TDadaTableIO writer(other, "notes");
    writer.OpenTable();
    TRecordBuffer r(writer);
    r.Int(kNo, 5).Str(kName, "b");
    writer.AppendRecord(r.Buffers(), false, nullptr);
  }
  UnregisterMemoryStream(handle);
  EXPECT_EQ(RecNos(lazy.IndexLists(2)), (std::vector<int32_t>{1, 2, 0}));
  EXPECT_EQ(RecNos(lazy.IndexLists(0)), (std::vector<int32_t>{0, 1, 2}));
}

// Rewrites and deletions made before an index's list is built leave that
// list alone (only the indexes whose key a rewrite changes are built for it);
// built afterwards, every list is what a fresh open builds.  A rewrite that
// leaves a damaged index's key alone goes through without reading its chain.
TEST(StorageDamageTest, ChangesBeforeAListIsBuiltShowInItWhenItIs) {
  TMemoryDb db(NotesImage({"d", "b", "e", "a", "c"}));
  TDadaTableIO lazy(db.file(), "notes");
  lazy.OpenTable(TDadaTableIO::TListLoading::kListsOnDemand);
  ASSERT_EQ(lazy.IndexLists(0).size(), 5u);
  TRecordBuffer r(lazy);
  lazy.ReadRecord(r.Buffers(), lazy.IndexLists(0), 2);
  r.Str(kName, "0");  // record 2 moves to the front of iname
  lazy.ModifyRecord(r.Buffers(), 2, nullptr, false);
  lazy.ReadRecord(r.Buffers(), lazy.IndexLists(0), 4);
  r.Int(kNo, 10);  // record 4 moves to the end of ino
  lazy.ModifyRecord(r.Buffers(), 4, nullptr, false);
  lazy.DeleteRecord(1, false);  // record 1 ("b")
  auto fresh = db.Open("notes");
  for (int32_t list = 0; list <= 2; ++list)
    EXPECT_EQ(RecNos(lazy.IndexLists(list)), RecNos(fresh->IndexLists(list))) << "list " << list;
  EXPECT_EQ(RecNos(lazy.IndexLists(1)), (std::vector<int32_t>{0, 2, 3, 4}));
  EXPECT_EQ(RecNos(lazy.IndexLists(2)), (std::vector<int32_t>{2, 3, 4, 0}));

  // ino's chain now loops; a rewrite of the name alone still works, one of
  // the number fails as the open would, and writes nothing.
  std::vector<uint8_t> image = db.Bytes();
  TTableHeader h = ReadTableHeaderBytes(std::span<const uint8_t>(image).subspan(kTableHeaderAt));
  WriteIndexTabItem(TIndexTabItem{2, 0},
                    std::span<uint8_t>(image).subspan(static_cast<size_t>(h.IndexHeaders[0].IndexTabOffset) + 4 + 2 * 8));
  TMemoryDb damaged(image);
  TDadaTableIO table(damaged.file(), "notes");
  table.OpenTable(TDadaTableIO::TListLoading::kListsOnDemand);
  TRecordBuffer d(table);
  table.ReadRecord(d.Buffers(), table.IndexLists(0), 0);
  d.Str(kName, "f");
  table.ModifyRecord(d.Buffers(), 0, nullptr, false);
  EXPECT_EQ(RecNos(table.IndexLists(2)), (std::vector<int32_t>{2, 3, 4, 0}));
  const std::vector<uint8_t> before = damaged.Bytes();
  d.Int(kNo, 20);
  EXPECT_THROW(table.ModifyRecord(d.Buffers(), 0, nullptr, false), EDatabaseError);
  EXPECT_EQ(damaged.Bytes(), before);
}

// A read of a few fields takes them slot by slot; it reads the same values
// and refuses the same records as a read of every field.
TEST(StorageDamageTest, ReadingAFewFieldsReadsAndRefusesAsReadingThemAll) {
  std::vector<uint8_t> image = NotesImage({"a", "bb"});
  TTableHeader h = ReadTableHeaderBytes(std::span<const uint8_t>(image).subspan(kTableHeaderAt));
  // Record 1's fixed part now begins 4 bytes before the end of the file: its
  // first field lies inside, the rest does not.
  PutInt32LE(&image[static_cast<size_t>(h.RecTabOffset) + 4 + 5], static_cast<int32_t>(image.size()) - 4);
  TMemoryDb db(image);
  auto table = db.Open("notes");
  struct Case {
    const char* what;
    std::vector<bool> active;  // no, name, note
  };
  for (const Case& c : {Case{"every field", {true, true, true}}, Case{"the number", {true, false, false}},
                        Case{"the name", {false, true, false}}, Case{"nothing", {false, false, false}}}) {
    TRecordBuffer r(*table);
    for (int f = 0; f < 3; ++f)
      if (!c.active[static_cast<size_t>(f)]) r.Inactive(f);
    table->ReadRecord(r.Buffers(), table->IndexLists(0), 0);
    if (c.active[kNo]) {
      EXPECT_EQ(r.GetInt(kNo), 0) << c.what;
    }
    if (c.active[kName]) {
      EXPECT_EQ(r.GetStr(kName), "a") << c.what;
    }
    try {
      table->ReadRecord(r.Buffers(), table->IndexLists(0), 1);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const EDatabaseError& e) {
      EXPECT_THAT(e.what(), HasSubstr("outside the file")) << c.what;
    }
  }
}

TEST(StorageDamageTest, PositionsOutsideTheFileFailCleanly) {
  std::vector<uint8_t> good = NotesImage({"a", "b"});
  TTableHeader h = ReadTableHeaderBytes(std::span<const uint8_t>(good).subspan(kTableHeaderAt));

  std::vector<uint8_t> image = good;
  PutInt32LE(&image[kTableHeaderAt + kRecTabOffsetOfs], static_cast<int32_t>(image.size()) + 100);
  EXPECT_THAT(OpenError(image), HasSubstr("damaged"));

  image = good;  // a record whose fixed part lies past the end
  PutInt32LE(&image[static_cast<size_t>(h.RecTabOffset) + 4 + 5], 0x7FFFFF00);
  TMemoryDb db(image);
  auto table = db.Open("notes");
  TRecordBuffer r(*table);
  EXPECT_THROW(table->ReadRecord(r.Buffers(), table->IndexLists(0), 1), EDatabaseError);
  EXPECT_THROW(table->ReadFieldValue(1, kName), EDatabaseError);
  TRecordBuffer key(*table);
  key.Int(kNo, 1);
  EXPECT_THROW(table->SearchIndex(key.Buffers(), table->IndexLists(1), false, 0, 0), EDatabaseError);
  table->ReadRecord(r.Buffers(), table->IndexLists(0), 0);  // the other record still reads
  EXPECT_EQ(r.GetStr(kName), "a");
}

TEST(StorageDamageTest, AStringSlotWithoutItsNulReadsToTheSlotEnd) {
  std::vector<uint8_t> image = NotesImage({"a"});
  TTableHeader h = ReadTableHeaderBytes(std::span<const uint8_t>(image).subspan(kTableHeaderAt));
  int32_t data = GetInt32LE(&image[static_cast<size_t>(h.RecTabOffset) + 4]);
  std::memset(&image[static_cast<size_t>(data) + 4], 'x', 7);  // the whole slot, NUL included
  TMemoryDb db(image);
  auto table = db.Open("notes");
  TRecordBuffer r(*table);
  table->ReadRecord(r.Buffers(), table->IndexLists(0), 0);
  EXPECT_EQ(r.GetStr(kName), "xxxxxx");
  TRecordBuffer key(*table);
  key.Str(kName, "xxxxxx");
  EXPECT_EQ(table->SearchIndex(key.Buffers(), table->IndexLists(2), false, 0, 1).Side, kSearchEqual);
}

// A medium that fails every write after the first `budget`.
class TFailingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  int budget = -1;  // -1: no limit
  void WriteAt(int64_t pos, const uint8_t* src, size_t n) override {
    if (budget == 0) DatabaseError("disk gone");
    if (budget > 0) --budget;
    TMemoryStream::WriteAt(pos, src, n);
  }
};

// Cuts an append short after every possible number of writes, for a plain
// append and for one that starts new blocks; the file then opens and shows
// either the table as before or the new record whole.
TEST(StorageDamageTest, AnAppendCutShortReadsAsBeforeOrWhole) {
  for (size_t existing : {size_t{2}, size_t{0}}) {
    std::vector<std::string> names = {"m", "c"};
    names.resize(existing);
    std::vector<uint8_t> before = NotesImage(names);
    bool completed = false;
    for (int budget = 0; !completed; ++budget) {
      auto stream = std::make_shared<TFailingStream>(before);
      {
        TMemoryDb db(stream);
        auto table = db.Open("notes");
        stream->budget = budget;
        TRecordBuffer r(*table);
        r.Int(kNo, 7).Str(kName, "f").Blob(kNote, "new note");
        try {
          table->AppendRecord(r.Buffers(), false, nullptr);
          completed = true;
        } catch (const EDatabaseError& e) {
          ASSERT_STREQ(e.what(), "disk gone");
        }
      }
      TMemoryDb reread(stream->Bytes());
      std::unique_ptr<TDadaTableIO> table;
      ASSERT_NO_THROW(table = reread.Open("notes")) << "cut after " << budget << " writes";
      size_t count = table->IndexLists(0).size();
      ASSERT_TRUE(count == existing || count == existing + 1) << budget;
      for (size_t p = 0; p < count; ++p) {
        TRecordBuffer r(*table);
        table->ReadRecord(r.Buffers(), table->IndexLists(0), static_cast<int32_t>(p));
        std::string name = p < existing ? names[p] : "f";
        EXPECT_EQ(r.GetStr(kName), name) << budget;
        EXPECT_EQ(r.GetBlob(kNote), p < existing ? "note " + name : "new note") << budget;
      }
      // Every chain holds the old records in their order; the new one at most once.
      for (int32_t list = 1; list <= 2; ++list) {
        std::vector<int32_t> order = RecNos(table->IndexLists(list));
        EXPECT_LE(order.size(), count);
        EXPECT_GE(order.size(), existing);
      }
      if (completed) {
        EXPECT_EQ(count, existing + 1);
        EXPECT_EQ(table->IndexLists(2).size(), existing + 1);
      }
    }
  }
}

}  // namespace
}  // namespace tdb::testing
