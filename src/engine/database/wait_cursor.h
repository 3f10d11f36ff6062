// The wait cursor the engine shows while it applies a filter.
//
// The engine knows no windows: the program installs a handler that shows and
// hides its wait cursor; without one nothing happens.  TWaitCursor shows it
// for its lifetime (nested uses are counted by the handler).  Called on the
// thread that applies the filter.
#pragma once

#include <functional>

namespace tdb {

// `busy` true: show the wait cursor; false: restore the normal one.
void SetWaitCursorHandler(std::function<void(bool busy)> handler);

class TWaitCursor {
 public:
  explicit TWaitCursor(bool show);
  ~TWaitCursor();
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

 private:
  bool shown_;
};

}  // namespace tdb
