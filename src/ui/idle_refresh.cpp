// The idle window's periodic look at its file.
#include "ui/idle_refresh.h"

#include <exception>

#include "engine/database/timer_service.h"
#include "ui/error_report.h"

namespace ui {

IdleRefresh::IdleRefresh(UiPrompts* prompts, std::function<bool()> idle, std::function<void()> refresh)
    : prompts_(prompts), idle_(std::move(idle)), refresh_(std::move(refresh)) {}

IdleRefresh::~IdleRefresh() = default;

void IdleRefresh::Start() {
  if (timer_) return;
  if (tdb::TTimerService* service = tdb::GetTimerService())
    timer_ = service->StartPeriodic(kInterval, [this] { Tick(); });
}

void IdleRefresh::Stop() { timer_.reset(); }

void IdleRefresh::Tick() {
  if (!idle_ || idle_()) Now();
}

void IdleRefresh::Now() {
  try {
    refresh_();
    failed_ = false;
  } catch (...) {
    if (!failed_) {
      failed_ = true;
      ReportError(std::current_exception(), prompts_);
    }
  }
}

}  // namespace ui
