// Another program on the same file, for the tests of several writers: a
// forked child that opens the file anew through a session of its own (the
// child inherits the parent's sessions with their open databases; a session
// of its own gives it its own descriptor, lock and lists, as another program
// has), does its part and ends before the parent goes on.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>

#include "engine/base/database_error.h"
#include "engine/database/session.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/variant.h"

namespace tdb::testing {

// Runs `body` in a child process and waits for it; an exception in the child,
// or a child that did not end normally, fails the test.
inline void InOtherProcess(const std::function<void()>& body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    int code = 0;
    try {
      body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "other process: %s\n", e.what());
      code = 1;
    }
    std::fflush(nullptr);
    ::_exit(code);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process failed";
}

// In the child: a table of `path` opened through a session of its own.
struct OtherProgramTable {
  OtherProgramTable(const std::string& path, const std::string& table_name, const std::string& index) {
    session.SetSessionName("other program");
    table.SetSessionName("other program");
    table.SetDatabaseName(path);
    table.SetTableName(table_name);
    table.SetIndexName(index);
    table.Open();
  }
  // Makes the record whose `nomer` is `number` current; raises when there is none.
  void Go(int number) {
    if (!table.Locate("nomer", {TVariant(int64_t{number})}, 0))
      throw EDatabaseError("no record numbered " + std::to_string(number));
  }
  TDadaSession session;
  TDadaTable table;
};

}  // namespace tdb::testing
