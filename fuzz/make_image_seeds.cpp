// Writes the seed corpus of image_fuzzer: small valid database files, one for
// each storage feature (plain, compressed, write-verified, each cipher and
// cipher mode, unprocessed fields, an empty file, a table without records,
// and a table grown past one record table block), each holding records with
// a value of every field type, equal keys, blobs of several sizes and a
// deleted record.  Run once; the output is committed under
// fuzz/corpus/image:
//   make_image_seeds DIR
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "data/database_creator.h"
#include "engine/base/database_error.h"
#include "engine/database/session.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/field.h"
#include "engine/file/memory_stream.h"
#include "engine/format/field_types.h"

namespace {

using namespace tdb;
using receipts::DatabaseSchema;
using receipts::FieldSchema;
using receipts::IndexSchema;
using receipts::StorageOptions;
using receipts::TableSchema;

constexpr char kPassword[] = "fuzz";  // image_fuzzer tries this one

TableSchema EveryType(uint8_t plain_mode) {
  TableSchema t;
  t.name = "all";
  t.fields = {{"s", ftString, 12, 0},     {"si", ftSmallint, 0, 0}, {"i", ftInteger, 0, 0},
              {"w", ftWord, 0, 0},        {"b", ftBoolean, 0, 0},   {"f", ftFloat, 0, 0},
              {"cur", ftCurrency, 0, 0},  {"d", ftDate, 0, 0},      {"t", ftTime, 0, 0},
              {"dt", ftDateTime, 0, 0},   {"ai", ftAutoInc, 0, 0},  {"m", ftMemo, 0, 0},
              {"bl", ftBlob, 0, plain_mode}, {"fc", ftFixedChar, 3, plain_mode}, {"li", ftLargeint, 0, 0}};
  t.indexes = {{"iai", tiPrimary | tiUnique, {"ai"}},
               {"is", tiCaseInsensitive, {"s", "i"}},
               {"idesc", tiDescending, {"d"}},
               {"im", 0, {"m"}}};
  return t;
}

TableSchema Small() {
  TableSchema t;
  t.name = "small";
  t.fields = {{"n", ftInteger, 0, 0}, {"c", ftString, 2, 0}};
  t.indexes = {{"in", tiUnique, {"n"}}};
  return t;
}

void Fill(const std::string& database, int records) {
  TDadaTable table;
  table.SetMediumType(mtMemory);
  table.SetDatabaseName(database);
  table.SetTableName("all");
  table.Open();
  for (int r = 0; r < records; ++r) {
    table.Insert();
    table.FieldByName("s").SetAsString(r % 2 ? "Abc" : "abc");
    table.FieldByName("si").SetAsInteger(-r);
    table.FieldByName("i").SetAsInteger(r * 1000);
    table.FieldByName("w").SetAsInteger(65535 - r);
    table.FieldByName("b").SetAsBoolean(r % 2);
    table.FieldByName("f").SetAsFloat(r / 3.0);
    table.FieldByName("cur").SetAsFloat(100.25 * r);
    table.FieldByName("d").SetAsDateTime(38000.0 + r);
    table.FieldByName("t").SetAsDateTime(r / 10.0);
    table.FieldByName("dt").SetAsDateTime(38000.25 + r);
    table.FieldByName("m").SetAsString(std::string(static_cast<size_t>(r) * 40, static_cast<char>('a' + r)));
    table.FieldByName("bl").SetAsString(std::string(static_cast<size_t>(r) * 3, '\x01'));
    table.FieldByName("fc").SetAsString("xyz");
    table.FieldByName("li").SetAsString("5000000000");
    table.Post();
  }
  if (records > 1) {
    table.First();
    table.Edit();
    table.FieldByName("m").SetAsString(std::string(300, 'q'));  // moves its blob
    table.Post();
    table.Last();
    table.Delete();
  }
}

void FillSmall(const std::string& database, int records) {
  TDadaTable table;
  table.SetMediumType(mtMemory);
  table.SetDatabaseName(database);
  table.SetTableName("small");
  table.Open();
  for (int r = 0; r < records; ++r) {
    table.Insert();
    table.FieldByName("n").SetAsInteger((r * 7919) % 100003);
    table.Post();
  }
}

void Write(const std::string& dir, const std::string& name, const DatabaseSchema& schema, int records,
           int small_records) {
  auto stream = std::make_shared<TMemoryStream>(receipts::BuildDatabaseImage(schema));
  TMemoryStreamHandle handle = RegisterMemoryStream(stream);
  std::string database = MemoryDatabaseName(handle);
  if (!schema.tables.empty() && schema.tables[0].name == "all") Fill(database, records);
  if (small_records) FillSmall(database, small_records);
  UnregisterMemoryStream(handle);
  std::ofstream out(dir + "/" + name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(stream->Bytes().data()), static_cast<std::streamsize>(stream->Bytes().size()));
  if (!out) throw std::runtime_error("cannot write " + name);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_image_seeds DIR\n";
    return 2;
  }
  std::string dir = argv[1];
  Session().OnLogin = [](const std::string&, std::string& password) {
    password = kPassword;
    return true;
  };
  try {
    DatabaseSchema empty;
    Write(dir, "empty.tdb", empty, 0, 0);

    DatabaseSchema no_records;
    no_records.tables = {EveryType(0)};
    Write(dir, "no-records.tdb", no_records, 0, 0);

    DatabaseSchema plain;
    plain.tables = {EveryType(0), Small()};
    Write(dir, "plain.tdb", plain, 4, 3);

    DatabaseSchema compressed = plain;
    compressed.storage.compress = true;
    compressed.storage.verify_writes = true;
    Write(dir, "compressed.tdb", compressed, 4, 0);

    const char* ciphers[] = {"Blowfish", "Twofish", "Gost", "Blowfish", "Twofish"};
    for (int mode = 0; mode <= 4; ++mode) {
      DatabaseSchema encrypted;
      encrypted.tables = {EveryType(mode % 2 ? 1 : 0)};
      encrypted.storage.cipher = ciphers[mode];
      encrypted.storage.mode = mode;
      encrypted.storage.password = kPassword;
      encrypted.storage.compress = mode == 2;
      Write(dir, std::string("encrypted-") + ciphers[mode] + "-mode" + std::to_string(mode) + ".tdb", encrypted, 3, 0);
    }

    DatabaseSchema grown;
    grown.tables = {Small()};
    Write(dir, "two-blocks.tdb", grown, 0, 1030);
  } catch (const std::exception& e) {
    std::cerr << "make_image_seeds: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
