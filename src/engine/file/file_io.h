// TRadiVOFileIO: one open database, on disk or in process memory, read and
// written as the file format lays it out.
//
// The file object is the format reader the table storage builds on: it
// checks the file header, keeps copies of the data process block and the
// table directory read at open, and reads and writes table headers (whole,
// or their counters in place), record table and index table blocks, record
// data and blob data.  It owns three parts, each in a file of its own:
//   - the medium and its lock (file_medium.h): the stream, the sharing of a
//     disk file between opens, the one-byte file lock;
//   - the change journal (change_journal.h): the old bytes that undo a
//     change that failed half-way;
//   - the value codec (value_codec.h): the compression and encryption of
//     stored values, keyed by the password.
//
// Invariants: every position and count taken from the file is checked
// before it is used; a damaged file raises EDatabaseError "Database file
// '<name>' is damaged: <what>" and nothing is read or written outside the
// medium.  Writes never start beyond the end of the medium and never grow it
// past the 2 GB that 32-bit positions can address.  While a change is under
// way every write inside the file as it was at its start has its old bytes
// in the journal first.  The copies of the data process block and the table
// directory are those of the open file.
//
// Threads: one thread at a time uses a file object, except that the encode
// and decode operations run under the codec's own mutex.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/large_memory.h"
#include "engine/file/change_journal.h"
#include "engine/file/file_medium.h"
#include "engine/file/value_codec.h"
#include "engine/file/write_back.h"
#include "engine/format/file_structures.h"

namespace tdb {

// A table's record table and an index table as read whole (large_memory.h).
using TRecordTable = std::vector<TRecordTabItem, TLargeAllocator<TRecordTabItem>>;
using TIndexTable = std::vector<TIndexTabItem, TLargeAllocator<TIndexTabItem>>;

class TRadiVOFileIO {
 public:
  TRadiVOFileIO();
  ~TRadiVOFileIO();
  TRadiVOFileIO(const TRadiVOFileIO&) = delete;
  TRadiVOFileIO& operator=(const TRadiVOFileIO&) = delete;

  // Where the lock settings come from; without a source the defaults apply.
  void SetLockSettingsSource(TLockSettingsSource source) { medium_.SetLockSettingsSource(std::move(source)); }

  // Opens a database: a disk file by path, or (mtMemory) a registered memory
  // stream by ":<hex handle>".  Opens for reading only when `read_only` is set
  // or the disk file cannot be written.  An exclusive open fails while any
  // other open of the file exists, and keeps others out while it lasts.
  // Nothing happens when already open.  On failure the object stays closed
  // and the error names the file: "Cannot open file %s", "Invalid database
  // name '%s'", "Database file '%s' is a invalid RadiVO", "Version 1.00 is not
  // compatible", "Version of database file is too High", "Cannot open file
  // %s: it is in use", or the damage error.
  void Open(const std::string& name, TRadiVOMediumType medium, bool read_only, bool exclusive);

  // Releases the lock if held and drops the medium.  Safe when closed.
  void Close();

  bool IsOpen() const { return medium_.IsOpen(); }
  const std::string& FileName() const { return medium_.Name(); }
  TRadiVOMediumType MediumType() const { return medium_.MediumType(); }
  bool Exclusive() const { return medium_.Exclusive(); }
  // Opened for reading only (by option or because the file cannot be written).
  bool ReadOnly() const { return medium_.ReadOnly(); }
  // The disk file cannot be written by this process or has no write
  // permission for anyone: the counterpart of a read-only attribute.
  bool FileIsReadOnly() const { return medium_.FileIsReadOnly(); }

  // The header's version and copies of the blocks read at open.  REQUIRE: open.
  const std::string& Version() const { return version_; }
  const TDataProcessBlock& DataProcessBlock() const { return process_block_; }
  const TTableTab& TableTab() const { return table_tab_; }

  // Disk: flushes the file's data to the disk and sets the flushed flag.
  // Memory: nothing.  REQUIRES: open.
  void Flush();
  // True after opening and after Flush(), false after any write.  Always true for memory.
  bool Flushed() const;

