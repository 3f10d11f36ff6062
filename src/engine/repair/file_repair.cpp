// Repair of a database file: drops the records that were never written whole
// and rebuilds every index chain from the records that are.
#include "engine/repair/file_repair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <span>

#include "engine/base/byte_order.h"
#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/compare/value_compare.h"
#include "engine/file/file_io.h"
#include "engine/format/field_types.h"
#include "engine/format/index_options.h"
#include "engine/repair/raw_table.h"

namespace tdb {
namespace {

// Copies `path` to a new file beside it and returns the copy's name.  The
// copy is on the disk before anything of the original is changed.
std::string CopyBeside(const std::string& path) {
  int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    TErrorParams params = FileParams(path);
    params.Open = ofOther;
    params.SystemError = errno;
    DatabaseError(ekCannotOpen, Format("Cannot open file %s: %s", {path, std::strerror(errno)}), params);
  }
  std::string copy;
  int out = -1;
  for (int n = 0; out < 0 && n < 1000; ++n) {
    copy = path + ".bak" + (n ? "." + std::to_string(n) : "");
    out = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0 && errno != EEXIST) break;
  }
  if (out < 0) {
    const int error = errno;
    ::close(in);
    TErrorParams params = FileParams(path);
    params.SystemError = error;
    DatabaseError(error == ENOSPC || error == EDQUOT ? ekDiskFull : ekIoFailure,
                  Format("Cannot create a copy of %s: %s", {path, std::strerror(error)}), params);
  }
  char buf[65536];
  bool ok = true;
  int error = 0;
  for (;;) {
    ssize_t r = ::read(in, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      ok = r == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < r;) {
      ssize_t w = ::write(out, buf + done, static_cast<size_t>(r - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        error = errno;
      } else {
        done += w;
      }
    }
    if (!ok) break;
  }
  if (ok && ::fsync(out) != 0) {
    ok = false;
    error = errno;
  }
  ::close(in);
  if (::close(out) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(copy.c_str());
    TErrorParams params = FileParams(copy);
    params.SystemError = error;
    DatabaseError(error == ENOSPC || error == EDQUOT ? ekDiskFull : ekIoFailure,
                  Format("Cannot write the copy %s", {copy}), params);
  }
  return copy;
}

// The repairs one table needs, found first and made afterwards.
class TTableRepair : public TRawTable {
 public:
  TTableRepair(TRadiVOFileIO& file, int32_t table_no) : TRawTable(file, table_no) { sound_blob_areas_ = true; }

  // Reads the table and works out its repairs; raises when the table cannot
  // be repaired (its header or record table is damaged).
  void Plan() {
    ReadHeader();
    try {
      records_ = file_.ReadRecordTable(header_, rec_blocks_);
    } catch (const EDatabaseError& e) {
      DatabaseError(ekDamaged, "table '" + name_ + "': its record table cannot be repaired: " + e.what(),
                    TableParams(file_.FileName(), header_.TableName));
    }
    for (size_t n = 0; n < records_.size(); ++n)
      if (!records_[n].Deleted && !Whole(static_cast<int32_t>(n))) dropped_.push_back(static_cast<int32_t>(n));
    for (int32_t n : dropped_) records_[static_cast<size_t>(n)].Deleted = true;
    for (int32_t i = 0; i < header_.IndexCount; ++i) PlanIndex(i);
  }

  bool NeedsRepair() const {
    if (!dropped_.empty()) return true;
    for (const TIndexPlan& p : indexes_)
      if (p.changed) return true;
    return false;
  }

  // The table's outcome; Kept counts the live records once planned.
  TTableRepairResult Result() const {
    TTableRepairResult result;
    result.Table = header_.TableName;
    result.Dropped = dropped_;
    for (const TRecordTabItem& r : records_)
      if (!r.Deleted) ++result.Kept;
    return result;
  }

  void Repair(std::vector<std::string>& lines) {
    for (int32_t n : dropped_) {
      file_.MarkDeleted(rec_blocks_[static_cast<size_t>(n) / kTabItemsPerBlock], n % kTabItemsPerBlock);
      lines.push_back("table '" + name_ + "': dropped record " + std::to_string(n) + ", which was never written whole");
    }
    bool header_changed = false;
    for (int32_t i = 0; i < header_.IndexCount; ++i) {
      TIndexPlan& p = indexes_[static_cast<size_t>(i)];
      if (!p.changed) continue;
      TIndexHeader& index = header_.IndexHeaders[static_cast<size_t>(i)];
      if (p.blocks.empty()) p.blocks = NewBlocks();
      for (size_t b = 0; b < p.blocks.size(); ++b) {
        std::vector<uint8_t> items(kIndexTabBlockSize - 4, 0);
        for (int32_t k = 0; k < kTabItemsPerBlock; ++k) {
          size_t n = b * kTabItemsPerBlock + static_cast<size_t>(k);
          if (n >= p.next.size()) break;
          PutInt32LE(&items[static_cast<size_t>(k) * kIndexTabItemSize], static_cast<int32_t>(n));
          PutInt32LE(&items[static_cast<size_t>(k) * kIndexTabItemSize + 4], p.next[n]);
        }
        file_.WriteData(static_cast<int64_t>(p.blocks[b]) + 4, items);
      }
      index.IndexTabOffset = p.blocks.empty() ? 0 : p.blocks[0];
      index.StartIndex = p.start;
      header_changed = true;
      lines.push_back("table '" + name_ + "': index " + Cp1251ToUtf8(index.IndexName) + " rebuilt from " +
                      std::to_string(p.live) + " records");
    }
    if (header_changed) file_.WriteTableHeader(table_no_, header_);
  }

