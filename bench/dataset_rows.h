// The rows of workload W that every home runs alike, through the dataset
// framework as the program does: the data file's table (engine_side) and
// the server's (server_side).  Each returns the seconds the timed part took.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/dataset/dataset.h"

namespace bench {

// Reads every field of the first `rows` records as text; the bytes read.
// An empty screen is reported on stderr under `side`.
size_t ReadScreen(tdb::TDataSet& t, int rows, const char* side);
// IndexName := "iplatel", the first 50 records read; "inomer" again after.
double TimeResort(tdb::TDataSet& t, const char* side);
// Filter "slugebnoe=true" on, RecordCount into `count`; off again after.
double TimeFilterCount(tdb::TDataSet& t, int64_t* count);
// Locate("nomer", n) for each of `nomers`; the hits into `found`.
double TimeLocates(tdb::TDataSet& t, const std::vector<int64_t>& nomers, int64_t* found);
// Locate, Edit, `summa` := NewAmount(first_amount + k), Post for the k-th number.
double TimeModifies(tdb::TDataSet& t, tdb::TField& summa, const std::vector<int64_t>& nomers, int64_t first_amount);

}  // namespace bench
