// The tests' PostgreSQL cluster (scripts/test-cluster, started by ctest
// before the server tests and stopped after them) and a fresh database on it
// for each test, with the four tables created.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "server/server_connection.h"
#include "support/cluster_conn_info.h"
#include "server/server_schema.h"

namespace server {

using test_cluster::ClusterConnInfo;

class TestDatabase {
 public:
  // `schema`: create the four tables.
  explicit TestDatabase(bool schema = true) {
    const std::string cluster = ClusterConnInfo();
    if (cluster.empty()) {
      ADD_FAILURE() << "no test cluster: run the server tests through ctest (FORMIX_TEST_CLUSTER)";
      return;
    }
    static int counter = 0;
    name_ = "t" + std::to_string(getpid()) + "_" + std::to_string(++counter);
    ServerConnection admin(cluster);
    admin.Exec("DROP DATABASE IF EXISTS " + name_);
    admin.Exec("CREATE DATABASE " + name_);
    conninfo_ = cluster.substr(0, cluster.rfind("dbname=")) + "dbname=" + name_;
    if (schema) {
      ServerConnection c(conninfo_);
      CreateSchema(c);
    }
  }
  ~TestDatabase() {
    if (name_.empty()) return;
    try {
      ServerConnection admin(ClusterConnInfo());
      admin.Exec("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    } catch (...) {
      // The cluster goes away after the run anyway.
    }
  }
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  bool Ready() const { return !conninfo_.empty(); }
  const std::string& ConnInfo() const { return conninfo_; }
  const std::string& Name() const { return name_; }
  std::shared_ptr<ServerConnection> Connect() const { return std::make_shared<ServerConnection>(conninfo_); }

 private:
  std::string name_;
  std::string conninfo_;
};

}  // namespace server
