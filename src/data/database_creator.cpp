// Writes empty database files from a schema.
#include "data/database_creator.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <set>

#include "engine/base/database_error.h"
#include "engine/format/field_types.h"
#include "engine/format/file_structures.h"
#include "engine/processing/algo_registry.h"
#include "engine/processing/password_check.h"

namespace receipts {
namespace {

using tdb::DatabaseError;
using tdb::Format;

// Letter case folding of Windows-1251: Latin, Cyrillic А-Я and Ё.
std::string FoldCase(std::string_view name) {
  std::string out(name);
  for (char& ch : out) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
    else if (c >= 0xC0 && c <= 0xDF) c = static_cast<unsigned char>(c + 32);
    else if (c == 0xA8) c = 0xB8;
    ch = static_cast<char>(c);
  }
  return out;
}

void CheckName(std::string_view what, const std::string& name) {
  if (name.empty()) DatabaseError(Format("%s name is empty", {what}));
  if (name.size() > tdb::kMaxNameLength)
    DatabaseError(Format("%s name '%s' is longer than 32 bytes", {what, name}));
  if (name.find('\0') != std::string::npos) DatabaseError(Format("%s name '%s' holds a NUL byte", {what, name}));
}

void CheckUnique(std::set<std::string>& seen, std::string_view what, const std::string& name) {
  if (!seen.insert(FoldCase(name)).second) DatabaseError(Format("Duplicate %s name '%s'", {what, name}));
}

int32_t FieldNumber(const TableSchema& table, const std::string& name) {
  std::string folded = FoldCase(name);
  for (size_t i = 0; i < table.fields.size(); ++i)
    if (FoldCase(table.fields[i].name) == folded) return static_cast<int32_t>(i);
  return -1;
}

void CheckTable(const TableSchema& table) {
  CheckName("Table", table.name);
  if (table.fields.empty()) DatabaseError(Format("Table '%s' has no fields", {table.name}));
  if (table.fields.size() > static_cast<size_t>(tdb::kMaxFields))
    DatabaseError(Format("Table '%s' has more than 96 fields", {table.name}));
  if (table.indexes.size() > static_cast<size_t>(tdb::kMaxIndexes))
    DatabaseError(Format("Table '%s' has more than 8 indexes", {table.name}));
  std::set<std::string> field_names;
  for (const FieldSchema& f : table.fields) {
    CheckName("Field", f.name);
    CheckUnique(field_names, "field", f.name);
    if (!tdb::IsKnownFieldType(f.type))
      DatabaseError(Format("Field '%s' has an unknown type code %s", {f.name, std::to_string(f.type)}));
    if (tdb::IsStringFieldType(f.type) && (f.size < 1 || f.size > kMaxStringFieldSize))
      DatabaseError(Format("String field '%s' needs a size from 1 to 65535", {f.name}));
    if (f.size < 0) DatabaseError(Format("Field '%s' has a negative size", {f.name}));
  }
  std::set<std::string> index_names;
  for (const IndexSchema& x : table.indexes) {
    CheckName("Index", x.name);
    CheckUnique(index_names, "index", x.name);
    if ((x.options & ~tdb::kAllIndexOptions) != 0) DatabaseError(Format("Index '%s' has unknown options", {x.name}));
    if (x.fields.empty()) DatabaseError(Format("Index '%s' has no fields", {x.name}));
    if (x.fields.size() > static_cast<size_t>(tdb::kMaxIndexFields))
      DatabaseError(Format("Index '%s' has more than 8 fields", {x.name}));
    for (const std::string& name : x.fields)
      if (FieldNumber(table, name) < 0)
        DatabaseError(Format("Index '%s' names field '%s', which table '%s' does not have", {x.name, name, table.name}));
  }
}

tdb::TTableHeader MakeTableHeader(const TableSchema& table) {
  tdb::TTableHeader h;
  h.TableName = table.name;
  h.FieldCount = static_cast<int32_t>(table.fields.size());
  for (size_t i = 0; i < table.fields.size(); ++i) {
    const FieldSchema& f = table.fields[i];
    h.FieldTab[i] = tdb::TFieldTabItem{f.name, static_cast<uint8_t>(f.type), f.size, f.process_mode};
  }
  h.IndexCount = static_cast<int32_t>(table.indexes.size());
  for (size_t i = 0; i < table.indexes.size(); ++i) {
    const IndexSchema& x = table.indexes[i];
    tdb::TIndexHeader& ih = h.IndexHeaders[i];
    ih.IndexName = x.name;
    ih.IndexOptions = x.options;
    ih.IndexFields.fill(-1);  // -1 after the key's last field
    for (size_t k = 0; k < x.fields.size(); ++k) ih.IndexFields[k] = FieldNumber(table, x.fields[k]);
  }
  return h;
}

// Removes the temporary file unless it was moved into place.
class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  ~TempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

void WriteAll(int fd, const std::vector<uint8_t>& bytes, const std::string& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t r = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      DatabaseError(Format("Cannot write file %s: %s", {path, std::strerror(errno)}));
    }
    done += static_cast<size_t>(r);
  }
}

