// The server's side of workload W.
#include "server_side.h"

#include <cstdio>

#include "bench_data.h"
#include "bench_measure.h"
#include "dataset_rows.h"
#include "engine/dataset/currency.h"
#include "engine/dataset/field.h"
#include "server/server_home.h"
#include "server/server_schema.h"
#include "server/server_table.h"

namespace bench {

namespace {

std::unique_ptr<server::TServerTable> OpenReceipts(const std::string& conninfo) {
  auto t = std::make_unique<server::TServerTable>(std::make_shared<server::ServerConnection>(conninfo));
  t->SetTableName("formix");
  server::UseReceiptNumbering(*t);
  t->SetIndexName("inomer");
  t->Open();
  return t;
}

}  // namespace

std::string ServerDatabase(const std::string& cluster, const std::string& name) {
  const size_t at = cluster.rfind("dbname=");
  return (at == std::string::npos ? cluster + " " : cluster.substr(0, at)) + "dbname=" + name;
}

ServerRegister::ServerRegister(const std::string& cluster, const std::string& name)
    : cluster_(cluster), name_(name), conninfo_(ServerDatabase(cluster, name)) {
  {
    server::ServerConnection admin(cluster_);
    admin.Exec("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    admin.Exec("CREATE DATABASE " + name_);
  }
  {
    server::ServerConnection owner(conninfo_);
    server::CreateSchema(owner);
  }
  table_ = OpenReceipts(conninfo_);
  for (const ReceiptField& field : ReceiptFields()) fields_.push_back(&table_->FieldByName(field.name));
}

ServerRegister::~ServerRegister() = default;

void ServerRegister::Drop() {
  fields_.clear();
  table_.reset();
  server::ServerConnection admin(cluster_);
  admin.Exec("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
}

void ServerRegister::AppendReceipts(int64_t n) {
  server::TServerTable& t = *table_;
  for (int64_t i = 0; i < n; ++i) {
    std::vector<FieldValue> values = MakeReceipt(i);
    t.Append();
    for (size_t f = 0; f < values.size(); ++f) {
      const FieldValue& v = values[f];
      switch (v.kind) {
        case FieldValue::kText: fields_[f]->SetAsString(v.cp1251); break;
        case FieldValue::kInteger: fields_[f]->SetAsInteger(static_cast<int32_t>(v.integer)); break;
        case FieldValue::kMoney: fields_[f]->SetAsCurrency(tdb::TCurrency::FromDouble(v.money)); break;
        case FieldValue::kDate: fields_[f]->SetAsDateTime(DayToDateTime(v.integer)); break;
        case FieldValue::kBool: fields_[f]->SetAsBoolean(v.integer != 0); break;
      }
    }
    t.Post();
  }
}

double ServerRegister::Append(int64_t n) {
  Stopwatch watch;
  AppendReceipts(n);
  const double s = watch.Seconds();
  // The planner's figures of the full table, as a server's routine keeps them.
  table_->Connection().Exec("VACUUM ANALYZE formix");
  return s;
}

double ServerRegister::AppendInTransaction(int64_t n) {
  // The numbers stored as given (the receipts' own, the same as a new
  // number would be), as a copy of a data folder stores them: each number
  // taken in one long transaction would update formix_numbers' one row
  // once more, and the server walks every version of that row the
  // transaction left, so the appends would grow with their square.
  table_->AssignNumbers = false;
  Stopwatch watch;
  table_->Connection().InTransaction([&] { AppendReceipts(n); });
  const double s = watch.Seconds();
  table_->AssignNumbers = true;
  return s;
}

double ServerRegister::Resort() { return TimeResort(*table_, "server"); }

double ServerRegister::Filter(int64_t* count) { return TimeFilterCount(*table_, count); }

double ServerRegister::Locate(const std::vector<int64_t>& nomers, int64_t* found) {
  return TimeLocates(*table_, nomers, found);
}

double ServerRegister::Modify(const std::vector<int64_t>& nomers, int64_t first_amount) {
  return TimeModifies(*table_, *fields_[18], nomers, first_amount);
}

double ServerRegister::Total(bool whole_rows, double* sum) {
  server::TServerTable& t = *table_;
  const int field = t.FieldByName("Summa").FieldNo() - 1;
  *sum = 0;
  Stopwatch watch;
  const int count = t.RecordCount();
  for (int first = 0; first < count; first += 4096) {
    const std::vector<tdb::TVariant> values =
        whole_rows ? t.tdb::TDataSet::ReadValues(first, 4096, field) : t.ReadValues(first, 4096, field);
    for (const tdb::TVariant& v : values)
      if (const double* amount = std::get_if<double>(&v)) *sum += *amount;
  }
  return watch.Seconds();
}

double ServerRegister::ServerSum(double* sum) {
  server::TServerTable& t = *table_;
  Stopwatch watch;
  const std::optional<tdb::TCurrency> total = t.ViewTotal(t.FieldByName("Summa").FieldNo() - 1);
  const double s = watch.Seconds();
  *sum = total ? total->ToDouble() : -1;
  return s;
}

double ServerRegister::Purge(int64_t* remaining, bool* renumbered_ok) {
  server::TServerTable& t = *table_;
  t.SetIndexName("iplatel");
  Stopwatch watch;
  t.PurgeMarked();
  const double s = watch.Seconds();
  *remaining = t.RecordCount();
  tdb::TField& nomer = t.FieldByName("nomer");
  int32_t expect = 0;
  bool ok = true;
  for (t.First(); !t.Eof() && ok; t.Next()) ok = nomer.AsInteger() == ++expect;
  *renumbered_ok = ok && expect == t.RecordCount();
  t.SetIndexName("inomer");
  return s;
}

int ServerOpenChild(const std::string& conninfo) {
  Stopwatch watch;
  std::unique_ptr<server::TServerTable> t = OpenReceipts(conninfo);
  const size_t bytes = ReadScreen(*t, 50, "server");
  const double s = watch.Seconds();
  std::printf("%.9f %lld %zu\n", s, static_cast<long long>(PeakRssBytes()), bytes);
  return 0;
}

}  // namespace bench
