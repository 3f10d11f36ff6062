// Workload W on a PostgreSQL server, through the server table dataset as the
// program uses it, beside the engine and SQLite in register_bench.
//
// The server is a cluster given by a connection string whose role may
// create databases (bench/run starts a throwaway one); each register is a
// database of its own, made empty with the program's schema.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace server {
class TServerTable;
}
namespace tdb {
class TField;
}

namespace bench {

// The connection string of database `name` on the cluster of `cluster`.
std::string ServerDatabase(const std::string& cluster, const std::string& name);

// The receipts table of a new, empty database `name` on the cluster (an old
// one of that name is dropped first), open on "inomer".
class ServerRegister {
 public:
  ServerRegister(const std::string& cluster, const std::string& name);
  ~ServerRegister();
  ServerRegister(const ServerRegister&) = delete;
  ServerRegister& operator=(const ServerRegister&) = delete;

  const std::string& ConnInfo() const { return conninfo_; }

  // The rows of EngineRegister, the same receipts.  AppendInTransaction
  // stores them all in one transaction, their numbers as given.  Purge is the program's purge on a
  // server (one transaction, numbers in "iplatel" order).
  double Append(int64_t n);
  double AppendInTransaction(int64_t n);
  double Resort();
  double Filter(int64_t* count);
  double Locate(const std::vector<int64_t>& nomers, int64_t* found);
  double Modify(const std::vector<int64_t>& nomers, int64_t first_amount = 0);
  double Purge(int64_t* remaining, bool* renumbered_ok);
  // The status bar's total: the amounts of the whole view summed in blocks
  // of 4,096 positions, read one column at a time or, with `whole_rows`,
  // as whole rows (the dataset's general way, for comparison).
  double Total(bool whole_rows, double* sum);
  // The same sum by the server (TServerTable::ViewTotal).
  double ServerSum(double* sum);

  // Drops the database (the table closed first).
  void Drop();

 private:
  void AppendReceipts(int64_t n);

  std::string cluster_, name_, conninfo_;
  std::unique_ptr<server::TServerTable> table_;
  std::vector<tdb::TField*> fields_;
};

// Child: a fresh process connects, opens on "inomer" and reads the first 50
// rows; prints seconds and peak RSS.
int ServerOpenChild(const std::string& conninfo);

}  // namespace bench
