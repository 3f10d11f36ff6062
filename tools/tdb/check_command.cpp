// tdb check: verifies the structure of every table of a database file and
// lists each problem found on a line of its own.
#include <cstring>
#include <optional>
#include <ostream>
#include <span>
#include <vector>

#include "engine/base/byte_order.h"
#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/compare/value_compare.h"
#include "engine/file/file_io.h"
#include "engine/format/field_types.h"
#include "engine/format/index_options.h"
#include "tdb/file_args.h"
#include "engine/repair/raw_table.h"
#include "tdb/table_commands.h"

namespace tdbtool {
namespace {

using namespace tdb;

// Records met that a problem names, at most this many per kind and index.
constexpr int kMaxListed = 10;

class TTableChecker : public TRawTable {
 public:
  TTableChecker(TRadiVOFileIO& file, int32_t table_no, std::vector<std::string>& problems)
      : TRawTable(file, table_no), problems_(problems) {}

  void Run() {
    try {
      ReadHeader();
    } catch (const EDatabaseError& e) {
      Problem(e.what());
      return;
    }
    try {
      std::vector<int32_t> blocks;
      records_ = file_.ReadRecordTable(header_, blocks);
    } catch (const EDatabaseError& e) {
      Problem(std::string("record table: ") + e.what());
      return;
    }
    for (size_t n = 0; n < records_.size(); ++n)
      if (!records_[n].Deleted) CheckRecord(static_cast<int32_t>(n));
    for (int32_t i = 0; i < header_.IndexCount; ++i) CheckIndex(i);
  }

 private:
  void Problem(const std::string& what) { problems_.push_back("table '" + name_ + "': " + what); }

  void CheckRecord(int32_t n) {
    int64_t pos = records_[static_cast<size_t>(n)].DataOffset;
    std::string rec = "record " + std::to_string(n);
    if (pos < kFirstTableHeaderPos || pos + record_size_ > file_.FileSize()) {
      Problem(rec + ": data position " + std::to_string(pos) + " outside the file");
      bad_records_.push_back(n);
      return;
    }
    std::vector<uint8_t> data(static_cast<size_t>(record_size_));
    file_.ReadData(pos, data);
    for (int32_t f = 0; f < header_.FieldCount; ++f) {
      const TFieldTabItem& field = header_.FieldTab[static_cast<size_t>(f)];
      const uint8_t* slot = data.data() + offsets_[static_cast<size_t>(f)];
      std::string where = rec + " field " + Cp1251ToUtf8(field.FieldName);
      if (IsStringFieldType(field.FieldType) && !Encrypted(f)) {
        size_t size = static_cast<size_t>(sizes_[static_cast<size_t>(f)]);
        const void* nul = std::memchr(slot, 0, size);
        if (!nul) {
          Problem(where + ": string without its NUL");
        } else {
          for (const uint8_t* p = static_cast<const uint8_t*>(nul); p < slot + size; ++p)
            if (*p) {
              Problem(where + ": bytes after the NUL are not zero");
              break;
            }
        }
      }
      if (IsBlobFieldType(field.FieldType)) {
        TBlobDescriptor blob = ReadBlobDescriptor(std::span<const uint8_t>(slot, kBlobDescriptorSize));
        int64_t end = static_cast<int64_t>(blob.BlobOffset) + blob.AreaSize;
        if (blob.BlobSize < 0 || blob.AreaSize <= blob.BlobSize || blob.AreaSize % 64 != 0)
          Problem(where + ": blob of " + std::to_string(blob.BlobSize) + " bytes in an area of " +
                  std::to_string(blob.AreaSize));
        else if (blob.BlobOffset < kFirstTableHeaderPos || end > file_.FileSize())
          Problem(where + ": blob area at " + std::to_string(blob.BlobOffset) + " outside the file");
      }
    }
  }

  void CheckIndex(int32_t i) {
    const TIndexHeader& index = header_.IndexHeaders[static_cast<size_t>(i)];
    std::string where = "index " + Cp1251ToUtf8(index.IndexName);
    int32_t total = header_.RecordTotal;
    if (total == 0) return;
    if (index.IndexTabOffset == 0) {
      Problem(where + ": no index table for " + std::to_string(total) + " records");
      return;
    }
    tdb::TIndexTable items;
    try {
      std::vector<int32_t> blocks;
      items = file_.ReadIndexTable(index, total, blocks);
    } catch (const EDatabaseError& e) {
      Problem(where + ": " + e.what());
      return;
    }
    int listed = 0;
    for (int32_t n = 0; n < total; ++n)
      if (items[static_cast<size_t>(n)].RecIndex != n && listed++ < kMaxListed)
        Problem(where + ": entry " + std::to_string(n) + " names record " + std::to_string(items[static_cast<size_t>(n)].RecIndex));
    std::vector<bool> seen(static_cast<size_t>(total), false);
    int32_t previous = -1;
    int out_of_order = 0;
    int32_t n = index.StartIndex;
    for (int32_t links = 0; n != -1 && links < total; ++links) {
      if (n < 0 || n >= total) {
        Problem(where + ": chain leads to record " + std::to_string(n));
        break;
      }
      if (seen[static_cast<size_t>(n)]) {
        Problem(where + ": chain loops at record " + std::to_string(n));
        break;
      }
      seen[static_cast<size_t>(n)] = true;
      if (!records_[static_cast<size_t>(n)].Deleted && !IsBad(n)) {
        if (previous >= 0 && CompareRecords(index, previous, n) > 0 && out_of_order++ < kMaxListed)
          Problem(where + ": record " + std::to_string(n) + " stands before a smaller key (behind record " +
                  std::to_string(previous) + ")");
        previous = n;
      }
      n = items[static_cast<size_t>(n)].Next;
    }
    int missing = 0;
    for (int32_t r = 0; r < total; ++r)
      if (!records_[static_cast<size_t>(r)].Deleted && !seen[static_cast<size_t>(r)]) {
        if (missing < kMaxListed) Problem(where + ": record " + std::to_string(r) + " is not in the chain");
        ++missing;
      }
    if (missing > kMaxListed) Problem(where + ": " + std::to_string(missing - kMaxListed) + " more records not in the chain");
  }

  bool IsBad(int32_t n) const {
    for (int32_t b : bad_records_)
      if (b == n) return true;
    return false;
  }

  std::vector<std::string>& problems_;
  std::vector<int32_t> bad_records_;
};

}  // namespace

int CheckCommand(const std::vector<std::string>& args, std::ostream& out) {
  const TFileArgs parsed = ParseFileArgs(args);
  const std::string& path = parsed.path;
  const std::string& password = parsed.password;
  const bool has_password = parsed.has_password;
  TRadiVOFileIO file;
  file.Open(path, mtDisk, true, false);
  if (has_password && !file.SetPassword(password)) DatabaseError("Invalid password");
  std::vector<std::string> problems;
  file.Lock();  // no change in the middle of the check
  try {
    for (int32_t t = 0; t < file.TableCount(); ++t) TTableChecker(file, t, problems).Run();
  } catch (...) {
    file.Unlock();
    throw;
  }
  file.Unlock();
  for (const std::string& p : problems) out << p << "\n";
  return problems.empty() ? 0 : 1;
}

}  // namespace tdbtool
