// Builds the JSON description of a database file through the file object.
#include "tdb/database_info.h"

#include "engine/base/codepage.h"
#include "engine/file/file_io.h"
#include "engine/format/field_types.h"
#include "engine/format/index_options.h"
#include "tdb/json.h"

namespace tdbtool {
namespace {

std::string Text(const std::string& cp1251) { return JsonQuote(tdb::Cp1251ToUtf8(cp1251)); }
const char* Flag(bool b) { return b ? "true" : "false"; }

std::string TableJson(const tdb::TTableHeader& h) {
  std::string out = "{\"name\": " + Text(h.TableName) + ", \"record_total\": " + std::to_string(h.RecordTotal) +
                    ", \"fields\": [";
  for (int32_t f = 0; f < h.FieldCount; ++f) {
    const tdb::TFieldTabItem& field = h.FieldTab[f];
    if (f) out += ", ";
    out += "{\"name\": " + Text(field.FieldName) + ", \"type\": " +
           JsonQuote(tdb::FieldTypeName(field.FieldType)) + ", \"size\": " + std::to_string(field.FieldSize) +
           ", \"process_mode\": " + std::to_string(field.ProcessMode) + "}";
  }
  out += "], \"indexes\": [";
  for (int32_t i = 0; i < h.IndexCount; ++i) {
    const tdb::TIndexHeader& index = h.IndexHeaders[i];
    if (i) out += ", ";
    out += "{\"name\": " + Text(index.IndexName) + ", \"options\": [";
    bool first = true;
    for (std::string_view option : tdb::IndexOptionNames(index.IndexOptions)) {
      out += (first ? "" : ", ") + JsonQuote(option);
      first = false;
    }
    out += "], \"fields\": [";
    for (int32_t k = 0; k < tdb::IndexKeyLength(index); ++k)
      out += (k ? ", " : "") + Text(h.FieldTab[index.IndexFields[k]].FieldName);  // checked at read
    out += "]}";
  }
  return out + "]}";
}

}  // namespace

std::string DatabaseInfoJson(const std::string& path) {
  tdb::TRadiVOFileIO file;
  file.Open(path, tdb::mtDisk, /*read_only=*/true, /*exclusive=*/false);
  const tdb::TDataProcessBlock& block = file.DataProcessBlock();
  std::string out = "{\"version\": " + Text(file.Version()) + ", \"compressed\": " + Flag(block.Compressed) +
                    ", \"encrypted\": " + Flag(block.Encrypted) + ", \"verify_writes\": " + Flag(block.VerifyWrites) +
                    ", \"compress_algorithm\": " + Text(block.Compressed ? block.CompressAlgoName : "") +
                    ", \"encrypt_algorithm\": " + Text(block.Encrypted ? block.EncryptAlgoName : "") +
                    ", \"encrypt_mode\": " + std::to_string(block.Encrypted ? block.EncryptMode : 0) +
                    (block.Encrypted ? ", \"password_note\": \"the password keeps out casual readers only: the file "
                                       "holds a check string from which its key can be derived\""
                                     : "") +
                    ", \"tables\": [";
  // The table lock keeps a writer from changing a header halfway through the read.
  file.Lock();
  try {
    for (int32_t t = 0; t < file.TableCount(); ++t) {
      if (t) out += ", ";
      out += TableJson(file.ReadTableHeader(t));
    }
  } catch (...) {
    file.Unlock();
    throw;
  }
  file.Unlock();
  return out + "]}\n";
}

}  // namespace tdbtool
