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
#include <string>

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
  // Where the data lives, as a clerk reads it: the folder or the server.
  virtual std::string Describe() const = 0;
};

// The data folder: the table datasets over the files of the current directory.
const DataHome& FolderHome();

// The program's home: FolderHome() until SetHome gives another.
const DataHome& Home();
// Null returns to the data folder.  Datasets made before keep their home.
void SetHome(std::shared_ptr<const DataHome> home);

}  // namespace receipts
