// Periodic engine timers as QTimers.
#include "app/qt_timer_service.h"

#include <QTimer>
#include <memory>

#include "ui/error_report.h"

namespace app {
namespace {

class QtPeriodicTimer : public tdb::TPeriodicTimer {
 public:
  QtPeriodicTimer(int milliseconds, std::function<void()> tick, ui::UiPrompts* prompts)
      : timer_(new QTimer), state_(std::make_shared<State>(State{std::move(tick), prompts})) {
    timer_->setInterval(milliseconds);
    // The tick holds the state, so the handle may go while its own tick runs
    // (a report's message loop in which the program ends).
    QObject::connect(timer_, &QTimer::timeout, timer_, [state = state_] {
      if (state->busy || !state->alive) return;
      state->busy = true;
      try {
        state->tick();
      } catch (...) {
        ui::ReportError(std::current_exception(), state->prompts);
      }
      state->busy = false;
    });
    timer_->start();
  }
  ~QtPeriodicTimer() override {
    state_->alive = false;
    timer_->stop();
    timer_->deleteLater();
  }
  void SetInterval(int milliseconds) override { timer_->setInterval(milliseconds); }

 private:
  struct State {
    std::function<void()> tick;
    ui::UiPrompts* prompts;
    bool busy = false;
    bool alive = true;
  };

  QTimer* timer_;  // deleted through deleteLater, once no tick of it runs
  std::shared_ptr<State> state_;
};

}  // namespace

std::unique_ptr<tdb::TPeriodicTimer> QtTimerService::StartPeriodic(int milliseconds, std::function<void()> tick) {
  return std::make_unique<QtPeriodicTimer>(milliseconds, std::move(tick), prompts_);
}

}  // namespace app
