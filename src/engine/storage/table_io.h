// TDadaTableIO: the storage of one table of an open database.
//
// The database creates one object per table over its file object and shares
// it between the datasets that open the table.  The first OpenTable loads the
// table under the file lock: its definitions, the record table, list 0 (every
// live record in record-number order) and one list per index (every live
// record in key order, built by following the index chain on disk).  The
// lists hold (DataOffset, RecIndex) pairs and no keys: a key comparison reads
// the compared field's slot from the file, except where a search finds the
// key among the few it keeps per index (key_cache.h) for the entries that
// every binary search probes.
//
// Changes (AppendRecord, ModifyRecord, DeleteRecord) run under the file lock,
// released in every case.  Other processes (and other file objects on the
// same file) change the table between our changes, so before a change writes
// anything it makes sure, under the lock, that the file still is what the
// change relies on, and loads the table again when it is not:
//   - the table's header (record count, record table, auto-increment
//     counter, index tables, chain heads) equals the copy in memory: every
//     append by another shows there;
//   - the records it rewrites or deletes are not deleted on disk;
//   - in every index chain it relinks, the neighbours it takes from its
//     lists are neighbours on disk (the first live, only deleted records
//     between them, in a unique index both live), and the key it puts
//     between them sorts between their keys as they are stored now.
// A rewrite or a deletion by another process shows in none of the header's
// fields, and checking the whole table before every change would cost a pass
// over it; these checks cost a few small reads per index, and they are
// enough: every live record is on its chain, what a chain reaches is in key
// order (deleted records too, until a relink cuts them out) and its unique
// keys are distinct, so a record linked behind a live neighbour and before
// the next one reached, whose keys enclose its own, keeps the chain in
// order, and a key equal to a unique one can only be equal to one of two
// live neighbours.  The lists may thus lag behind the
// file between changes (a view of the table shows other processes' rewrites
// and deletions when it is loaded again), but no change is ever made from a
// stale part of them.  Each load caused by another process moves
// ExternalChangeCount().
//
// Order of writes: an append writes its new blocks and the record first,
// then the record count, then the chain links; a rewrite writes its blob
// areas, then the fixed part, then the links.  Cut short by a killed
// process, the file reads as before the change (or with the record missing
// from some index chains), never as garbage.  With the flush flag, the file
// is flushed between these steps as well as at the end (inside a change
// batch, at the end of the batch's stretch: TChangeBatch), so that the same
// holds after a power loss at any moment, once `tdb repair` has rebuilt the
// chains.
//
// List invariants, kept by every change and restored by every load:
//   list 0 ascends by RecIndex and holds exactly the records not Deleted;
//   list i + 1 holds the same records in the order of index i's chain.
//
// Ownership: the file object belongs to the database and must outlive this
// object; the definitions and lists belong to this object, and references to
// them stay valid until the CloseTable that closes the table (a list's
// content changes with every change and reload; the list object does not).
// Threads: one thread at a time (the database's user).
//
// The code lives in one file per role, each opening with what it owns:
//   table_io.cpp         opens and closes, definitions, list positions;
//   table_io_load.cpp    loading, and keeping in step with other writers;
//   table_io_read.cpp    reading records and values, read runs and plans;
//   table_io_search.cpp  keys, the kept keys and the binary searches;
//   table_io_checks.cpp  what a change checks on disk, uniqueness;
//   table_io_write.cpp   append, rewrite, delete and their undo;
//   table_io_blobs.cpp   blob areas and their verification;
//   table_io_chains.cpp  index chain entries and relinking a moved record.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/compare/value_compare.h"
#include "engine/file/file_io.h"
#include "engine/storage/field_buffers.h"
#include "engine/storage/key_cache.h"
#include "engine/storage/record_list.h"
#include "engine/storage/table_defs.h"