  // Takes the file lock on byte 1 (disk only; nothing for memory), trying
  // again after WaitTime ms until RetryCount failures (and every millisecond
  // in between; TFileMedium::Lock); then raises "Wait for unlock time out".  REQUIRES: open, not locked (the lock is never nested).
  // A read-only open takes a shared lock: it keeps writers out, not readers.
  void Lock();
  // Releases the file lock; nothing when not held.
  void Unlock();
  // Gives the lock up and takes it again, letting the file objects that wait
  // for it have their turn first (TFileMedium::Relock).  For a long run of
  // operations that holds the lock in stretches.  REQUIRES: open.
  void Relock();
  bool Locked() const { return medium_.Locked(); }

  // Whether the password gives access: false when closed, true for a
  // database without encryption.  For an encrypted file the password's check
  // string must equal the stored one; only then is the cipher keyed with it.
  bool SetPassword(std::string_view password);

  // Progress of compressing, uncompressing, encrypting and decrypting blob
  // values, as whole percentages; any may be empty.
  void SetProgressEvents(TOnProgress compress, TOnProgress uncompress, TOnProgress encrypt,
                         TOnProgress decrypt);

  // ---- table directory and table headers (REQUIRE: open) ----

  int32_t TableCount() const { return table_tab_.TableCount; }
  // The names of the tables in table-number order, as stored (Windows-1251).
  std::vector<std::string> GetTableNames();
  // Reads and checks table `table_no`'s header.  An unknown field type code
  // raises "General error"; other inconsistencies raise the damage error.
  TTableHeader ReadTableHeader(int32_t table_no);
  // Writes the whole header back.
  void WriteTableHeader(int32_t table_no, const TTableHeader& header);
  // Rewrites in place the first `count` (1 to 3) of RecTabOffset,
  // RecordTotal and AutoIncCounter from `header`.
  void WriteTableCounters(int32_t table_no, const TTableHeader& header, int count);
  // Rewrites in place AutoIncCounter alone.
  void WriteAutoIncCounter(int32_t table_no, int32_t value);

  // ---- record and index tables (REQUIRE: open) ----

  // The RecordTotal entries of the table's record table; `block_positions`
  // receives the position of every block in chain order.
  TRecordTable ReadRecordTable(const TTableHeader& header, std::vector<int32_t>& block_positions);
  // The `record_total` entries of an index's index table (empty when its
  // IndexTabOffset is 0).  Every Next is checked to be -1 or a record number.
  TIndexTable ReadIndexTable(const TIndexHeader& index, int32_t record_total,
                             std::vector<int32_t>& block_positions);
  // Single entries of a record or index table block, by block position and
  // slot (0 to 1023).
  TRecordTabItem ReadRecordTabItem(int32_t block_pos, int32_t slot);
  void WriteRecordTabItem(int32_t block_pos, int32_t slot, const TRecordTabItem& item);
  TIndexTabItem ReadIndexTabItem(int32_t block_pos, int32_t slot);
  void WriteIndexTabItem(int32_t block_pos, int32_t slot, const TIndexTabItem& item);
  // Sets the Deleted flag of a record table entry (a read, change and write
  // of its five bytes).
  void MarkDeleted(int32_t block_pos, int32_t slot);
  // Sets the next-block position of a record or index table block.
  void WriteNextBlockPos(int32_t block_pos, int32_t next);

  // ---- raw data (REQUIRE: open) ----

  // The medium's size now (another process may have grown it).
  int64_t FileSize() const;
  // The medium's stamp now (see TFileStamp): one fstat, no read of the file.
  TFileStamp Stamp() const;
  // Reads exactly dst.size() bytes at pos; the damage error when they are
  // not all inside the file.
  void ReadData(int64_t pos, std::span<uint8_t> dst) const;
  // ReadData of bytes a change is about to rewrite (a record's fixed part
  // kept at the start of an edit and compared at its Post): the medium may
  // serve them as it serves the journal's reads, from its map.
  void ReadForRewrite(int64_t pos, std::span<uint8_t> dst) const;
  // The damage error of ReadData when [pos, pos + n) is not all inside the file.
  void CheckReadable(int64_t pos, int64_t n) const;
  // Writes at pos, which must not lie beyond the end of the file.
  void WriteData(int64_t pos, std::span<const uint8_t> src);
  // Writes at the end of the file; returns the position written at.
  int32_t AppendData(std::span<const uint8_t> src);
  // Appends `size` zero bytes (a new block or area); returns their position.
  int32_t AppendZeros(size_t size);

