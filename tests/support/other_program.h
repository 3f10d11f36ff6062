// Another program on the same data folder, for the windows' tests of several
// clerks: a forked child that opens the file anew through a session of its
// own (own descriptor, lock and lists, as another program has), does its
// part and ends before the test goes on.  The child touches no Qt object.
#pragma once

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

// Runs `body` in a child process and waits for it; answers whether it ended
// without an exception.
inline bool InOtherProgram(const std::function<void()>& body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    int code = 0;
    try {
      body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "other program: %s\n", e.what());
      code = 1;
    }
    std::fflush(nullptr);
    ::_exit(code);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A table of `file` opened through a session of its own: in the child, the
// other program's; in the test, the file as it is now, not as the program's
// own open database last saw it.
struct OtherProgramTable {
  OtherProgramTable(const std::string& file, const std::string& table_name, const std::string& index = "inomer") {
    static int count = 0;
    const std::string name = "other program " + std::to_string(++count);
    session.SetSessionName(name);
    table.SetSessionName(name);
    table.SetDatabaseName(file);
    table.SetTableName(table_name);
    table.SetIndexName(index);
    table.Open();
  }
  // Makes the record whose `nomer` is `number` current; raises when there is none.
  tdb::TDadaTable& Go(int number) {
    if (!table.Locate("nomer", {tdb::TVariant(int64_t{number})}, 0))
      throw tdb::EDatabaseError("no record numbered " + std::to_string(number));
    return table;
  }
  tdb::TDadaSession session;
  tdb::TDadaTable table;
};
