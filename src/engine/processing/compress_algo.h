// The compression family of stored-data algorithms.  Only blob values are
// compressed; the stored form of each algorithm is its own (see
// TCompAlgo_Zlib for the one the engine registers).  Threads: as
// TDataProcessAlgo.
#pragma once

#include <cstdint>

#include "engine/processing/data_process_algo.h"

namespace tdb {

class TCompressAlgo : public TDataProcessAlgo {
 public:
  // The algorithm's level byte; its meaning is the algorithm's own.  The
  // level is not stored in the file.
  virtual void SetLevel(uint8_t /*level*/) {}
  virtual uint8_t GetLevel() const { return 1; }
};

}  // namespace tdb
