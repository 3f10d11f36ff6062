// SQLite's side of workload W.
#include "sqlite_side.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "bench_data.h"
#include "bench_measure.h"

namespace bench {
namespace {

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db));
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* get() const { return stmt_; }
  // Steps once; true for a row.
  bool Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db_));
    return false;
  }
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

std::string ColumnType(FieldValue::Kind kind) {
  switch (kind) {
    case FieldValue::kText: return "TEXT";
    case FieldValue::kMoney: return "REAL";
    default: return "INTEGER";
  }
}

sqlite3* OpenDb(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("sqlite: cannot open " + path);
  char* err = nullptr;
  if (sqlite3_exec(db, "PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY;", nullptr, nullptr, &err) != SQLITE_OK) {
    std::string message = err ? err : "pragma failed";
    sqlite3_free(err);
    sqlite3_close(db);
    throw std::runtime_error("sqlite: " + message);
  }
  return db;
}

size_t ReadRow(sqlite3_stmt* stmt) {
  size_t bytes = 0;
  for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
    const unsigned char* text = sqlite3_column_text(stmt, c);
    if (text) bytes += static_cast<size_t>(sqlite3_column_bytes(stmt, c));
  }
  return bytes;
}

}  // namespace

SqliteRegister::SqliteRegister(const std::string& path, SqliteMode mode) : db_(OpenDb(path)), mode_(mode) {}

SqliteRegister::~SqliteRegister() { sqlite3_close(db_); }

void SqliteRegister::Exec(const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::string message = err ? err : "exec failed";
    sqlite3_free(err);
    throw std::runtime_error("sqlite: " + message);
  }
}

void SqliteRegister::Begin() {
  if (mode_ == SqliteMode::kOneTransaction) Exec("BEGIN");
}

void SqliteRegister::Commit() {
  if (mode_ == SqliteMode::kOneTransaction) Exec("COMMIT");
}

void SqliteRegister::CreateSchema() {
  std::string sql = "CREATE TABLE formix(";
  const auto& fields = ReceiptFields();
  for (size_t f = 0; f < fields.size(); ++f) {
    if (f) sql += ", ";
    sql += std::string(fields[f].name) + " " + ColumnType(fields[f].kind);
  }
  sql += ");"
         "CREATE INDEX inomer ON formix(nomer);"
         "CREATE INDEX idate ON formix(DatePlat);"
         "CREATE INDEX iplatel ON formix(Platel);"
         "CREATE INDEX isumma ON formix(Summa);"
         "CREATE INDEX ipoluchat ON formix(Poluchat);";
  Exec(sql.c_str());
}

double SqliteRegister::Append(int64_t n) {
  std::string sql = "INSERT INTO formix VALUES(";
  for (size_t f = 0; f < ReceiptFields().size(); ++f) sql += f ? ",?" : "?";
  sql += ")";
  Statement insert(db_, sql.c_str());
  Stopwatch watch;
  Begin();
  for (int64_t i = 0; i < n; ++i) {
    std::vector<FieldValue> values = MakeReceipt(i);
    for (size_t f = 0; f < values.size(); ++f) {
      const FieldValue& v = values[f];
      int p = static_cast<int>(f) + 1;
      switch (v.kind) {
        case FieldValue::kText:
          sqlite3_bind_text(insert.get(), p, v.utf8.data(), static_cast<int>(v.utf8.size()), SQLITE_TRANSIENT);
          break;
        case FieldValue::kMoney: sqlite3_bind_double(insert.get(), p, v.money); break;
        default: sqlite3_bind_int64(insert.get(), p, v.integer); break;
      }
    }
    insert.Step();
    insert.Reset();
  }
  Commit();
  return watch.Seconds();
}

double SqliteRegister::Resort() {
  Statement select(db_, "SELECT * FROM formix ORDER BY Platel LIMIT 50");
  Stopwatch watch;
  Begin();
  size_t bytes = 0;
  while (select.Step()) bytes += ReadRow(select.get());
  Commit();
  return watch.Seconds();
}

