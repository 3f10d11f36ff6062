// The four receipt files: their tables, the fields the screens use, and the
// indexes the screens select, each ascending on its field.
#include <gtest/gtest.h>

#include <map>

#include "data/receipt_tables.h"
#include "engine/format/field_types.h"

namespace receipts {
namespace {

const TableSchema& OnlyTable(const std::string& file) {
  for (const ReceiptFile& f : ReceiptFiles())
    if (f.file_name == file) {
      EXPECT_EQ(f.schema.tables.size(), 1u);
      return f.schema.tables.at(0);
    }
  ADD_FAILURE() << file;
  static const TableSchema none;
  return none;
}

std::map<std::string, int> Types(const TableSchema& t) {
  std::map<std::string, int> types;
  for (const FieldSchema& f : t.fields) types[f.name] = f.type;
  return types;
}

TEST(ReceiptTablesTest, FilesTablesAndIndexes) {
  struct Expect {
    std::string file, table;
    size_t fields;
    std::map<std::string, std::string> index_field;
  } expected[] = {
      {"formix.tdb", "formix", 32,
       {{"inomer", "nomer"}, {"idate", "DatePlat"}, {"iplatel", "Platel"}, {"isumma", "Summa"}, {"ipoluchat", "Poluchat"}}},
      {"platel.tdb", "platel", 6, {{"inomer", "nomer"}}},
      {"Poluchat.tdb", "Poluchat", 10, {{"inomer", "nomer"}}},
      {"sprkodBK.tdb", "sprkodBK", 5, {{"ikodbk", "kodBK"}}},
  };
  ASSERT_EQ(ReceiptFiles().size(), 4u);
  for (const Expect& e : expected) {
    const TableSchema& t = OnlyTable(e.file);
    EXPECT_EQ(t.name, e.table);
    EXPECT_EQ(t.fields.size(), e.fields) << e.table;
    ASSERT_EQ(t.indexes.size(), e.index_field.size()) << e.table;
    for (const IndexSchema& x : t.indexes) {
      EXPECT_EQ(x.options, 0) << x.name;  // ascending, neither unique nor primary
      EXPECT_EQ(x.fields, std::vector<std::string>{e.index_field.at(x.name)}) << x.name;
    }
    auto types = Types(t);
    EXPECT_EQ(types.at("nomer"), tdb::ftInteger) << e.table;
    EXPECT_EQ(types.at("slugebnoe"), tdb::ftBoolean) << e.table;
  }
}

TEST(ReceiptTablesTest, TypesOfTheReceiptFields) {
  auto types = Types(OnlyTable("formix.tdb"));
  EXPECT_EQ(types.at("DatePlat"), tdb::ftDate);
  for (const char* amount : {"Summa", "SummaUslug", "peni", "straf"}) EXPECT_EQ(types.at(amount), tdb::ftCurrency);
  for (const char* number : {"nomerPlat", "nomerPoluch", "nomerBK"}) EXPECT_EQ(types.at(number), tdb::ftInteger);
  EXPECT_EQ(types.at("naloglog"), tdb::ftBoolean);
  EXPECT_EQ(Types(OnlyTable("sprkodBK.tdb")).at("tip"), tdb::ftInteger);
  for (const FieldSchema& f : OnlyTable("formix.tdb").fields)
    if (f.type == tdb::ftString) {
      EXPECT_GT(f.size, 0) << f.name;
    }
}

TEST(ReceiptTablesTest, EveryFileIsAValidSchema) {
  for (const ReceiptFile& f : ReceiptFiles()) EXPECT_NO_THROW(CheckSchema(f.schema)) << f.file_name;
}

}  // namespace
}  // namespace receipts
