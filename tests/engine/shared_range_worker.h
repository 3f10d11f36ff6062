// A worker for the shared-key-range multi-process test: a forked child that
// changes its own records of table "t" (the ReceiptsLikeHeader() layout)
// through a dataset, while its records interleave with every other worker's
// in both indexes.  Numbers are k * workers + worker, so every worker's
// numbers run through the same range of "inomer"; names come from a few
// values shared by all, so "iname" holds long runs of equal keys from
// different workers.  Most operations are rewrites that move the record in
// "iname" (and often in "inomer"); a few append or delete (an append is seen
// by every other process in the table's header; a rewrite or a deletion is
// not); now and then the
// worker renumbers all its records in name order, as the register's purge
// does.  It tells the parent on a pipe what has returned.
//
// Log lines, each written whole with one write():
//   "E <op> <old> <new> <name> <len>"  returned: record <old> is now record
//                                      <new> with that name and the memo
//                                      SharedMemo(worker, len) (A: old is 0;
//                                      D: gone, new is 0)
//   "X <message>"                      an operation raised; the worker stops
// with <op> one of A (append), R (rewrite), N (renumbering), D (delete).
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/base/database_error.h"
#include "engine/database/session.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/field.h"
#include "engine/table_contents.h"

namespace tdb::testing {

inline std::string SharedMemo(int worker, int len) {
  return std::string(static_cast<size_t>(len), static_cast<char>('a' + worker % 26));
}

struct TSharedPlan {
  std::string path;
  int worker = 1;  // 1 .. workers
  int workers = 1;
  int operations = 100;
  unsigned seed = 1;
  std::string index = "inomer";  // the order of the worker's dataset
};

// The child's body; never returns.
[[noreturn]] inline void RunSharedWorker(const TSharedPlan& plan, int log_fd) {
  auto log = [log_fd](const std::string& line) {
    std::string l = line + "\n";
    if (::write(log_fd, l.data(), l.size()) != static_cast<ssize_t>(l.size())) ::_exit(3);
  };
  struct TOwn {
    TBookmark bookmark;
    std::string name;
  };
  try {
    // Wait for the others without limit, trying often, so that the workers
    // take turns operation by operation rather than in long stretches.
    Session().SetLockRetryCount(0);
    Session().SetLockWaitTime(0);
    TDadaTable t;
    t.SetDatabaseName(plan.path);
    t.SetTableName("t");
    t.SetIndexName(plan.index);
    t.Open();
    std::mt19937 random(plan.seed);
    std::map<int, TOwn> own;  // by nomer
    int k = 0;
    auto next_nomer = [&] { return ++k * plan.workers + plan.worker; };
    auto some_name = [&](const std::string& other) {
      std::string name;
      do name = "n" + std::to_string(random() % 20);
      while (name == other);
      return name;
    };
    auto goto_own = [&](int nomer) {
      t.GotoBookmark(own.at(nomer).bookmark);
      if (t.FieldByName("nomer").AsInteger() != nomer) throw EDatabaseError("bookmark leads to another record");
    };
    auto rewrite = [&](char op, int nomer, int new_nomer, const std::string& name) {
      int len = static_cast<int>(random() % 4 == 0 ? random() % 300 : random() % 30);
      goto_own(nomer);
      t.Edit();
      t.FieldByName("nomer").SetAsInteger(new_nomer);
      t.FieldByName("name").SetAsString(name);
      t.FieldByName("memo").SetAsString(SharedMemo(plan.worker, len));
      t.Post();
      TOwn moved{own.at(nomer).bookmark, name};
      own.erase(nomer);
      own[new_nomer] = moved;
      log(std::string("E ") + op + " " + std::to_string(nomer) + " " + std::to_string(new_nomer) + " " + name + " " +
          std::to_string(len));
    };
    int done = 0;
    while (done < plan.operations) {
      // Now and then a pause, as a user's think time: the others take their
      // turns in between, so operations interleave one by one.
      if (random() % 2) ::usleep(static_cast<useconds_t>(random() % 200));
      int dice = static_cast<int>(random() % 100);
      if (own.size() < 4 || done < plan.operations / 50 || dice < 2) {
        int nomer = next_nomer();
        int len = static_cast<int>(random() % 30);
        std::string name = some_name("");
        AppendRow(t, nomer, TRow{name, SharedMemo(plan.worker, len)});
        own[nomer] = TOwn{t.GetBookmark(), name};
        log("E A 0 " + std::to_string(nomer) + " " + name + " " + std::to_string(len));
        ++done;
      } else if (dice < 97) {
        auto it = own.begin();
        std::advance(it, static_cast<long>(random() % own.size()));
        int nomer = it->first;
        int new_nomer = random() % 3 == 0 ? next_nomer() : nomer;
        rewrite('R', nomer, new_nomer, some_name(it->second.name));
        ++done;
      } else if (dice < 99) {
        auto it = own.begin();
        std::advance(it, static_cast<long>(random() % own.size()));
        int nomer = it->first;
        goto_own(nomer);
        t.Delete();
        own.erase(it);
        log("E D " + std::to_string(nomer) + " 0 - 0");
        ++done;
      } else {
        // Renumbering in name order, one rewrite per record.
        std::vector<std::tuple<std::string, int>> order;
        for (const auto& [nomer, o] : own) order.emplace_back(o.name, nomer);
        std::sort(order.begin(), order.end());
        for (const auto& [name, nomer] : order) {
          if (done == plan.operations) break;
          rewrite('N', nomer, next_nomer(), name);
          ++done;
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
struct TSharedLog {
  TRows rows;         // its records as their last returned operation left them
  int completed = 0;  // operations that returned
  int deleted = 0;
  int renumbered = 0;
  std::string error;  // the message of an operation that raised
};

inline void ApplySharedLog(const std::string& text, int worker, TSharedLog& log) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("X ", 0) == 0) {
      log.error = line.substr(2);
      continue;
    }
    std::istringstream l(line);
    char kind = 0, op = 0;
    int old_nomer = 0, new_nomer = 0, len = 0;
    std::string name;
    l >> kind >> op >> old_nomer >> new_nomer >> name >> len;
    ++log.completed;
    if (old_nomer) log.rows.erase(old_nomer);
    if (op == 'D') ++log.deleted;
    else log.rows[new_nomer] = TRow{name, SharedMemo(worker, len)};
    if (op == 'N') ++log.renumbered;
  }
}

}  // namespace tdb::testing
