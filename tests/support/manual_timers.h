// A timer service whose timers tick only when the test says: installed
// while it lives, so the windows' periodic work runs on demand.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "engine/database/timer_service.h"

class ManualTimers : public tdb::TTimerService {
 public:
  ManualTimers() { tdb::SetTimerService(this); }
  ~ManualTimers() override { tdb::SetTimerService(nullptr); }

  std::unique_ptr<tdb::TPeriodicTimer> StartPeriodic(int milliseconds, std::function<void()> tick) override {
    auto t = std::make_unique<Timer>(*this, milliseconds, std::move(tick));
    timers_.push_back(t.get());
    return t;
  }
  // Every running timer ticks once.
  void TickAll() {
    for (Timer* t : std::vector<Timer*>(timers_))
      if (std::find(timers_.begin(), timers_.end(), t) != timers_.end()) t->tick();
  }
  size_t Running() const { return timers_.size(); }

 private:
  struct Timer : tdb::TPeriodicTimer {
    Timer(ManualTimers& owner, int interval, std::function<void()> tick)
        : owner(owner), interval(interval), tick(std::move(tick)) {}
    ~Timer() override { owner.timers_.erase(std::remove(owner.timers_.begin(), owner.timers_.end(), this), owner.timers_.end()); }
    void SetInterval(int milliseconds) override { interval = milliseconds; }
    ManualTimers& owner;
    int interval;
    std::function<void()> tick;
  };
  std::vector<Timer*> timers_;
};
