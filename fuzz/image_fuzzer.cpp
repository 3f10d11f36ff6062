// Fuzzes the reading of a database file: the input is a whole file image,
// held in a memory stream and opened through a table dataset, once with the
// password of the seed files and once without one.  Every table is read in
// record order and in the order of every index, every field of every record
// as text (blobs through their streams), and then one record is appended,
// one rewritten and one deleted, so that the change paths meet hostile
// chains and headers too.  Refusals (EDatabaseError, "Access denied" among
// them) are expected; anything else (a crash, a sanitizer report, another
// exception, a hang, memory out of proportion to the image) is a finding.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/database_error.h"
#include "engine/database/session.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/field.h"
#include "engine/file/file_io.h"
#include "engine/file/memory_stream.h"

namespace {

using namespace tdb;

// The password every encrypted seed file was made with (fuzz/make_image_seeds.cpp).
constexpr char kSeedPassword[] = "fuzz";

// Images larger than this say nothing a smaller one could not.
constexpr size_t kMaxImage = 1 << 20;
// Records read per order; enough to reach every kind of record in a small image.
constexpr int kMaxRecords = 2000;

void ReadRecords(TDadaTable& table) {
  int n = 0;
  for (table.First(); !table.Eof() && n < kMaxRecords; table.Next(), ++n)
    for (int f = 0; f < table.FieldCount(); ++f) {
      try {
        (void)table.Field(f).AsString();
      } catch (const EDatabaseError&) {
      }
    }
}

void ChangeRecords(TDadaTable& table) {
  try {
    table.Insert();
    for (int f = 0; f < table.FieldCount(); ++f) table.Field(f).SetAsString("7");
    table.Post();
  } catch (const EDatabaseError&) {
    if (table.State() != dsBrowse) table.Cancel();
  }
  try {
    table.First();
    if (!table.Eof()) {
      table.Edit();
      for (int f = 0; f < table.FieldCount(); ++f) table.Field(f).SetAsString(std::string(70, 'x'));
      table.Post();
    }
  } catch (const EDatabaseError&) {
    if (table.State() != dsBrowse) table.Cancel();
  }
  try {
    table.Last();
    if (!table.Eof()) table.Delete();
  } catch (const EDatabaseError&) {
  }
}

void ReadTable(const std::string& database, const std::string& name, const std::vector<std::string>& indexes) {
  std::vector<std::string> orders{""};
  orders.insert(orders.end(), indexes.begin(), indexes.end());
  for (const std::string& index : orders) {
    TDadaTable table;
    try {
      table.SetMediumType(mtMemory);
      table.SetDatabaseName(database);
      table.SetTableName(name);
      table.SetIndexName(index);
      table.Open();
      ReadRecords(table);
      if (index.empty()) ChangeRecords(table);
    } catch (const EDatabaseError&) {
    }
  }
}

void Run(const uint8_t* data, size_t size, bool with_password) {
  auto stream = std::make_shared<TMemoryStream>(std::vector<uint8_t>(data, data + size));
  TMemoryStreamHandle handle = RegisterMemoryStream(stream);
  const std::string database = MemoryDatabaseName(handle);
  // Without the password the login offers a wrong one, as a user would.
  Session().OnLogin = [with_password](const std::string&, std::string& password) {
    password = with_password ? kSeedPassword : "wrong";
    return true;
  };
  try {
    // The names come from the file object directly, so that a table whose
    // header is damaged does not hide the ones behind it.
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> indexes;
    {
      TRadiVOFileIO file;
      file.Open(database, mtMemory, true, false);
      names = file.GetTableNames();
      for (int32_t t = 0; t < file.TableCount(); ++t) {
        std::vector<std::string> own;
        try {
          TTableHeader header = file.ReadTableHeader(t);
          for (int32_t i = 0; i < header.IndexCount; ++i) own.push_back(header.IndexHeaders[i].IndexName);
        } catch (const EDatabaseError&) {
        }
        indexes.push_back(own);
      }
    }
    for (size_t t = 0; t < names.size(); ++t) ReadTable(database, names[t], indexes[t]);
  } catch (const EDatabaseError&) {
  }
  UnregisterMemoryStream(handle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxImage) return 0;
  Run(data, size, true);
  Run(data, size, false);
  return 0;
}
