// The data folder as the program's home, and the choice of home.
#include "data/data_home.h"

#include <filesystem>
#include <system_error>

#include "engine/database/database.h"
#include "engine/dataset/dada_table.h"

namespace receipts {

namespace {

class Folder : public DataHome {
 public:
  std::unique_ptr<tdb::TDataSet> NewDataSet() const override { return std::make_unique<tdb::TDadaTable>(); }

  void SetTable(tdb::TDataSet& dataset, const std::string& file, const std::string& table,
                const std::string& index) const override {
    tdb::TDadaTable& t = Table(dataset);
    t.SetDatabaseName(file);
    t.SetTableName(table);
    t.SetIndexName(index);
  }

  void ClearTable(tdb::TDataSet& dataset) const override {
    tdb::TDadaTable& t = Table(dataset);
    t.Close();
    t.SetDatabaseName("");  // also empties the table and index names
  }

  void WriteThrough(tdb::TDataSet& dataset) const override {
    if (tdb::TDadaDatabase* database = Table(dataset).Database()) {
      database->SetAutoFlush(true);
      // Each change on the disk, in order, before it returns: a power cut
      // costs none that returned.
      database->FlushAfterChange = true;
    }
  }

  std::string Describe() const override {
    std::error_code error;
    return std::filesystem::current_path(error).string();
  }

 private:
  static tdb::TDadaTable& Table(tdb::TDataSet& dataset) {
    auto* table = dynamic_cast<tdb::TDadaTable*>(&dataset);
    if (!table) dataset.Error("The dataset is not one of the data folder");
    return *table;
  }
};

std::shared_ptr<const DataHome>& Current() {
  static std::shared_ptr<const DataHome> home;
  return home;
}

}  // namespace

const DataHome& FolderHome() {
  static const Folder folder;
  return folder;
}

const DataHome& Home() {
  const std::shared_ptr<const DataHome>& home = Current();
  return home ? *home : FolderHome();
}

void SetHome(std::shared_ptr<const DataHome> home) { Current() = std::move(home); }

}  // namespace receipts
