// The dataset protocol over a small in-memory dataset: navigation, the edit
// states, field conversions and what bound links are told.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/base/byte_order.h"
#include "engine/dataset/data_source.h"
#include "engine/dataset/dataset.h"
#include "engine/locale/format_settings.h"

namespace tdb {
namespace {

// A dataset over a vector of records with the fields
//   Number ftInteger, Name ftString(10), Flag ftBoolean, Amount ftFloat, Day ftDate
// laid out in the record buffer in that order, then the 4-byte bookmark.
class VectorDataSet : public TDataSet {
 public:
  struct Row {
    std::vector<uint8_t> data;
    int32_t id;
  };
  std::vector<Row> rows;
  int pos = -1;
  bool fail_next_post = false;
  bool read_only = false;

  ~VectorDataSet() override { Close(); }

  static constexpr size_t kDataSize = 4 + 11 + 2 + 8 + 4;

  void AddRow(int32_t number, const char* name) {
    Row row{std::vector<uint8_t>(kDataSize, 0), next_id_++};
    PutInt32LE(row.data.data(), number);
    std::strncpy(reinterpret_cast<char*>(row.data.data() + 4), name, 10);
    rows.push_back(row);
  }

  int RecordCount() const override { return Active() ? static_cast<int>(rows.size()) : 0; }
  int RecNo() const override { return pos + 1; }
  bool CanModify() const override { return !read_only; }

  bool GetFieldData(const TField& field, void* dst) const override {
    const uint8_t* buffer = ActiveBuffer();
    if (!buffer) return false;
    std::memcpy(dst, buffer + field.Offset(), static_cast<size_t>(field.DataSize()));
    return true;
  }
  void SetFieldData(TField& field, const void* src) override {
    uint8_t* buffer = ActiveBuffer();
    if (!buffer) return;
    std::memcpy(buffer + field.Offset(), src, static_cast<size_t>(field.DataSize()));
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(&field));
  }

 protected:
  void InternalOpen() override {
    struct Def {
      const char* name;
      TFieldType type;
      int32_t size;
    } defs[] = {{"Number", ftInteger, 0}, {"Name", ftString, 10}, {"Flag", ftBoolean, 0},
                {"Amount", ftFloat, 0}, {"Day", ftDate, 0}};
    int32_t offset = 0;
    int no = 1;
    for (const auto& d : defs) {
      auto field = std::make_unique<TField>(this, d.name, d.type, d.size, no++);
      field->SetOffset(offset);
      offset += field->DataSize();
      AddField(std::move(field));
    }
    pos = -1;
    open_ = true;
  }
  void InternalClose() override { open_ = false; }
  bool IsCursorOpen() const override { return open_; }
  TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool) override {
    int count = static_cast<int>(rows.size());
    if (count == 0) return grEOF;
    switch (mode) {
      case gmCurrent:
        if (pos < 0 || pos >= count) return grError;
        break;
      case gmNext:
        if (pos >= count - 1) return grEOF;
        ++pos;
        break;
      case gmPrior:
        if (pos <= 0) return grBOF;
        --pos;
        break;
    }
    std::memcpy(buffer, rows[static_cast<size_t>(pos)].data.data(), kDataSize);
    PutInt32LE(buffer + kDataSize, rows[static_cast<size_t>(pos)].id);
    return grOK;
  }
  void InternalFirst() override { pos = -1; }
  void InternalLast() override { pos = static_cast<int>(rows.size()); }
  size_t RecordBufferSize() const override { return kDataSize + 5; }
  void InternalInitRecord(uint8_t* buffer) override { std::memset(buffer, 0, kDataSize + 5); }
  void InternalPost() override {
    if (fail_next_post) {
      fail_next_post = false;
      Error("Invalid unique field value '1'");
    }
    const uint8_t* buffer = ActiveBuffer();
    if (State() == dsInsert) {
      rows.push_back(Row{std::vector<uint8_t>(buffer, buffer + kDataSize), next_id_++});
      pos = static_cast<int>(rows.size()) - 1;
    } else {
      rows[static_cast<size_t>(pos)].data.assign(buffer, buffer + kDataSize);
    }
  }
  void InternalDelete() override {
    rows.erase(rows.begin() + pos);
    if (pos == static_cast<int>(rows.size())) --pos;
  }
  void InternalGotoBookmark(TBookmark bookmark) override {
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].id == bookmark) {
        pos = static_cast<int>(i);
        return;
      }
    Error("Bookmark not found");
  }
  TBookmark BufferBookmark(const uint8_t* buffer) const override { return GetInt32LE(buffer + kDataSize); }

 private:
  bool open_ = false;
  int32_t next_id_ = 100;
};