namespace tdb {

// The dataset's view of the changes to the lists.
struct TIndexAdjustCallback {
  virtual ~TIndexAdjustCallback() = default;
  // An append: first (-1, -1, item) for record order, then once per index
  // with the position the item is about to take in that index's list.
  virtual void IndexAdjustAppend(int32_t index_no, int32_t position, const TListItem& item) = 0;
  // A rewrite that moved the record in index `index_no`: `new_position` is
  // counted in the list that still holds the record at `old_position`.
  virtual void IndexAdjustModify(int32_t index_no, int32_t old_position, int32_t new_position) = 0;
};

// Side flags of the searches.
constexpr int32_t kSearchEmpty = -2;    // the list is empty
constexpr int32_t kSearchSmaller = -1;  // the key sorts before the entry at Position
constexpr int32_t kSearchEqual = 0;
constexpr int32_t kSearchGreater = 1;   // the key sorts after the entry at Position

struct TSearchResult {
  int32_t Position = -1;
  int32_t Side = kSearchEmpty;
};

// A record as stored when an edit of it began: its fixed part and the stored
// bytes of its blobs, byte for byte.  A rewrite based on it is made only
// while the record is still stored so (see ModifyRecord).
struct TRecordImage {
  int32_t RecIndex = -1;  // -1: no image
  std::vector<uint8_t> Fixed;
  // Per blob field, in field order; none for a blob that cannot be read
  // (its failure is the field's to report when it is loaded).
  std::vector<std::optional<std::vector<uint8_t>>> Blobs;
  bool Empty() const { return RecIndex < 0; }
  void Clear() {
    RecIndex = -1;
    Fixed.clear();
    Blobs.clear();
  }
};

// A new record's number, checked where the record is stored: when field
// `FieldNo` (an integer field) still holds `Offered`, it gets the highest
// value any record of the table holds + 1, unless `Offered` is above that
// (free, and what the user was shown).  `Stored` receives the value stored.
struct TNewNumber {
  int32_t FieldNo = -1;
  int32_t Offered = 0;
  int32_t Stored = 0;
};

class TDadaTableIO {
 public:
  TDadaTableIO(TRadiVOFileIO& file, std::string table_name = {});
  TDadaTableIO(const TDadaTableIO&) = delete;
  TDadaTableIO& operator=(const TDadaTableIO&) = delete;

  const std::string& TableName() const { return table_name_; }
  // Used by the next first open.
  void SetTableName(std::string name) { table_name_ = std::move(name); }

  // Counts an open; the first loads the table.  Raises "Table '%s' not
  // found", "General error" for an unknown field type, the damage error of
  // the file object for a damaged table, or "Wait for unlock time out".
  // kAllLists builds every index list now (and checks every chain);
  // kListsOnDemand builds list 0 now and an index's list when it is first
  // needed (IndexLists, LoadIndexList, a change), so a damaged chain of an
  // index is reported by the operation that first needs that index.
  enum class TListLoading { kAllLists, kListsOnDemand };
  void OpenTable(TListLoading loading = TListLoading::kAllLists);
  // Counts a close; the last drops definitions and lists.  Never below 0.
  void CloseTable();
  int32_t OpenCount() const { return open_count_; }
  bool IsOpen() const { return open_count_ > 0; }
  // -1 until opened.
  int32_t TableNo() const { return table_no_; }

  // ---- definitions and layout (REQUIRE: open) ----
  const TDadaFieldDefs& FieldDefs() const { return field_defs_; }
  const TDadaIndexDefs& IndexDefs() const { return index_defs_; }
  int32_t RecordSize() const { return record_size_; }
  const std::vector<int32_t>& FieldOffsets() const { return field_offsets_; }
  // Slot size of each field.
  int32_t SlotSize(int32_t field_no) const { return slot_sizes_[static_cast<size_t>(field_no)]; }
  int32_t AutoIncFieldNo() const { return auto_inc_field_no_; }
  const TTableHeader& Header() const { return header_; }
  // Number of the first index with tiPrimary, or -1.
  int32_t PrimaryIndexNo() const;
  // Whether the field's stored value is encrypted / compressed.
  bool FieldEncrypted(int32_t field_no) const;
  bool FieldCompressed(int32_t field_no) const;