  // ---- undoing a change that failed half-way (REQUIRE: open) ----
  // From BeginChange on, the old bytes of every write inside the file as it
  // was then are kept; bytes written beyond that end need nothing, as no
  // position reaches them once the old bytes are back.  EndChange forgets
  // them.  RollBackChange writes them back, newest first, and ends the
  // change; false when that failed too (the medium is then as the failure
  // left it).  Changes do not nest.
  void BeginChange();
  void EndChange();
  bool RollBackChange() noexcept;

  // ---- holding the writes of a stretch of appends (write_back.h) ----
  // From BeginWriteBack on, writes made while a phase is set (SetWritePhase)
  // are held in memory; reads and the file's size see them.  WriteBackOut
  // writes them to the medium phase by phase (flushing between the phases
  // when a Flush was asked for meanwhile); so does a write made without a
  // phase, before it is made, and releasing the lock or closing the file.
  // A failed WriteBackOut forgets what was held and raises; the medium then
  // reads as before the stretch (unless putting its bytes back failed too).  REQUIRES for BeginWriteBack: the lock held
  // (or a memory medium), so that no one else writes meanwhile.
  static constexpr int kWriteDirect = -1;
  void BeginWriteBack();
  void SetWritePhase(int phase) { write_phase_ = phase; }
  int WritePhase() const { return write_phase_; }
  bool WritingBack() const { return write_back_.Active(); }
  void WriteBackOut();
  // Writes out what is held (as WriteBackOut, but a failure is only
  // counted) and stops holding writes.
  void EndWriteBack() noexcept;
  // Held stretches lost because writing them out failed.
  uint64_t WriteBacksLost() const { return write_backs_lost_; }

  // The blob descriptor at `descriptor_pos`, checked against the file.
  TBlobDescriptor ReadBlobDescriptor(int64_t descriptor_pos) const;
  // The decoded value of the blob whose descriptor is at `descriptor_pos`.
  std::vector<uint8_t> ReadBlobData(int64_t descriptor_pos, bool compressed, bool encrypted);

  // ---- encoding of stored values ----
  // Buffers: n bytes from src to dst (fixed-size field values), encrypted or
  // decrypted when `encrypt` is set.  Streams: whole blob values, compressed
  // then encrypted, or decrypted then uncompressed, as the flags say.  With
  // the flags clear they copy the bytes unchanged.  Run under the object's
  // mutex; a flag whose manager has no algorithm raises "General error", an
  // unkeyed cipher "<class> is not initialized ...".
  void EncodeBuffer(const uint8_t* value, uint8_t* slot, bool encrypt, size_t n);
  void DecodeBuffer(const uint8_t* slot, uint8_t* value, bool encrypt, size_t n);
  std::vector<uint8_t> EncodeStream(std::span<const uint8_t> value, bool compress, bool encrypt);
  std::vector<uint8_t> DecodeStream(std::span<const uint8_t> stored, bool compress, bool encrypt);

 private:
  void CheckFileHeader(const TRadiVOStream& stream);
  void ReadStructures();
  void RequireOpen() const;
  // ReadData through the stream's ReadAt, or (`before_write`) its ReadBeforeWrite.
  void ReadChecked(int64_t pos, std::span<uint8_t> dst, bool before_write) const;
  void RequireWritable() const;
  [[noreturn]] void Damaged(const std::string& what) const;
  void CheckInside(int64_t pos, int64_t size, const char* what) const;
  int64_t TableHeaderPos(int32_t table_no) const;
  int64_t TabItemPos(int32_t block_pos, int32_t slot, size_t block_size, size_t item_size) const;
  void CheckTableHeader(const TTableHeader& h) const;
  // Whether [pos, pos + n) lies inside the file, held bytes included.
  bool Within(int64_t pos, int64_t n) const;

  TFileMedium medium_;
  TChangeJournal journal_;
  TValueCodec codec_;  // created with the file object and freed with it, and with it the key
  TWriteBack write_back_;
  int write_phase_ = kWriteDirect;
  bool write_back_flush_ = false;  // a Flush was asked for while writes were held
  uint64_t write_backs_lost_ = 0;

  std::string version_;
  TDataProcessBlock process_block_;
  TTableTab table_tab_;
};

}  // namespace tdb
