// The engine's periodic timers on the Qt event loop.
//
// The engine asks for a timer when a database flushes automatically; this
// service runs each one as a QTimer on the user-interface thread.  A tick
// that fails (a flush on a full disk, a file that has gone away) ends that
// tick only, and its error goes to the general error handler's report, so the
// user sees it as any other failed command.  While one tick's report is on
// the screen the same timer does not tick again, so a failing flush never
// piles up error boxes.
//
// Install it with tdb::SetTimerService before the first database connects;
// it must outlive every database, and `prompts` must outlive it.
// User-interface thread only.
#pragma once

#include "ui/ui_prompts.h"
#include "engine/database/timer_service.h"

namespace app {

class QtTimerService : public tdb::TTimerService {
 public:
  explicit QtTimerService(ui::UiPrompts* prompts) : prompts_(prompts) {}

  std::unique_ptr<tdb::TPeriodicTimer> StartPeriodic(int milliseconds, std::function<void()> tick) override;

 private:
  ui::UiPrompts* prompts_;
};

}  // namespace app