  // ---- lists (REQUIRE: open) ----
  // List 0 (record order) or index + 1, built first when it is not yet.
  // REQUIRES: 0 <= list_no <= index count.
  const TRecordList& IndexLists(int32_t list_no) const;
  // Counts every change of the lists: each load or reload (at open, when
  // another process had changed the table, after a change that failed),
  // append, rewrite and deletion.  A view copied from a list while the count
  // was c follows that list position for position while the count stays c;
  // the callbacks of a change run before the count moves on.
  uint64_t ChangeCount() const { return change_count_; }
  // Counts the loads of the table made because the file was found changed
  // by another process or file object (before a change, or at a load with
  // the reload flag), and loads after a load that failed.  Anything derived
  // from stored values (a cache of decoded keys) must be dropped when it
  // moves.  Such a cache may serve the searches that pick a change's
  // position, but never the checks that a change relies on: those read the
  // file.
  uint64_t ExternalChangeCount() const { return external_change_count_; }
  // Makes sure list `list_no` exists (built from the file under the file
  // lock when it does not); with `reload` the table is first brought up to
  // date with the file.
  void LoadIndexList(int32_t list_no, bool reload);
  // Position in list 0 of the entry at `pos` of `list`, or -1.
  int32_t RecordPosOfIndexPos(const TRecordList& list, int32_t pos) const;
  // Position in `target` of the record at `pos` of list index_no + 1 (-1
  // for list 0); `pos` itself when target is that list; -1 when absent.
  int32_t ListPosToListPos(int32_t index_no, int32_t pos, const TRecordList& target) const;

  // ---- records (REQUIRE: open; buffers hold one item per field) ----

  // Adds a record from the active items: unique check, auto-increment (the
  // new value is written back into the buffer), strings cut to FieldSize in
  // the buffers, the record, list 0, every index list and chain.  Raises
  // "Invalid unique field value '%s'" with nothing written.  With `number`,
  // the record's number is settled first, under the same hold of the file
  // lock as the append (TNewNumber), and written into the buffer.
  void AppendRecord(TFieldBuffers& buffers, bool flush, TIndexAdjustCallback* callback,
                    TNewNumber* number = nullptr);
  // Rewrites the active fields of the record at `record_pos` of list 0 and
  // moves it in every index whose key changed.  With `based_on` (taken by
  // ReadRecordForEdit of this record) the rewrite is made only when the
  // record is stored as it was then: otherwise it raises, writing nothing,
  // "Record %s of table '%s' was changed by another user", or "... was
  // deleted by another user" when it is gone.
  void ModifyRecord(TFieldBuffers& buffers, int32_t record_pos, TIndexAdjustCallback* callback, bool flush,
                    const TRecordImage* based_on = nullptr);
  // Marks the record at `record_pos` of list 0 deleted and drops it from every list.
  void DeleteRecord(int32_t record_pos, bool flush);
  // Fills the active items from the record at `pos` of `list`: values into
  // the buffers (a string always ends with a NUL inside its buffer), blob
  // streams pointed at their descriptors to load on first use.  The first
  // read after a rewrite of this object's, when it is of that record, takes
  // the fixed part as the rewrite stored it (what a read under the lock
  // right after it would have found) instead of reading the file.
  void ReadRecord(TFieldBuffers& buffers, const TRecordList& list, int32_t pos);
  // ReadRecord of every active field at the start of an edit, and `image`
  // of the record as stored (the same bytes; read without the file lock
  // unless the table has blobs, see ModifyRecord's check).  Raises
  // "Record %s of table '%s' was deleted by another user" when the record is
  // no longer stored.
  void ReadRecordForEdit(TFieldBuffers& buffers, const TRecordList& list, int32_t pos, TRecordImage& image);
  // The highest value field `field_no` (an integer field) holds in any record
  // of the table, read from the file under its lock; 0 for an empty table.
  int32_t HighestValue(int32_t field_no);
  // Whether the file may have changed since the table was last loaded (it
  // was written since, by anyone, or too recently to tell); when it has, the
  // table is loaded again and this answers true.  Cheap otherwise: one hold
  // of the file lock and the file's stamp.
  bool ReloadIfFileChanged();
  // A run of ReadRecord calls (a filter's pass over a view) that shares the
  // file lock instead of taking it for every record: the lock is taken at
  // the first read and given up every kReadsPerLock reads, to be taken again
  // after those who wait for it have had it (TRadiVOFileIO::Relock), so every
  // read still happens under it and other processes wait no longer than for
  // about one stretch of reads.  Ended (and the lock released) by EndReadRun or by the
  // TReadRun going out of scope.
  static constexpr int32_t kReadsPerLock = 256;
  // ReadRecord reads the active fields slot by slot when there are at most
  // this many (blob fields aside) of at most this many bytes together.
  static constexpr size_t kSlotReadFields = 4;
  static constexpr size_t kSlotReadBytes = 256;
  class TReadRun {
   public:
    explicit TReadRun(TDadaTableIO& table) : table_(table) { table_.read_run_.Begin(); }
    ~TReadRun() { table_.EndReadRun(); }
    TReadRun(const TReadRun&) = delete;
    TReadRun& operator=(const TReadRun&) = delete;

