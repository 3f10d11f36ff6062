// Workload W on a PostgreSQL server, through the server table dataset as the
// program would use it: the rows of register_bench for the server.
//   server_bench --server CONNINFO [--n N]
// The server's four tables must exist and be empty (bench/run starts a
// throwaway cluster and creates them).  Prints one line per row:
// "server ROW seconds microseconds-per-item".
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_data.h"
#include "bench_measure.h"
#include "engine/base/database_error.h"
#include "engine/dataset/currency.h"
#include "engine/dataset/field.h"
#include "server/server_home.h"
#include "server/server_schema.h"
#include "server/server_table.h"

using bench::FieldValue;
using bench::Stopwatch;

namespace {

std::unique_ptr<server::TServerTable> Open(const std::string& conninfo, const std::string& index) {
  auto t = std::make_unique<server::TServerTable>(std::make_shared<server::ServerConnection>(conninfo));
  t->SetTableName("formix");
  server::UseReceiptNumbering(*t);
  t->SetIndexName(index);
  t->Open();
  return t;
}

void ReadScreen(server::TServerTable& t, int rows) {
  size_t bytes = 0;
  t.First();
  for (int r = 0; r < rows && !t.Eof(); ++r, t.Next())
    for (int f = 0; f < t.FieldCount(); ++f) bytes += t.Field(f).AsString().size();
  if (bytes == 0) std::fprintf(stderr, "server: empty screen\n");
}

void Row(const char* name, double seconds, int64_t items) {
  std::printf("server %-8s %10.3f s %10.1f us\n", name, seconds, items ? seconds * 1e6 / static_cast<double>(items) : 0);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::string conninfo;
  int64_t n = 100'000;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--server") == 0) conninfo = argv[i + 1];
    if (std::strcmp(argv[i], "--n") == 0) n = std::atoll(argv[i + 1]);
  }
  if (conninfo.empty()) {
    std::fprintf(stderr, "usage: server_bench --server CONNINFO [--n N]\n");
    return 2;
  }
  try {
    auto t = Open(conninfo, "inomer");
    std::vector<tdb::TField*> fields;
    for (const bench::ReceiptField& f : bench::ReceiptFields()) fields.push_back(&t->FieldByName(f.name));
    {
      Stopwatch watch;
      for (int64_t i = 0; i < n; ++i) {
        std::vector<FieldValue> values = bench::MakeReceipt(i);
        t->Append();
        for (size_t f = 0; f < values.size(); ++f) {
          const FieldValue& v = values[f];
          switch (v.kind) {
            case FieldValue::kText: fields[f]->SetAsString(v.cp1251); break;
            case FieldValue::kInteger: fields[f]->SetAsInteger(static_cast<int32_t>(v.integer)); break;
            case FieldValue::kMoney: fields[f]->SetAsCurrency(tdb::TCurrency::FromDouble(v.money)); break;
            case FieldValue::kDate: fields[f]->SetAsDateTime(bench::DayToDateTime(v.integer)); break;
            case FieldValue::kBool: fields[f]->SetAsBoolean(v.integer != 0); break;
          }
        }
        t->Post();
      }
      Row("append", watch.Seconds(), n);
    }
    t->Connection().Exec("VACUUM ANALYZE formix");
    {
      // The first screen of a fresh process: connect, open on "inomer", 50 rows.
      int pipe_fds[2];
      if (pipe(pipe_fds) != 0) return 1;
      pid_t pid = fork();
      if (pid == 0) {
        close(pipe_fds[0]);
        Stopwatch watch;
        auto fresh = Open(conninfo, "inomer");
        ReadScreen(*fresh, 50);
        double s = watch.Seconds();
        if (write(pipe_fds[1], &s, sizeof s) != sizeof s) _exit(1);
        _exit(0);
      }
      close(pipe_fds[1]);
      double s = -1;
      if (read(pipe_fds[0], &s, sizeof s) != sizeof s) s = -1;
      close(pipe_fds[0]);
      waitpid(pid, nullptr, 0);
      Row("open", s, 50);
    }
    {
      Stopwatch watch;
      t->SetIndexName("iplatel");
      ReadScreen(*t, 50);
      Row("resort", watch.Seconds(), 50);
      t->SetIndexName("inomer");
    }
    {
      Stopwatch watch;
      t->SetFilter("slugebnoe=true");
      t->SetFiltered(true);
      const int count = t->RecordCount();
      Row("filter", watch.Seconds(), n);
      t->SetFiltered(false);
      std::fprintf(stderr, "server: %d marked\n", count);
    }
    const std::vector<int64_t> nomers = bench::RandomNomers(n, 10'000, 1);
    {
      Stopwatch watch;
      int64_t found = 0;
      for (int64_t nomer : nomers) found += t->Locate("nomer", {tdb::TVariant(nomer)}, 0) ? 1 : 0;
      Row("locate", watch.Seconds(), static_cast<int64_t>(nomers.size()));
      if (found != static_cast<int64_t>(nomers.size())) std::fprintf(stderr, "server: %lld found\n", (long long)found);
    }
    {
      tdb::TField& summa = t->FieldByName("Summa");
      Stopwatch watch;
      int64_t k = 0;
      for (int64_t nomer : nomers) {
        t->Locate("nomer", {tdb::TVariant(nomer)}, 0);
        t->Edit();
        summa.SetAsCurrency(tdb::TCurrency::FromDouble(bench::NewAmount(k++)));
        t->Post();
      }
      Row("modify", watch.Seconds(), static_cast<int64_t>(nomers.size()));
    }
    {
      t->SetIndexName("iplatel");
      Stopwatch watch;
      t->PurgeMarked();
      Row("purge", watch.Seconds(), t->RecordCount());
    }
  } catch (const tdb::EDatabaseError& e) {
    std::fprintf(stderr, "server_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