 private:
  struct TIndexPlan {
    std::vector<int32_t> blocks;  // the index table's blocks; empty: new ones are needed
    std::vector<int32_t> next;    // the Next of every record's entry
    int32_t start = 0;
    int32_t live = 0;
    bool changed = false;
  };

  // Whether record n's fixed part and blob areas lie inside the file and
  // every value of it can be read.
  bool Whole(int32_t n) {
    int64_t pos = records_[static_cast<size_t>(n)].DataOffset;
    if (pos < kFirstTableHeaderPos || pos + record_size_ > file_.FileSize()) return false;
    for (int32_t f = 0; f < header_.FieldCount; ++f)
      if (!FieldValue(n, f)) return false;
    return true;
  }

  void PlanIndex(int32_t i) {
    const TIndexHeader& index = header_.IndexHeaders[static_cast<size_t>(i)];
    const int32_t total = header_.RecordTotal;
    TIndexPlan plan;
    TIndexTable items;
    if (total > 0 && index.IndexTabOffset != 0) {
      try {
        items = file_.ReadIndexTable(index, total, plan.blocks);
      } catch (const EDatabaseError&) {
        plan.blocks.clear();
        items.clear();
      }
    }
    // The old chain's order of the live records, then those it missed.
    std::vector<int32_t> order;
    std::vector<bool> seen(static_cast<size_t>(total), false);
    if (!items.empty()) {
      int32_t n = index.StartIndex;
      for (int32_t links = 0; n >= 0 && n < total && links < total && !seen[static_cast<size_t>(n)]; ++links) {
        seen[static_cast<size_t>(n)] = true;
        if (!records_[static_cast<size_t>(n)].Deleted) order.push_back(n);
        n = items[static_cast<size_t>(n)].Next;
      }
    }
    for (int32_t n = 0; n < total; ++n)
      if (!records_[static_cast<size_t>(n)].Deleted && !seen[static_cast<size_t>(n)]) order.push_back(n);
    std::stable_sort(order.begin(), order.end(),
                     [&](int32_t a, int32_t b) { return CompareRecords(index, a, b) < 0; });
    plan.live = static_cast<int32_t>(order.size());
    plan.next.assign(static_cast<size_t>(total), -1);
    for (size_t k = 0; k + 1 < order.size(); ++k) plan.next[static_cast<size_t>(order[k])] = order[k + 1];
    plan.start = order.empty() ? 0 : order[0];
    if (total == 0) {
      plan.changed = false;
    } else if (items.empty()) {
      plan.changed = true;
    } else {
      // Unchanged when the old chain already reads the same: the same live
      // records in the same order from the same start.
      std::vector<int32_t> old_order;
      std::vector<bool> met(static_cast<size_t>(total), false);
      int32_t n = index.StartIndex;
      for (int32_t links = 0; n >= 0 && n < total && links < total && !met[static_cast<size_t>(n)]; ++links) {
        met[static_cast<size_t>(n)] = true;
        if (!records_[static_cast<size_t>(n)].Deleted) old_order.push_back(n);
        n = items[static_cast<size_t>(n)].Next;
      }
      bool entries_sound = true;
      for (int32_t r = 0; r < total; ++r)
        if (items[static_cast<size_t>(r)].RecIndex != r) entries_sound = false;
      plan.changed = old_order != order || !entries_sound;
    }
    indexes_.push_back(std::move(plan));
  }

  // A new chain of zero-filled index table blocks for RecordTotal entries.
  std::vector<int32_t> NewBlocks() {
    size_t count = (static_cast<size_t>(header_.RecordTotal) + kTabItemsPerBlock - 1) / kTabItemsPerBlock;
    std::vector<int32_t> blocks;
    for (size_t b = 0; b < count; ++b) {
      blocks.push_back(file_.AppendZeros(kIndexTabBlockSize));
      if (b > 0) file_.WriteNextBlockPos(blocks[b - 1], blocks[b]);
    }
    return blocks;
  }

  std::vector<int32_t> rec_blocks_;
  std::vector<int32_t> dropped_;
  std::vector<TIndexPlan> indexes_;
};

}  // namespace

TRepairResult RepairDatabaseFile(const std::string& path, const std::string* password) {
  TRadiVOFileIO file;
  file.Open(path, mtDisk, false, true);
  if (file.ReadOnly()) DatabaseError(ekReadOnly, Format("File %s is read-only", {path}), FileParams(path));
  if (file.DataProcessBlock().Encrypted) {
    // Keys are compared by their values, which only the password reveals.
    if (!password)
      DatabaseError(ekWrongPassword, Format("File %s is encrypted: its password is needed to repair it", {path}),
                    FileParams(path));
    if (!file.SetPassword(*password)) DatabaseError(ekWrongPassword, "Invalid password", FileParams(path));
  }
  TRepairResult result;
  file.Lock();
  try {
    std::vector<TTableRepair> tables;
    for (int32_t t = 0; t < file.TableCount(); ++t) {
      tables.emplace_back(file, t);
      tables.back().Plan();
      result.Tables.push_back(tables.back().Result());
    }
    if (std::any_of(tables.begin(), tables.end(), [](const TTableRepair& r) { return r.NeedsRepair(); })) {
      result.Backup = CopyBeside(path);
      for (TTableRepair& r : tables)
        if (r.NeedsRepair()) r.Repair(result.Lines);
      file.Flush();
      result.Repaired = true;
    }
  } catch (...) {
    file.Unlock();
    throw;
  }
  file.Unlock();
  return result;
}

}  // namespace tdb