   private:
    TDadaTableIO& table_;
  };
  void EndReadRun();

  // A run of changes (a purge's deletions and rewrites, a tool's appends)
  // that holds the file lock over a stretch of changes instead of taking it
  // for each: the lock is taken when the batch begins, and a stretch ends
  // right after its kChangesPerLock-th change, when the lock is given up and
  // taken again, at once unless others wait for it; then after they have
  // had it (TRadiVOFileIO::Relock), so that a batch of any length keeps them
  // waiting no longer than about a stretch.  Whatever the caller
  // reads between two changes (a look at a record before deciding to delete
  // it) is read under the same hold of the lock as the change after it, so
  // no other process can change the record between the look and the change.
  // Every change inside a batch is a change of its own, with its own checks
  // against the file and its own order of writes, except that the writes of
  // appends are held in memory (TRadiVOFileIO::BeginWriteBack) and reach the
  // file together: at the stretch's end, at the batch's end, or before the
  // next change that is not an append, always before the lock is given up,
  // so other processes never see a stretch in part.  They are written in
  // the order of writes of an append, for all the held appends at once: the
  // new records and blocks, then the record count, then the links.  A batch
  // cut short by a killed process thus leaves every change it completed,
  // except the appends still held, which are there all of them or none (or,
  // cut while their links were written, with records missing from some index
  // chains, which `tdb repair` rebuilds); of the change under way nothing, or
  // what a single change would leave.  When writing held appends out fails,
  // the file is put back as it was before them, the table is loaded again,
  // and the failure is raised by the change or the Finish() that wrote them
  // out, or (at a stretch's end) by the next change or Finish().
  //
  // Flushing: a change made with the flush flag inside a batch is not
  // flushed at its end; the stretch is flushed once, when it ends (before
  // the lock is given up) and when the batch ends.  The flushes that order a
  // change's own writes stay (an append's record before its record count,
  // the count before a new chain head; a rewrite's new blob areas before the
  // descriptors that lead to them).  After a power loss every stretch that
  // had ended is on the disk whole; of the stretch under way each change
  // reads as before it or after it (or with the record missing from some
  // index chains, which `tdb repair` rebuilds), as a single change cut by a
  // power loss does, but a later change of that stretch may be on the disk
  // and an earlier one not.  Held appends are flushed between the steps of
  // their order of writes (three flushes for all of them).
  //
  // Finish() ends the batch and raises when the last flush fails; a batch
  // that ends by going out of scope (a failure under way) flushes as well,
  // but cannot report it.  Batches do not nest.
  static constexpr int32_t kChangesPerLock = 256;
  class TChangeBatch {
   public:
    explicit TChangeBatch(TDadaTableIO& table, int32_t changes_per_lock = kChangesPerLock) : table_(table) {
      table_.BeginBatch(changes_per_lock);
    }
    ~TChangeBatch() {
      if (!finished_) table_.EndBatch();
    }
    TChangeBatch(const TChangeBatch&) = delete;
    TChangeBatch& operator=(const TChangeBatch&) = delete;
    // Flushes what the batch's changes left unflushed and releases the lock
    // (also when the flush raises).
    void Finish() {
      finished_ = true;
      table_.FinishBatch();
    }