// Records what a bound control would be told.
class RecordingLink : public TDataLink {
 public:
  std::vector<std::string> log;
  std::function<void()> on_update;

 protected:
  void ActiveChanged() override { log.push_back(Active() ? "active" : "inactive"); }
  void DataSetChanged() override { log.push_back("changed"); }
  void DataSetScrolled(int distance) override { log.push_back("scrolled " + std::to_string(distance)); }
  void RecordChanged(TField* field) override { log.push_back("record " + (field ? field->FieldName() : "*")); }
  void EditingChanged() override { log.push_back(Editing() ? "editing" : "browsing"); }
  void UpdateData() override {
    log.push_back("update");
    if (on_update) on_update();
  }
};

TEST(DataSetFrameworkTest, EmptyDataSetHasBothEndsAndRefusesDelete) {
  VectorDataSet ds;
  ds.Name = "Table1";
  ds.Open();
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.IsEmpty());
  ds.Next();
  ds.Prior();
  ds.Last();
  EXPECT_TRUE(ds.Eof() && ds.Bof());
  try {
    ds.Delete();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Table1: Cannot perform this operation on an empty dataset");
  }
}

TEST(DataSetFrameworkTest, NavigationSetsEofAndBofOnlyWhenRunningOffAnEnd) {
  VectorDataSet ds;
  for (int i = 1; i <= 3; ++i) ds.AddRow(i, "x");
  ds.Open();
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(ds.FieldByName("number").AsInteger(), 1);
  ds.Next();
  EXPECT_FALSE(ds.Bof());
  ds.Next();
  EXPECT_EQ(ds.FieldByName("NUMBER").AsInteger(), 3);
  EXPECT_FALSE(ds.Eof());
  ds.Next();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.FieldByName("Number").AsInteger(), 3);  // stays on the last record
  ds.First();
  EXPECT_EQ(ds.MoveBy(5), 2);
  EXPECT_EQ(ds.MoveBy(-5), -2);
  EXPECT_TRUE(ds.Bof());
  int seen = 0;
  for (ds.First(); !ds.Eof(); ds.Next()) ++seen;
  EXPECT_EQ(seen, 3);
}

TEST(DataSetFrameworkTest, FieldByNameUnknownNamesTheField) {
  VectorDataSet ds;
  ds.Name = "Table1";
  ds.Open();
  try {
    ds.FieldByName("Nomer");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Table1: Field 'Nomer' not found");
  }
}

TEST(DataSetFrameworkTest, InsertPostAndCancel) {
  VectorDataSet ds;
  ds.AddRow(1, "a");
  ds.Open();
  ds.Insert();
  EXPECT_EQ(ds.State(), dsInsert);
  EXPECT_EQ(ds.FieldByName("Number").AsInteger(), 0);  // a new record reads as zero
  ds.FieldByName("Number").SetAsInteger(7);
  ds.FieldByName("Name").SetAsString("a much longer name");  // cut to the declared size
  EXPECT_TRUE(ds.Modified());
  ds.Post();
  EXPECT_EQ(ds.State(), dsBrowse);
  ASSERT_EQ(ds.rows.size(), 2u);
  EXPECT_EQ(ds.FieldByName("Name").AsString(), "a much lon");
  EXPECT_EQ(ds.FieldByName("Number").AsInteger(), 7);

  ds.Insert();
  ds.FieldByName("Number").SetAsInteger(8);
  ds.Cancel();
  EXPECT_EQ(ds.rows.size(), 2u);
  EXPECT_EQ(ds.FieldByName("Number").AsInteger(), 7);

  ds.Edit();
  ds.FieldByName("Number").SetAsInteger(9);
  ds.Cancel();
  EXPECT_EQ(ds.FieldByName("Number").AsInteger(), 7);
}

TEST(DataSetFrameworkTest, FailedPostKeepsTheInsertStateAndTheValues) {
  VectorDataSet ds;
  ds.Open();
  ds.Insert();
  ds.FieldByName("Number").SetAsInteger(1);
  ds.fail_next_post = true;
  EXPECT_THROW(ds.Post(), EDatabaseError);
  EXPECT_EQ(ds.State(), dsInsert);
  EXPECT_EQ(ds.FieldByName("Number").AsInteger(), 1);
  ds.Cancel();
  EXPECT_TRUE(ds.rows.empty());
  EXPECT_EQ(ds.State(), dsBrowse);
}

