// Small shared vocabulary of the dataset framework: states, fetch modes and
// results, data events and bookmarks.
#pragma once

#include <cstdint>

namespace tdb {

// The state of a dataset; it decides which buffer field access uses.
enum TDataSetState {
  dsInactive,    // closed
  dsBrowse,      // open, showing the current record
  dsEdit,        // changing the current record
  dsInsert,      // filling a new record
  dsSetKey,      // entering range or search keys
  dsCalcFields,  // computing calculated fields
  dsFilter,      // testing a record against a filter
  dsNewValue,
  dsOpening,     // while the cursor is opened
};

enum TGetMode { gmCurrent, gmNext, gmPrior };

// How Locate compares keys.
enum TLocateOption : uint8_t { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = uint8_t;
enum TGetResult { grOK, grBOF, grEOF, grError };

// What the dataset tells its data sources (and through them bound controls).
enum TDataEvent {
  deFieldChange,      // a field of the current record changed (info: the field)
  deRecordChange,     // the current record's values changed as a whole
  deDataSetChange,    // the content or order changed: reread everything shown
  deDataSetScroll,    // the current record moved (info: distance, 0 unknown)
  deLayoutChange,     // fields were added or removed
  deUpdateRecord,     // write pending edits into the fields now (before a post)
  deUpdateState,      // the state changed
  deCheckBrowseMode,  // about to leave the current record
  deViewRowChange,    // one row of the view changed (info: const TViewChange*)
};

// One row of a dataset's view that changed through a post or a delete of
// this dataset.  Announced after the change has completed: the view, the
// storage and the dataset's state are all in step when it arrives.
struct TViewChange {
  enum Kind {
    kInserted,  // a row now stands at `position`; rows from there on moved down by one
    kRemoved,   // the row at `position` is gone; the rows behind it moved up by one
    kMoved,     // the row at `position` now stands at `to` (both in the view as it is now)
    kChanged,   // the row at `position` kept its place but its values changed
  } kind;
  int position;
  int to = 0;
};

// A bookmark is a record's number: it identifies the record for its whole life.
using TBookmark = int32_t;

}  // namespace tdb
