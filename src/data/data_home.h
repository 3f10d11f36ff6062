// DataHome: where the program's four tables are kept.
//
// The data folder (the current directory, one ".tdb" file per table) is the
// home unless the program chose another at start, a database server.  The
// windows take their datasets from Home() and never learn which one it is:
// they see tdb::TDataSet, its view (index, filter, Locate, rows by position)
// and its changes.
//
// Home() is process-wide: the program sets it once at start, before it
// creates any window; tests set it around the windows they build.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "engine/dataset/currency.h"
#include "engine/dataset/dataset.h"

namespace receipts {

class DataHome {
 public:
  virtual ~DataHome() = default;

  // A new dataset of this home, closed, over no table yet.
  virtual std::unique_ptr<tdb::TDataSet> NewDataSet() const = 0;
  // Points a closed dataset of this home at the table `table` kept in the
  // data folder's file `file` (a server keeps it under its table name) and
  // orders it by `index`.  Open() then opens it.
  virtual void SetTable(tdb::TDataSet& dataset, const std::string& file, const std::string& table,
                        const std::string& index) const = 0;
  // Closes the dataset and forgets its table.
  virtual void ClearTable(tdb::TDataSet& dataset) const = 0;
  // Every change of the open dataset reaches the stored table at once, not
  // at a later flush (the data folder writes its file through).
  virtual void WriteThrough(tdb::TDataSet& /*dataset*/) const {}
  // What a purge did: records removed, kept records whose number changed.
  struct PurgeCount {
    int removed = 0;
    int renumbered = 0;
  };
  // Removes the records marked for deletion from the open dataset's table
  // and numbers the rest 1, 2, 3 in the dataset's current order (the whole
  // table, whatever the filter), as one change that is stored whole or not
  // at all; the last record is current afterwards.  Nothing when this home
  // has no such change: the caller then deletes and renumbers record by
  // record.
  virtual std::optional<PurgeCount> PurgeMarked(tdb::TDataSet& /*dataset*/) const { return std::nullopt; }
  // The sum of the amount field at `field` over the open dataset's whole
  // view, when this home can give it without reading the rows (a server
  // sums under the view's filter); nothing when the caller must read the
  // values (ReadValues).
  virtual std::optional<tdb::TCurrency> ViewTotal(tdb::TDataSet& /*dataset*/, int /*field*/) const {
    return std::nullopt;
  }
  // Where the data lives, as a clerk reads it: the folder or the server.
  virtual std::string Describe() const = 0;
  // Whether the tables are on a database server (what the clerk is told
  // differs: rights come from the server's administrator, not a file's).
  virtual bool OnServer() const { return false; }
};

// The data folder: the table datasets over the files of the current directory.
const DataHome& FolderHome();

// The program's home: FolderHome() until SetHome gives another.
const DataHome& Home();
// Null returns to the data folder.  Datasets made before keep their home.
void SetHome(std::shared_ptr<const DataHome> home);

}  // namespace receipts
