// TRadiVOFileIO: one open database, on disk or in process memory.
//
// The file object opens the medium, checks the file header, keeps copies of
// the data process block and the table directory, and gives the table storage
// everything it reads and writes: table headers (whole, or their counters in
// place), record table and index table blocks, record data, blob data, and
// the encoding and decoding of stored values.  It also owns the one-byte file
// lock that serialises table opens, record reads and changes between file
// objects and processes.
//
// Every position and count taken from the file is checked before it is used;
// a damaged file raises EDatabaseError "Database file '<name>' is damaged:
// <what>" and nothing is read or written outside the medium.  Writes never
// start beyond the end of the medium and never grow it past the 2 GB that
// 32-bit positions can address.
//
// Ownership: the object owns its disk stream; a memory stream is shared with
// the registry (memory_stream.h) and kept alive while open.  Threads: one
// thread at a time uses a file object, except that the encode and decode
// operations run under the object's own mutex.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file/radivo_stream.h"
#include "engine/format/file_structures.h"
#include "engine/processing/data_process_mgr.h"

namespace tdb {

class TRadiVOFileStream;
class TMemoryStream;

enum TRadiVOMediumType { mtDisk, mtMemory };

// How long Lock() keeps trying.  RetryCount 0 waits without limit.
struct TLockSettings {
  int32_t RetryCount = 20;
  int32_t WaitTime = 100;  // milliseconds between attempts
};
// Asked at every failed attempt, so that changed settings apply at once.
using TLockSettingsSource = std::function<TLockSettings()>;

// What the medium says of its last write, taken to tell cheaply whether
// anyone (another process, another file object) has written it since: two
// stamps of one file differ after any write between them, unless the later
// write fell into the same tick of the file system's clock as the one the
// first stamp saw.  A stamp taken within kStampSettleNs of its own
// modification time is therefore not `settled`: a write may still follow
// unseen, and its holder must look again at the file itself.  A memory
// stream counts its writes instead and is always settled.
struct TFileStamp {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t modified_ns = 0;  // modification time (memory: the count of writes)
  int64_t changed_ns = 0;   // status change time
  bool settled = false;
  // Whether the two stamps describe the same state of the file (`settled`
  // aside).
  bool SameAs(const TFileStamp& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified_ns == other.modified_ns && changed_ns == other.changed_ns;
  }
};
// Two seconds: the coarsest clock of a file system the files may live on
// (FAT's); local disks tick in milliseconds.
constexpr int64_t kStampSettleNs = 2'000'000'000;

// A test seam: when set, every file object opened afterwards reads, writes and
// flushes its medium through the stream the decorator returns for it, so that
// a test can make the n-th write or flush fail as a full disk or an I/O error
// does.  The returned stream lives as long as the open.  Set it only while no
// other thread opens databases; an empty function removes it.
using TStreamDecorator = std::function<std::unique_ptr<TRadiVOStream>(TRadiVOStream& medium)>;
void SetStreamDecorator(TStreamDecorator decorator);

class TRadiVOFileIO {
 public:
  TRadiVOFileIO();
  ~TRadiVOFileIO();
  TRadiVOFileIO(const TRadiVOFileIO&) = delete;
  TRadiVOFileIO& operator=(const TRadiVOFileIO&) = delete;

  // Where the lock settings come from; without a source the defaults apply.
  void SetLockSettingsSource(TLockSettingsSource source) { lock_settings_ = std::move(source); }

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

  bool IsOpen() const { return stream_ != nullptr; }
  const std::string& FileName() const { return name_; }
  TRadiVOMediumType MediumType() const { return medium_; }
  bool Exclusive() const { return exclusive_; }
  // Opened for reading only (by option or because the file cannot be written).
  bool ReadOnly() const { return read_only_; }
  // The disk file cannot be written by this process or has no write
  // permission for anyone: the counterpart of a read-only attribute.
  bool FileIsReadOnly() const { return file_is_read_only_; }

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
  // again after WaitTime ms until RetryCount failures; then raises "Wait for
  // unlock time out".  REQUIRES: open, not locked (the lock is never nested).
  // A read-only open takes a shared lock: it keeps writers out, not readers.
  void Lock();
  // Releases the file lock; nothing when not held.
  void Unlock();
  bool Locked() const { return locked_; }

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
  std::vector<TRecordTabItem> ReadRecordTable(const TTableHeader& header,
                                              std::vector<int32_t>& block_positions);
  // The `record_total` entries of an index's index table (empty when its
  // IndexTabOffset is 0).  Every Next is checked to be -1 or a record number.
  std::vector<TIndexTabItem> ReadIndexTable(const TIndexHeader& index, int32_t record_total,
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
  void OpenDisk(const std::string& name, bool read_only, bool exclusive);
  void OpenMemory(const std::string& name, bool read_only);
  void CheckFileHeader(const TRadiVOStream& stream);
  void ReadStructures();
  void ActivateProcessing();
  void RequireOpen() const;
  void RequireWritable() const;
  [[noreturn]] void Damaged(const std::string& what) const;
  // Whether [pos, pos + size) lies inside the medium.  Answers from the size
  // last seen and asks the medium only when that says no, so a read costs no
  // system call for the size; the medium never shrinks under an open file
  // object, and a read that comes back short is checked again.
  bool WithinFile(int64_t pos, int64_t size) const;
  void CheckInside(int64_t pos, int64_t size, const char* what) const;
  int64_t TableHeaderPos(int32_t table_no) const;
  int64_t TabItemPos(int32_t block_pos, int32_t slot, size_t block_size, size_t item_size) const;
  void CheckTableHeader(const TTableHeader& h) const;

  std::string name_;
  TRadiVOMediumType medium_ = mtDisk;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool file_is_read_only_ = false;
  bool locked_ = false;
  // The medium's size as last seen: after every own write and whenever a
  // check against it failed.  Never more than the real size
  // while the medium only grows.
  mutable int64_t known_size_ = 0;

  std::unique_ptr<TRadiVOFileStream> disk_;  // owned; set while a disk file is open
  std::shared_ptr<TMemoryStream> memory_;    // shared with the registry while open
  std::unique_ptr<TRadiVOStream> decorated_;  // owned; the test seam's stream over either
  TRadiVOStream* stream_ = nullptr;          // whichever of them is open

  // The change under way: the file's size at its start and the old bytes of
  // each write inside it, in write order.
  struct TUndoEntry {
    int64_t pos;
    std::vector<uint8_t> bytes;
  };
  bool in_change_ = false;
  int64_t change_start_size_ = 0;
  std::vector<TUndoEntry> undo_;

  std::string version_;
  TDataProcessBlock process_block_;
  TTableTab table_tab_;

  TLockSettingsSource lock_settings_;
  std::mutex process_mutex_;  // guards encoding and decoding and the managers below
  // Created with the file object and freed with it, and with them the key.
  std::unique_ptr<TCompressMgr> compress_mgr_;
  std::unique_ptr<TEncryptMgr> encrypt_mgr_;
};

}  // namespace tdb
