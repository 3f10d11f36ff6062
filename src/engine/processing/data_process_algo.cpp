// Shared progress reporting of the stored-data processing algorithms.
#include "engine/processing/data_process_algo.h"

namespace tdb {

void TDataProcessAlgo::ReportProgress(const TOnProgress& event, size_t processed, size_t size) {
  if (!event || size == 0) return;
  const uint64_t p = processed, s = size;
  event(static_cast<int>((p * 200 + s) / (2 * s)));
}

}  // namespace tdb
