// The periodic timer the databases use for automatic flushing.
//
// The engine has no event loop of its own: the program plugs in a timer
// service (the Qt program one on its event loop); without one, periodic
// timers simply never fire, which is right for a command-line tool that
// flushes when it closes.  A timer stops when its handle is destroyed.
// Timers fire on the thread of the service's event loop.
#pragma once

#include <functional>
#include <memory>

namespace tdb {

class TPeriodicTimer {
 public:
  virtual ~TPeriodicTimer() = default;
  // Changes the period of a running timer.
  virtual void SetInterval(int milliseconds) = 0;
};

class TTimerService {
 public:
  virtual ~TTimerService() = default;
  // Starts a timer that calls `tick` every `milliseconds` until the handle
  // is destroyed.
  virtual std::unique_ptr<TPeriodicTimer> StartPeriodic(int milliseconds, std::function<void()> tick) = 0;
};

// The process's timer service; null until the program installs one.  The
// service must outlive every database.
void SetTimerService(TTimerService* service);
TTimerService* GetTimerService();

}  // namespace tdb
