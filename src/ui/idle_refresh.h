// The look a window takes, while it waits for the user, at whether other
// programs on the same data folder changed its file.
//
// A periodic timer of the engine's timer service (the one automatic flushing
// uses: the program's runs on the Qt event loop, a test's ticks when the test
// says) calls `refresh` every kInterval milliseconds while `idle` answers
// true.  `refresh` is meant to cost one look at the file when nothing changed
// (TDataSet::RefreshIfChanged).  A failing refresh (the file has gone away,
// the share is unreachable) is reported once; later ticks stay quiet until one
// succeeds again, so a lost file never piles up error boxes.  Without a timer
// service nothing ticks.  User-interface thread only.
#pragma once

#include <functional>
#include <memory>

#include "ui/ui_prompts.h"

namespace tdb {
class TPeriodicTimer;
}

namespace ui {

class IdleRefresh {
 public:
  static constexpr int kInterval = 3000;

  // `prompts` (may be null: stderr) must outlive this object.
  IdleRefresh(UiPrompts* prompts, std::function<bool()> idle, std::function<void()> refresh);
  ~IdleRefresh();
  IdleRefresh(const IdleRefresh&) = delete;
  IdleRefresh& operator=(const IdleRefresh&) = delete;

  void Start();
  void Stop();
  bool Running() const { return timer_ != nullptr; }
  // Refreshes now, idle or not (the window has been activated); a failure is
  // reported as a tick's is, once.
  void Now();

 private:
  void Tick();

  UiPrompts* prompts_;
  std::function<bool()> idle_;
  std::function<void()> refresh_;
  std::unique_ptr<tdb::TPeriodicTimer> timer_;
  bool failed_ = false;  // the last tick failed and was reported
};

}  // namespace ui
