// Another program on the same file, for the tests of several writers: a
// forked child that opens the file anew through a session of its own (the
// child inherits the parent's sessions with their open databases; a session
// of its own gives it its own descriptor, lock and lists, as another program
// has), does its part and ends before the parent goes on.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "support/other_program.h"

namespace tdb::testing {

// In the child: a table of a file opened through a session of its own.
using ::OtherProgramTable;

// Runs `body` in a child process and waits for it; an exception in the child,
// or a child that did not end normally, fails the test.
inline void InOtherProcess(const std::function<void()>& body) {
  ASSERT_TRUE(InOtherProgram(body)) << "the other process failed";
}

}  // namespace tdb::testing