   private:
    TDadaTableIO& table_;
    bool finished_ = false;
  };
  bool InBatch() const { return batch_.Active(); }
  // A pass that reads the same few fields of many records (a filter's):
  // which slots to read, and where their values go, worked out once for
  // `buffers` (whose items and buffers must stay as they are while the plan
  // is used).  Empty when ReadRecord would read the fixed part whole or a
  // blob field is active; ReadRecord then serves.
  struct TReadPlan {
    struct TSlot {
      int32_t offset = 0;     // in the fixed part
      int32_t size = 0;       // slot size
      uint8_t* dst = nullptr;  // the item's value bytes
      int32_t data_size = 0;  // the item's size
      bool encrypted = false;
      bool is_string = false;
    };
    std::vector<TSlot> reads;  // not "slots": a macro of Qt's
    bool usable = false;
  };
  TReadPlan PlanRead(const TFieldBuffers& buffers) const;
  // ReadRecord of the planned fields: the same values, the same checks.
  void ReadPlanned(const TReadPlan& plan, const TRecordList& list, int32_t pos);
  // The decoded stored value of a field of record `record_no`: the slot's
  // bytes, or the blob's content.
  std::vector<uint8_t> ReadFieldValue(int32_t record_no, int32_t field_no) const;

  // ---- searches (REQUIRE: open; `list` ordered by index `index_no`) ----

  // Binary search of `key` (items of the key fields; the first
  // `key_field_count` of them, 0 for all) in `list`.
  TSearchResult SearchIndex(const TFieldBuffers& key, const TRecordList& list, bool partial,
                            int32_t key_field_count, int32_t index_no) const;
  // Same, continuing to the first (`first`) or last equal entry.
  TSearchResult SearchIndexBound(const TFieldBuffers& key, const TRecordList& list, bool partial,
                                 int32_t key_field_count, int32_t index_no, bool first) const;
  // The first and the last entry whose whole key equals `key`; both the
  // first search's result when none does.  A key held by one entry costs one
  // search and one comparison with the entry behind it.
  struct TSearchRun {
    TSearchResult First;
    TSearchResult Last;
  };
  TSearchRun SearchIndexRun(const TFieldBuffers& key, const TRecordList& list, int32_t index_no) const;

  // The searches keep the decoded keys of the entries they probe most (the
  // first depths of the binary search), at most this many bytes per index,
  // so that most comparisons read nothing from the file.  The kept keys
  // follow this object's own changes and are dropped whenever the table is
  // loaded again (another writer changed it); the checks a change relies on
  // always read the file, and an equal key found through a kept one is read
  // again before it is reported.
  static constexpr size_t kKeyCacheBudget = size_t{4} << 20;
  // Memory the kept keys take now, over all indexes.
  size_t KeyCacheBytes() const;

  // Typed comparison of a key value with a stored value of one field type.
  static int CompareKeyValue(const void* key, const void* stored, bool partial, bool case_insensitive,
                             TFieldType type) {
    return tdb::CompareKeyValue(key, stored, type, partial, case_insensitive);
  }

 private:
  // Internal types (table_key.h; TChangeHold in table_io_write.cpp).
  class TKey;
  struct TGap;
  struct TLockHold;
  struct TChangeHold;

  // ---- table_io.cpp: the frame ----
  void RequireOpen() const;
  void CheckBuffers(const TFieldBuffers& buffers) const;
  int32_t CheckedRecordPos(int32_t record_pos) const;
  int32_t FindInList0(int32_t rec_index) const;
  int32_t FindInIndexList(int32_t index_no, const TListItem& item) const;

  // ---- table_io_load.cpp: loading and keeping in step with the file ----
  void LoadTable(TListLoading loading);
  // Reads the record table and builds list 0 and every index list built so far.
  void LoadRecordsAndLists();
  // Builds list `list_no` when it is not built yet; EnsureAllLists every list.
  void EnsureList(int32_t list_no);
  void EnsureAllLists();
  void BuildIndexList(int32_t index_no, TRecordList& list);
  void DropTable();
  // Under the file lock: reloads when the header on disk differs, or when
  // the last load failed.  True when it did.
  bool SyncWithFile();
  // Under the file lock: loads the header, the record table and the lists
  // again because another writer changed the file.  When that fails the
  // table stays out of step, and the next SyncWithFile loads again.
  void ReloadForOtherWriter();
  // After a change failed and its writes could not be put back.
  void ReloadAfterFailedChange() noexcept;