// Moves `from` to `to` unless `to` exists.
void MoveIntoPlace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
  if (errno == EEXIST) DatabaseError(Format("File %s already exists", {to}));
  if (errno == EINVAL || errno == ENOSYS) {
    // A file system without no-replace renames: a hard link fails on an
    // existing name just the same.
    if (::link(from.c_str(), to.c_str()) == 0) {
      ::unlink(from.c_str());
      return;
    }
    if (errno == EEXIST) DatabaseError(Format("File %s already exists", {to}));
  }
  DatabaseError(Format("Cannot create file %s: %s", {to, std::strerror(errno)}));
}

}  // namespace

namespace {

// The data process block of a new file; the names are stored as registered.
tdb::TDataProcessBlock ProcessBlockOf(const StorageOptions& storage) {
  tdb::TDataProcessBlock block;
  block.VerifyWrites = storage.verify_writes;
  if (storage.compress) {
    block.Compressed = true;
    block.CompressAlgoName = *tdb::CompressNameAt(tdb::FindCompressClass("ZLIB"));
  }
  if (!storage.cipher.empty()) {
    block.Encrypted = true;
    block.EncryptAlgoName = *tdb::EncryptNameAt(tdb::FindEncryptClass(storage.cipher));
    block.EncryptMode = static_cast<uint8_t>(storage.mode);
    block.PasswordCheck = tdb::PasswordCheckString(storage.password);
  }
  return block;
}

void CheckStorage(const StorageOptions& storage) {
  if (!storage.cipher.empty() && tdb::FindEncryptClass(storage.cipher) < 0)
    DatabaseError(tdb::Format("Encryption algorithm module '%s' not found", {storage.cipher}));
  if (storage.mode < 0 || storage.mode > 4)
    DatabaseError(tdb::Format("Cipher mode %s is not supported", {std::to_string(storage.mode)}));
}

}  // namespace

void CheckSchema(const DatabaseSchema& schema) {
  CheckStorage(schema.storage);
  if (schema.tables.size() > static_cast<size_t>(tdb::kMaxTables))
    DatabaseError("A database holds at most 256 tables");
  std::set<std::string> table_names;
  for (const TableSchema& table : schema.tables) {
    CheckTable(table);
    CheckUnique(table_names, "table", table.name);
  }
}


std::vector<uint8_t> BuildDatabaseImage(const DatabaseSchema& schema) {
  CheckSchema(schema);
  const size_t tables = schema.tables.size();
  std::vector<uint8_t> image(static_cast<size_t>(tdb::kFirstTableHeaderPos) + tables * tdb::kTableHeaderSize, 0);
  std::span<uint8_t> bytes(image);
  tdb::WriteFileHeader(tdb::TFileHeader{std::string(tdb::kFileMagic), std::string(tdb::kFileVersion)}, bytes);
  tdb::WriteDataProcessBlock(ProcessBlockOf(schema.storage), bytes.subspan(tdb::kDataProcessBlockPos));
  tdb::TTableTab tab;
  tab.TableCount = static_cast<int32_t>(tables);
  for (size_t i = 0; i < tables; ++i)
    tab.TableHeaderOffset[i] = static_cast<int32_t>(tdb::kFirstTableHeaderPos + i * tdb::kTableHeaderSize);
  tdb::WriteTableTab(tab, bytes.subspan(tdb::kTableTabPos));
  for (size_t i = 0; i < tables; ++i)
    tdb::WriteTableHeaderBytes(MakeTableHeader(schema.tables[i]),
                               bytes.subspan(static_cast<size_t>(tab.TableHeaderOffset[i])));
  return image;
}

void CreateDatabaseFile(const std::string& path, const DatabaseSchema& schema) {
  CreateDatabaseFile(path, schema, nullptr);
}

void CreateDatabaseFile(const std::string& path, const DatabaseSchema& schema,
                        const std::function<void(const std::string& temp_path)>& fill) {
  std::vector<uint8_t> image = BuildDatabaseImage(schema);
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) DatabaseError(Format("File %s already exists", {path}));

  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt > 100))
      DatabaseError(Format("Cannot create file %s: %s", {path, std::strerror(errno)}));
  }
  TempFile guard(temp);
  try {
    WriteAll(fd, image, temp);
    if (::fsync(fd) != 0) DatabaseError(Format("Cannot write file %s: %s", {temp, std::strerror(errno)}));
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0) DatabaseError(Format("Cannot write file %s: %s", {temp, std::strerror(errno)}));
  if (fill) fill(temp);
  MoveIntoPlace(temp, path);
  guard.Release();
}

}  // namespace receipts