double SqliteRegister::Filter(int64_t* count) {
  Statement select(db_, "SELECT COUNT(*) FROM formix WHERE slugebnoe=1");
  Stopwatch watch;
  Begin();
  *count = select.Step() ? sqlite3_column_int64(select.get(), 0) : 0;
  select.Reset();
  Commit();
  return watch.Seconds();
}

double SqliteRegister::Locate(const std::vector<int64_t>& nomers, int64_t* found) {
  Statement select(db_, "SELECT * FROM formix WHERE nomer=?");
  *found = 0;
  Stopwatch watch;
  Begin();
  for (int64_t nomer : nomers) {
    sqlite3_bind_int64(select.get(), 1, nomer);
    if (select.Step() && sqlite3_column_int64(select.get(), 0) == nomer) ++*found;
    select.Reset();
  }
  Commit();
  return watch.Seconds();
}

double SqliteRegister::Modify(const std::vector<int64_t>& nomers, int64_t first_amount) {
  Statement update(db_, "UPDATE formix SET Summa=? WHERE nomer=?");
  Stopwatch watch;
  Begin();
  for (size_t k = 0; k < nomers.size(); ++k) {
    sqlite3_bind_double(update.get(), 1, NewAmount(first_amount + static_cast<int64_t>(k)));
    sqlite3_bind_int64(update.get(), 2, nomers[k]);
    update.Step();
    update.Reset();
  }
  Commit();
  return watch.Seconds();
}

double SqliteRegister::Purge(int64_t* remaining) {
  Statement remove(db_, "DELETE FROM formix WHERE slugebnoe=1");
  Statement order(db_, "SELECT rowid FROM formix ORDER BY Platel");
  Statement update(db_, "UPDATE formix SET nomer=? WHERE rowid=?");
  Stopwatch watch;
  Begin();
  remove.Step();
  std::vector<int64_t> rows;
  while (order.Step()) rows.push_back(sqlite3_column_int64(order.get(), 0));
  order.Reset();
  for (size_t k = 0; k < rows.size(); ++k) {
    sqlite3_bind_int64(update.get(), 1, static_cast<int64_t>(k) + 1);
    sqlite3_bind_int64(update.get(), 2, rows[k]);
    update.Step();
    update.Reset();
  }
  Commit();
  double s = watch.Seconds();
  *remaining = static_cast<int64_t>(rows.size());
  return s;
}

// ---- children ----

int SqliteOpenChild(const std::string& path, SqliteMode mode) {
  Stopwatch watch;
  size_t bytes = 0;
  // The first screen: a fresh connection, the first 50 rows in nomer order.
  sqlite3* db = OpenDb(path);
  {
    if (mode == SqliteMode::kOneTransaction) sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    Statement select(db, "SELECT * FROM formix ORDER BY nomer LIMIT 50");
    while (select.Step()) bytes += ReadRow(select.get());
    if (mode == SqliteMode::kOneTransaction) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  double s = watch.Seconds();
  sqlite3_close(db);
  std::printf("%.9f %lld %zu\n", s, static_cast<long long>(PeakRssBytes()), bytes);
  return 0;
}

int SqliteMemoryChild(const std::string& path, SqliteMode mode) {
  int64_t fixed = CurrentRssBytes();
  Stopwatch watch;
  sqlite3* db = OpenDb(path);
  int64_t rows = 0;
  {
    if (mode == SqliteMode::kOneTransaction) sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    Statement select(db, "SELECT * FROM formix ORDER BY Platel");
    while (select.Step()) ++rows;
    if (mode == SqliteMode::kOneTransaction) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
  double s = watch.Seconds();
  sqlite3_close(db);
  std::printf("%.9f %lld %lld %lld\n", s, static_cast<long long>(PeakRssBytes()), static_cast<long long>(fixed),
              static_cast<long long>(rows));
  return 0;
}

}  // namespace bench