  // ---- table_io_read.cpp: reads ----
  // Takes the file lock for one read: into `lock` alone, or for a stretch of
  // a read run.
  void LockForRead(std::optional<TLockHold>& lock);
  // Copies a slot's value (decrypted) into an item's buffer of `data_size`
  // bytes; a string without its NUL is ended inside the buffer.
  void StoreSlotValue(const uint8_t* slot, size_t size, bool encrypted, bool is_string, uint8_t* dst,
                      int32_t data_size);
  void ReadSlot(int32_t data_offset, int32_t field_no, uint8_t* value) const;
  // The stored bytes of every blob of the record at `data_offset`, in field
  // order.
  std::vector<std::optional<std::vector<uint8_t>>> StoredBlobs(int32_t data_offset) const;
  // HighestValue under the lock, from the lists as they are.
  int32_t HighestStored(int32_t field_no) const;

  // ---- table_io_search.cpp: keys and searches ----
  TKey KeyFromBuffers(const TFieldBuffers& buffers, int32_t index_no, int32_t key_field_count,
                      int32_t fallback_offset) const;
  TKey StoredKey(int32_t data_offset, int32_t index_no) const;
  int CompareWithEntry(const TKey& key, const TListItem& entry, int32_t index_no, bool partial) const;
  // CompareWithEntry for a search's probe at `depth`: through the kept key
  // when there is one (`kept` set) or the probe is shallow enough to keep
  // what it reads (below `keep_depth`).
  int CompareProbe(const TKey& key, const TListItem& entry, int32_t index_no, bool partial, int32_t depth,
                   int32_t keep_depth, bool& kept) const;
  // The kept keys of index `index_no` ready for a search of `list`: the depth
  // below which probes are kept, or 0 when they are not.
  int32_t PrepareKeyCache(int32_t index_no, const TRecordList& list) const;
  // A record's key changed or the record left: its kept keys go.
  void ForgetKeys(int32_t rec_index) const;
  void ClearKeyCaches() const;
  TSearchResult Search(const TKey& key, const TRecordList& list, int32_t index_no, bool partial,
                       bool use_cache = true) const;
  TSearchResult SearchBound(const TKey& key, const TRecordList& list, int32_t index_no, bool partial,
                            bool first) const;
  int32_t InsertPosition(const TKey& key, const TRecordList& list, int32_t index_no) const;
  // The insert position with its neighbours and the comparisons with them
  // that the search made.
  TGap FindGap(const TKey& key, const TRecordList& list, int32_t index_no) const;

  // ---- table_io_checks.cpp: what a change relies on, read from the file (under the lock) ----
  // Whether record `rec_index` is not marked deleted on disk.
  bool LiveOnDisk(int32_t rec_index) const;
  // The first record behind `from` (-1: the chain's head) on the chain of
  // index `index_no` on disk that is not `skip` and not known deleted: -1 at
  // the chain's end, kBrokenChain when the chain leaves the table or loops.
  // `from_entry`, when given, receives the index table entry of `from`.
  static constexpr int32_t kBrokenChain = -2;
  int32_t NextOnDisk(int32_t index_no, int32_t from, int32_t skip, TIndexTabItem* from_entry) const;
  // Whether the gap between the records `before` (live) and `after` (-1:
  // the chain's head or end) of index `index_no` is a gap on disk (nothing
  // but deleted records and `skip` between them; in a unique index `after`
  // live too), and `key` sorts into it by the values stored now.
  bool GapOnDisk(int32_t index_no, const TKey& key, TGap& gap, int32_t skip) const;
  // Raises "Invalid unique field value" when index `index_no` is unique and
  // `key` equals a neighbour of `gap` (a gap that GapOnDisk has accepted, or
  // one found in lists loaded under this lock).
  void CheckUnique(const TKey& key, int32_t index_no, TGap& gap) const;
  // The errors of a rewrite or deletion whose record another writer changed.
  [[noreturn]] void RaiseDeletedByOther(int32_t rec_index) const;
  [[noreturn]] void RaiseChangedByOther(int32_t rec_index) const;

