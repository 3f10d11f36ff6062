// The connection string of the tests' PostgreSQL cluster (scripts/test-cluster
// writes it, last of its lines, into the file FORMIX_TEST_CLUSTER names).
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

namespace test_cluster {

// The cluster's connection string (to its database "postgres"); empty when
// no cluster runs.
inline std::string ClusterConnInfo() {
  const char* state = std::getenv("FORMIX_TEST_CLUSTER");
  if (!state) return {};
  std::ifstream in(state);
  std::string line, last;
  while (std::getline(in, line))
    if (!line.empty() && line[0] != '#') last = line;
  return last;
}

}  // namespace test_cluster
