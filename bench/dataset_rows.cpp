// The rows every home runs alike (see dataset_rows.h).
#include "dataset_rows.h"

#include <cstdio>

#include "bench_data.h"
#include "bench_measure.h"
#include "engine/dataset/currency.h"
#include "engine/dataset/field.h"
#include "engine/dataset/variant.h"

namespace bench {

size_t ReadScreen(tdb::TDataSet& t, int rows, const char* side) {
  size_t bytes = 0;
  t.First();
  for (int r = 0; r < rows && !t.Eof(); ++r, t.Next())
    for (int f = 0; f < t.FieldCount(); ++f) bytes += t.Field(f).AsString().size();
  if (bytes == 0) std::fprintf(stderr, "%s: empty screen\n", side);
  return bytes;
}

double TimeResort(tdb::TDataSet& t, const char* side) {
  Stopwatch watch;
  t.SetIndexName("iplatel");
  ReadScreen(t, 50, side);
  const double s = watch.Seconds();
  t.SetIndexName("inomer");
  return s;
}

double TimeFilterCount(tdb::TDataSet& t, int64_t* count) {
  Stopwatch watch;
  t.SetFilter("slugebnoe=true");
  t.SetFiltered(true);
  *count = t.RecordCount();
  const double s = watch.Seconds();
  t.SetFiltered(false);
  t.SetFilter("");
  return s;
}

double TimeLocates(tdb::TDataSet& t, const std::vector<int64_t>& nomers, int64_t* found) {
  *found = 0;
  Stopwatch watch;
  for (int64_t nomer : nomers)
    if (t.Locate("nomer", {tdb::TVariant(nomer)}, 0)) ++*found;
  return watch.Seconds();
}

double TimeModifies(tdb::TDataSet& t, tdb::TField& summa, const std::vector<int64_t>& nomers, int64_t first_amount) {
  Stopwatch watch;
  for (size_t k = 0; k < nomers.size(); ++k) {
    if (!t.Locate("nomer", {tdb::TVariant(nomers[k])}, 0)) continue;
    t.Edit();
    summa.SetAsCurrency(tdb::TCurrency::FromDouble(NewAmount(first_amount + static_cast<int64_t>(k))));
    t.Post();
  }
  return watch.Seconds();
}

}  // namespace bench
