// The process's timer service.
#include "engine/database/timer_service.h"

#include <atomic>

namespace tdb {
namespace {
std::atomic<TTimerService*> g_service{nullptr};
}

void SetTimerService(TTimerService* service) { g_service.store(service); }
TTimerService* GetTimerService() { return g_service.load(); }

}  // namespace tdb
