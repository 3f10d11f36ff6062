// Workload W on SQLite (Debian's libsqlite3), with prepared statements.
//
// Two settings: "autocommit", every statement its own transaction with
// synchronous=OFF and journal_mode=MEMORY (no fsync, like the engine by
// default); and "one transaction", each operation wrapped in BEGIN/COMMIT.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace bench {

enum class SqliteMode { kAutocommit, kOneTransaction };

class SqliteRegister {
 public:
  // Opens (creating when missing) the database at `path`.
  SqliteRegister(const std::string& path, SqliteMode mode);
  ~SqliteRegister();
  SqliteRegister(const SqliteRegister&) = delete;
  SqliteRegister& operator=(const SqliteRegister&) = delete;

  // Creates the table and its five indexes (the file must be new).
  void CreateSchema();

  double Append(int64_t n);
  double Resort();
  double Filter(int64_t* count);
  double Locate(const std::vector<int64_t>& nomers, int64_t* found);
  double Modify(const std::vector<int64_t>& nomers, int64_t first_amount = 0);
  double Purge(int64_t* remaining);

 private:
  void Exec(const char* sql);
  void Begin();
  void Commit();

  sqlite3* db_ = nullptr;
  SqliteMode mode_;
};

// Children, as on the engine's side: open (seconds, peak RSS) and memory
// (seconds, peak RSS, fixed overhead, rows).
int SqliteOpenChild(const std::string& path, SqliteMode mode);
int SqliteMemoryChild(const std::string& path, SqliteMode mode);

}  // namespace bench