  // ---- table_io_write.cpp: the changes and the values as stored ----
  // Grouped changes: BatchLock comes before a change's own TLockHold, and a
  // TBatchStep (table_io_write.cpp) from there to the change's end.
  struct TBatchStep;
  void BeginBatch(int32_t changes_per_lock);
  void EndBatch() noexcept;
  void FinishBatch();
  // `appending`: the change is an append, whose writes the stretch holds;
  // any other change first writes out what the stretch holds.
  void BatchLock(bool appending = false);
  // Ends the batch's stretch when it is full: writes it out, flushes it when
  // due, gives up the lock and takes it again.
  void EndStretchIfFull();
  // Writes out the stretch's held appends; when that fails, loads the table
  // again and raises.
  void WriteOutStretch();
  // Raises the failure of a stretch's write-out that could not be raised
  // where it happened.
  void RaiseLostStretch();
  // A change made with the flush flag is done: flushed now, or at the end of
  // the batch's stretch.
  void FlushChange(bool flush);
  void CutStrings(TFieldBuffers& buffers) const;
  void EncodeSlot(const TFieldBufferItem* item, int32_t field_no, uint8_t* slot);
  // Reads into `before` (record_size_ bytes) the slots of the record at
  // `data_offset` that a rewrite from `buffers` keeps or compares: one read of
  // the fixed part, or the few slots alone when they are small.
  static constexpr size_t kOldSlotReadBytes = 512;
  void ReadOldSlots(const TFieldBuffers& buffers, int32_t data_offset, std::vector<uint8_t>& before) const;
  // Whether a rewrite from the fixed part `before` to `after` of the record
  // at `data_offset` can change the key of index `index_no` (false when every
  // key field compares equal).
  bool KeyMayChange(int32_t index_no, const TFieldBuffers& buffers, int32_t data_offset,
                    const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) const;
  // Whether the blob item holds, untouched, the value stored for field
  // `field_no` of the record at `data_offset`; a rewrite then leaves it be.
  bool BlobUnchanged(const TFieldBufferItem& item, int32_t data_offset, int32_t field_no) const;
  // The key a rewrite gives index `index_no`: the key fields of the new
  // fixed part `record`, blob values from `buffers` or as stored.
  TKey KeyOfNewRecord(const std::vector<uint8_t>& record, const TFieldBuffers& buffers, int32_t data_offset,
                      int32_t index_no) const;

  // ---- table_io_blobs.cpp: blob areas ----
  TBlobDescriptor WriteNewBlob(std::span<const uint8_t> value, int32_t field_no);
  TBlobDescriptor RewriteBlob(std::span<const uint8_t> value, int32_t field_no, const TBlobDescriptor& old);
  void WriteBlobArea(int64_t pos, std::span<const uint8_t> value, std::vector<uint8_t>& encoded,
                     int32_t area_size, int32_t field_no);

  // ---- table_io_chains.cpp: the index chains on disk ----
  TIndexTabItem ReadChainEntry(int32_t index_no, int32_t rec_index) const;
  void WriteChainEntry(int32_t index_no, const TIndexTabItem& item);
  void SetStartIndex(int32_t index_no, int32_t rec_index);
  // Moves a rewritten record to its new place in every index list and chain
  // whose old position is given (not -1): `among_others[i]` is its new
  // position in the list without it.
  void MoveInIndexes(const TListItem& target, const std::vector<int32_t>& old_positions,
                     const std::vector<int32_t>& among_others, TIndexAdjustCallback* callback);

  TRadiVOFileIO& file_;  // the database's, not owned
  std::string table_name_;
  int32_t open_count_ = 0;
  uint64_t change_count_ = 0;
  uint64_t external_change_count_ = 0;
  bool in_step_ = true;  // false after a load that failed: the next change loads again
  TFileStamp loaded_stamp_;  // the file's stamp when the table was last loaded
  int32_t table_no_ = -1;

