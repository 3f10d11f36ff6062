// The wait cursor handler the program installs.
#include "engine/database/wait_cursor.h"

#include <mutex>

namespace tdb {
namespace {
std::mutex g_lock;
std::function<void(bool)> g_handler;  // guarded by g_lock

std::function<void(bool)> Handler() {
  std::lock_guard guard(g_lock);
  return g_handler;
}
}  // namespace

void SetWaitCursorHandler(std::function<void(bool busy)> handler) {
  std::lock_guard guard(g_lock);
  g_handler = std::move(handler);
}

TWaitCursor::TWaitCursor(bool show) : shown_(false) {
  if (!show) return;
  if (auto handler = Handler()) {
    handler(true);
    shown_ = true;
  }
}

TWaitCursor::~TWaitCursor() {
  if (!shown_) return;
  if (auto handler = Handler()) handler(false);
}

}  // namespace tdb