TEST(DataSetFrameworkTest, WritesOutsideEditingAndOnReadOnlyAreRefused) {
  VectorDataSet ds;
  ds.AddRow(1, "a");
  ds.Open();
  EXPECT_THROW(ds.FieldByName("Number").SetAsInteger(2), EDatabaseError);
  ds.read_only = true;
  EXPECT_THROW(ds.Edit(), EDatabaseError);
  EXPECT_THROW(ds.Insert(), EDatabaseError);
  EXPECT_EQ(ds.State(), dsBrowse);
}

TEST(DataSetFrameworkTest, DeleteMovesToTheNextOrTheNewLast) {
  VectorDataSet ds;
  for (int i = 1; i <= 3; ++i) ds.AddRow(i, "x");
  ds.Open();
  ds.Next();
  ds.Delete();
  EXPECT_EQ(ds.FieldByName("Number").AsInteger(), 3);
  ds.Delete();
  EXPECT_EQ(ds.FieldByName("Number").AsInteger(), 1);
  ds.Delete();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.Eof() && ds.Bof());
}

TEST(DataSetFrameworkTest, BookmarksReturnToTheSameRecord) {
  VectorDataSet ds;
  for (int i = 1; i <= 3; ++i) ds.AddRow(i, "x");
  ds.Open();
  ds.Last();
  TBookmark mark = ds.GetBookmark();
  ds.First();
  ds.GotoBookmark(mark);
  EXPECT_EQ(ds.FieldByName("Number").AsInteger(), 3);
  EXPECT_THROW(ds.GotoBookmark(12345), EDatabaseError);
}

TEST(DataSetFrameworkTest, ConversionsFollowTheLocale) {
  TFormatSettings russian;
  TScopedFormatSettings guard(russian);
  VectorDataSet ds;
  ds.AddRow(1, "12");
  ds.Open();
  ds.Edit();
  TField& amount = ds.FieldByName("Amount");
  amount.SetAsString("1234,5");
  EXPECT_EQ(amount.AsFloat(), 1234.5);
  EXPECT_EQ(amount.AsString(), "1234,5");
  EXPECT_EQ(amount.AsCurrency().value, 12345000);
  amount.SetAsCurrency(TCurrency{1});  // 0.0001
  EXPECT_EQ(amount.AsString(), "0,0001");
  EXPECT_EQ(ds.FieldByName("Name").AsInteger(), 12);
  try {
    ds.FieldByName("Number").SetAsString("abc");
    ADD_FAILURE() << "no error";
  } catch (const EFieldError& e) {
    EXPECT_EQ(e.FieldName(), "Number");  // a dialog can point at the editor
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }

  TField& flag = ds.FieldByName("Flag");
  flag.SetAsBoolean(true);
  EXPECT_EQ(flag.AsString(), "True");

  TField& day = ds.FieldByName("Day");
  EXPECT_EQ(day.AsDateTime(), 0.0);  // zero bytes are not a valid date: the zero date-time
  day.SetAsString("05.03.2024");
  EXPECT_EQ(day.AsString(), "05.03.2024");
  EXPECT_EQ(day.AsDateTime(), 45356.0);  // days since 30 December 1899
  EXPECT_THROW(day.SetAsString("31.02.2024"), EDatabaseError);
  ds.Post();
  EXPECT_EQ(ds.FieldByName("Day").AsString(), "05.03.2024");
}

TEST(DataSetFrameworkTest, LinksHearStatesFieldsAndAreAskedForPendingEdits) {
  VectorDataSet ds;
  ds.AddRow(1, "a");
  ds.AddRow(2, "b");
  TDataSource source;
  source.SetDataSet(&ds);
  RecordingLink link;
  link.SetDataSource(&source);
  ds.Open();
  EXPECT_EQ(link.log.front(), "active");
  link.log.clear();

  ds.Next();
  EXPECT_EQ(link.log, (std::vector<std::string>{"scrolled 1"}));
  link.log.clear();

  // The control writes its pending text when the dataset posts.
  link.on_update = [&] { ds.FieldByName("Name").SetAsString("typed"); };
  ds.Edit();
  ds.Post();
  EXPECT_EQ(ds.rows[1].data[4], 't');
  // The view is the same: the post reads the record again as a move in place.
  std::vector<std::string> expected{"editing", "record *", "update", "record Name", "browsing", "scrolled 0"};
  EXPECT_EQ(link.log, expected);

  // A disabled source passes nothing on; enabled again, its links read everything again.
  link.log.clear();
  source.SetEnabled(false);
  ds.First();
  EXPECT_TRUE(link.log.empty());
  source.SetEnabled(true);
  EXPECT_EQ(link.log, (std::vector<std::string>{"changed"}));

  ds.Close();
  EXPECT_EQ(link.log.back(), "inactive");
}

}  // namespace
}  // namespace tdb
