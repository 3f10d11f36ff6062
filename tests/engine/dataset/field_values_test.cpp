// Values a field refuses, and blob values that survive a failed load and a
// post of other fields.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <memory>

#include "engine/base/byte_order.h"
#include "engine/base/database_error.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/table_fixture.h"
#include "engine/format/file_structures.h"

namespace tdb {
namespace {

using ::testing::HasSubstr;
using testing::OneRecordImage;
using testing::OneTableImage;
using testing::TempDir;

// Table "f": nomer ftInteger, amount ftFloat, sum ftCurrency, stamp
// ftDateTime; index "iamount" on amount.
TTableHeader FloatsHeader() {
  TTableHeader h;
  h.TableName = "f";
  const TFieldTabItem fields[] = {
      {"nomer", ftInteger, 0, 0}, {"amount", ftFloat, 0, 0}, {"sum", ftCurrency, 0, 0}, {"stamp", ftDateTime, 0, 0}};
  h.FieldCount = 4;
  for (int i = 0; i < 4; ++i) h.FieldTab[i] = fields[i];
  h.IndexCount = 1;
  h.IndexHeaders[0].IndexName = "iamount";
  h.IndexHeaders[0].IndexFields[0] = 1;
  return h;
}

std::unique_ptr<TDadaTable> Open(const std::string& path, const std::string& table, const std::string& index = "") {
  auto t = std::make_unique<TDadaTable>();
  t->SetDatabaseName(path);
  t->SetTableName(table);
  t->SetIndexName(index);
  t->Open();
  return t;
}

TEST(FieldValuesTest, NonFiniteNumbersAreRefusedNamingTheField) {
  TempDir dir;
  auto t = Open(dir.File("f.tdb", OneTableImage(FloatsHeader())), "f", "iamount");
  for (double amount : {3.0, 1.0, 2.0}) {
    t->Insert();
    t->FieldByName("amount").SetAsFloat(amount);
    t->Post();
  }

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* field;
    double value;
    const char* shown;
  };
  const Case cases[] = {{"amount", nan, "NaN"}, {"amount", inf, "INF"}, {"amount", -inf, "-INF"},
                        {"sum", nan, "NaN"},    {"sum", inf, "INF"},    {"stamp", nan, ""}};
  t->First();
  t->Edit();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " " + c.shown);
    TField& field = t->FieldByName(c.field);
    const double before = field.AsFloat();
    for (int setter = 0; setter < 2; ++setter) {
      std::string error = ErrorOf([&] { setter == 0 ? field.SetAsFloat(c.value) : field.SetAsDateTime(c.value); });
      EXPECT_THAT(error, HasSubstr(std::string("'") + c.field + "'"));
      EXPECT_THAT(error, HasSubstr(c.shown));
      EXPECT_EQ(field.AsFloat(), before);  // the buffer keeps its value
    }
  }
  EXPECT_THAT(ErrorOf([&] { t->FieldByName("amount").SetAsString("1e999"); }), HasSubstr("1e999"));
  t->Post();

  std::vector<double> order;
  for (t->First(); !t->Eof(); t->Next()) order.push_back(t->FieldByName("amount").AsFloat());
  EXPECT_EQ(order, (std::vector<double>{1.0, 2.0, 3.0}));
}

// The blob descriptor of OneRecordImage's only record.
TBlobDescriptor StoredDescriptor(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ReadBlobDescriptor(std::span<const uint8_t>(bytes).subspan(testing::kRecordAt + 15, kBlobDescriptorSize));
}

TEST(FieldValuesTest, ABlobThatFailedToLoadIsNotPostedEmpty) {
  TempDir dir;
  // The blob's area lies past the end of the file: every load fails.
  std::vector<uint8_t> image = OneRecordImage();
  WriteBlobDescriptor(TBlobDescriptor{static_cast<int32_t>(image.size()) + 64, 5, 64, {}},
                      std::span<uint8_t>(image).subspan(testing::kRecordAt + 15));
  const std::string path = dir.File("b.tdb", image);
  const TBlobDescriptor stored = StoredDescriptor(path);

  auto t = Open(path, "t");
  t->Edit();
  EXPECT_THROW(t->FieldByName("m").AsString(), EDatabaseError);
  EXPECT_THROW(t->FieldByName("m").AsString(), EDatabaseError);  // still failing, never empty
  t->FieldByName("s").SetAsString("xyz");
  t->Post();
  t.reset();

  const TBlobDescriptor after = StoredDescriptor(path);
  EXPECT_EQ(after.BlobOffset, stored.BlobOffset);
  EXPECT_EQ(after.BlobSize, 5);
  auto again = Open(path, "t");
  EXPECT_EQ(again->FieldByName("s").AsString(), "xyz");
}

TEST(FieldValuesTest, APostOfOtherFieldsLeavesTheStoredBlobAlone) {
  TempDir dir;
  const std::string path = dir.File("b.tdb", OneRecordImage());
  {
    auto t = Open(path, "t");
    t->Edit();
    EXPECT_EQ(t->FieldByName("m").AsString(), "hello");  // loaded into the record buffer
    {
      // Meanwhile the stored value changes in place (as another program's
      // edit would): the post is refused.
      std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
      f.seekp(testing::kBlobAt);
      f.write("HELLO", 5);
    }
    t->FieldByName("a").SetAsInteger(8);
    EXPECT_THROW(t->Post(), EDatabaseError);
    t->Cancel();
    t->Edit();
    EXPECT_EQ(t->FieldByName("m").AsString(), "HELLO");  // loaded into the record buffer
    t->FieldByName("a").SetAsInteger(8);
    t->Post();  // must not write the buffer's unchanged copy back
    EXPECT_EQ(t->FieldByName("m").AsString(), "HELLO");
    t->Edit();
    t->FieldByName("m").SetAsString("changed");
    t->Post();
  }
  auto t = Open(path, "t");
  EXPECT_EQ(t->FieldByName("a").AsInteger(), 8);
  EXPECT_EQ(t->FieldByName("m").AsString(), "changed");
}

}  // namespace
}  // namespace tdb
