// A worker for the crash and multi-process tests: a forked child that
// appends, rewrites and deletes its own records of table "t" (the
// ReceiptsLikeHeader() layout) through a dataset, and tells the parent on a
// pipe what it is about to do and what has returned.  The parent reads the
// log after the child has ended (or was killed) and knows which records must
// be in the file and exactly how.
//
// A batched worker makes all its operations inside one change batch, so that
// it holds the file lock for stretches of changes.
//
// Log lines, each written whole with one write():
//   "B <op> <nomer>"                 an operation begins
//   "E <op> <nomer> <name> <len>"    it returned; the memo is MemoOf(nomer, len)
//   "X <message>"                    it raised; the worker stops
// with <op> one of A (append), R (rewrite), D (delete).
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/base/database_error.h"
#include "engine/database/database.h"
#include "engine/database/session.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/field.h"
#include "engine/table_contents.h"

namespace tdb::testing {

// Memos of several sizes, so that rewrites move blobs, grow them at the end
// of the file and rewrite them in place.
inline std::string MemoOf(int nomer, int len) {
  return std::string(static_cast<size_t>(len), static_cast<char>('a' + nomer % 26));
}

struct TWorkerPlan {
  std::string path;
  int worker = 1;        // its records are numbered worker * 1000000 + 1, + 2, ...
  int first_seq = 1;     // the number of its first new record within its range
  int operations = 100;
  unsigned seed = 1;
  // All its operations in one change batch (TDadaTable::TChangeBatch).
  bool batched = false;
};

// The child's body; never returns.
[[noreturn]] inline void RunWorker(const TWorkerPlan& plan, int log_fd) {
  auto log = [log_fd](const std::string& line) {
    std::string l = line + "\n";
    if (::write(log_fd, l.data(), l.size()) != static_cast<ssize_t>(l.size())) ::_exit(3);
  };
  try {
    Session().SetLockRetryCount(0);  // wait for the others without limit
    TDadaTable t;
    t.SetDatabaseName(plan.path);
    t.SetTableName("t");
    t.SetIndexName("inomer");
    t.Open();
    std::optional<TDadaTable::TChangeBatch> batch;
    if (plan.batched) batch.emplace(t);
    // Its own records, from the file as an earlier run left it.
    std::map<int, TBookmark> own;
    const int low = plan.worker * 1000000, high = low + 1000000;
    for (t.First(); !t.Eof(); t.Next()) {
      int nomer = t.FieldByName("nomer").AsInteger();
      if (nomer > low && nomer < high) own[nomer] = t.GetBookmark();
    }
    std::mt19937 random(plan.seed);
    int seq = plan.first_seq;
    for (int i = 0; i < plan.operations; ++i) {
      int dice = static_cast<int>(random() % 100);
      int len = static_cast<int>(random() % 4 == 0 ? random() % 700 : random() % 40);
      std::string name = "w" + std::to_string(plan.worker) + "-" + std::to_string(random() % 100000);
      if (own.empty() || dice < 55) {
        int nomer = low + seq++;
        log("B A " + std::to_string(nomer));
        AppendRow(t, nomer, TRow{name, MemoOf(nomer, len)});
        own[nomer] = t.GetBookmark();
        log("E A " + std::to_string(nomer) + " " + name + " " + std::to_string(len));
      } else {
        auto it = own.begin();
        std::advance(it, static_cast<long>(random() % own.size()));
        int nomer = it->first;
        t.GotoBookmark(it->second);
        if (t.FieldByName("nomer").AsInteger() != nomer) throw EDatabaseError("bookmark leads to another record");
        if (dice < 85) {
          log("B R " + std::to_string(nomer));
          t.Edit();
          t.FieldByName("name").SetAsString(name);
          t.FieldByName("memo").SetAsString(MemoOf(nomer, len));
          t.Post();
          log("E R " + std::to_string(nomer) + " " + name + " " + std::to_string(len));
        } else {
          log("B D " + std::to_string(nomer));
          t.Delete();
          own.erase(it);
          log("E D " + std::to_string(nomer) + " - 0");
        }
      }
    }
  } catch (const std::exception& e) {
    log(std::string("X ") + e.what());
    ::_exit(1);
  }
  ::_exit(0);
}

// What a worker's log says.
struct TWorkerLog {
  TRows rows;                 // its records as their last returned operation left them
  std::vector<int> deleted;   // records whose deletion returned
  char pending_op = 0;        // the operation begun and not returned, if any
  int pending_nomer = 0;
  int completed = 0;          // operations that returned
  // Appends that returned after the last rewrite or deletion that returned:
  // in a change batch, still held by the stretch under way (TChangeBatch).
  std::vector<int> held;
  std::string error;          // the message of an operation that raised
};

inline void ApplyLog(const std::string& text, TWorkerLog& log) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream l(line);
    char kind = 0, op = 0;
    l >> kind;
    if (kind == 'X') {
      log.error = line.substr(2);
      continue;
    }
    int nomer = 0;
    l >> op >> nomer;
    if (kind == 'B') {
      log.pending_op = op;
      log.pending_nomer = nomer;
      continue;
    }
    std::string name;
    int len = 0;
    l >> name >> len;
    log.pending_op = 0;
    ++log.completed;
    if (op == 'A') log.held.push_back(nomer);
    else log.held.clear();
    if (op == 'D') {
      log.rows.erase(nomer);
      log.deleted.push_back(nomer);
    } else {
      log.rows[nomer] = TRow{name, MemoOf(nomer, len)};
    }
  }
}

// A running worker: its process and the reading end of its log.
struct TWorkerProcess {
  pid_t pid = -1;
  int log_fd = -1;
};

inline TWorkerProcess StartWorker(const TWorkerPlan& plan) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    RunWorker(plan, fds[1]);
  }
  ::close(fds[1]);
  return {pid, fds[0]};
}

// Reads the whole log (until the worker's end closes it) and reaps the
// worker; returns the log and sets `status` to its wait status.
inline std::string FinishWorker(TWorkerProcess& w, int& status) {
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(w.log_fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) text.append(buf, static_cast<size_t>(n));
  ::close(w.log_fd);
  while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
  }
  w = {};
  return text;
}

}  // namespace tdb::testing