  TDadaFieldDefs field_defs_;
  TDadaIndexDefs index_defs_;
  std::vector<int32_t> field_offsets_;
  std::vector<int32_t> slot_sizes_;
  int32_t record_size_ = 0;
  int32_t max_slot_size_ = 0;
  int32_t auto_inc_field_no_ = -1;
  bool has_blobs_ = false;

  TTableHeader header_;                             // kept equal to the file's after every change
  TRecordTable rec_tab_;                            // RecordTotal entries
  std::vector<int32_t> rec_blocks_;                 // record table blocks in chain order
  std::vector<std::vector<int32_t>> index_blocks_;  // per index, its blocks in chain order
  std::vector<std::unique_ptr<TRecordList>> lists_;  // list 0, then one per index
  std::vector<bool> built_;                          // per list: built and kept current

  // The file lock over a stretch of operations (a read run's reads, a change
  // batch's changes): taken before the first, given up and taken again after
  // every `per_lock` operations, and released at End.  Taken again, it is
  // first left to those who wait for it (TRadiVOFileIO::Relock), so that a
  // run of any length keeps nobody waiting longer than about one stretch.  A
  // lock held already (by the other kind of stretch) serves as it is.
  class TStretchLock {
   public:
    explicit TStretchLock(int32_t per_lock) : per_lock_(per_lock) {}
    bool Active() const { return active_; }
    void Begin(int32_t per_lock) {
      active_ = true;
      holds_ = false;
      count_ = 0;
      per_lock_ = per_lock > 0 ? per_lock : 1;
    }
    void Begin() { Begin(per_lock_); }
    // Before each operation of the stretch.
    void Take(TRadiVOFileIO& file) {
      if (Full() && file.Locked()) {
        holds_ = false;
        file.Relock();
        holds_ = true;
        count_ = 0;
      }
      if (!file.Locked()) {
        file.Lock();
        holds_ = true;
        count_ = 0;
      }
      ++count_;
    }
    // Takes the lock (when not held) without counting an operation.
    void Hold(TRadiVOFileIO& file) {
      if (file.Locked()) return;
      file.Lock();
      holds_ = true;
      count_ = 0;
    }
    // This stretch holds the lock and has had its operations.
    bool Full() const { return holds_ && count_ >= per_lock_; }
    // Gives up the lock this stretch holds and takes it again: a new stretch.
    void Restart(TRadiVOFileIO& file) {
      count_ = 0;
      if (!holds_) return;
      holds_ = false;
      if (file.Locked()) file.Relock();
      else file.Lock();
      holds_ = true;
    }
    void End(TRadiVOFileIO& file) {
      if (holds_ && file.Locked()) file.Unlock();
      holds_ = false;
      active_ = false;
      count_ = 0;
    }

   private:
    int32_t per_lock_;
    bool active_ = false;
    bool holds_ = false;  // this stretch took the lock and holds it
    int32_t count_ = 0;   // operations since it last took the lock
  };
  TStretchLock read_run_{kReadsPerLock};  // active inside a TReadRun
  TStretchLock batch_{kChangesPerLock};   // active inside a TChangeBatch
  bool batch_flush_due_ = false;          // a change of the batch awaits its flush
  std::exception_ptr lost_stretch_;       // a stretch's write-out failed; not yet told
  std::vector<uint8_t> record_scratch_;         // a fixed part as read by ReadRecord
  // The fixed part the last rewrite stored, for the read that follows it
  // (ReadRecord); RecIndex -1 once any read has come after it.
  struct TJustWritten {
    int32_t RecIndex = -1;
    int32_t DataOffset = 0;
    uint64_t Change = 0;  // change_count_ once the rewrite was made
    std::vector<uint8_t> Fixed;
  } just_written_;
  mutable std::vector<uint8_t> scratch_raw_;    // a slot as read, for comparisons
  mutable std::vector<uint8_t> scratch_value_;  // the same slot decoded
  mutable std::vector<TKeyCache> key_caches_;   // per index
  std::vector<bool> key_fields_;                // per field: part of some index's key
};

}  // namespace tdb
