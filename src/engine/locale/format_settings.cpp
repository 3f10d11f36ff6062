// The process-wide current locale settings, swapped as a whole under a mutex
// so that a reader's snapshot never changes under it.
#include "engine/locale/format_settings.h"

#include <mutex>
#include <utility>

namespace tdb {
namespace {

std::mutex g_mutex;

std::shared_ptr<const TFormatSettings>& CurrentSlot() {
  static std::shared_ptr<const TFormatSettings> current =
      std::make_shared<const TFormatSettings>(RussianFormatSettings());
  return current;
}

std::shared_ptr<const TFormatSettings> Exchange(std::shared_ptr<const TFormatSettings> next) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::swap(CurrentSlot(), next);
  return next;
}

}  // namespace

TFormatSettings RussianFormatSettings() { return TFormatSettings{}; }

std::shared_ptr<const TFormatSettings> CurrentFormatSettings() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return CurrentSlot();
}

void SetCurrentFormatSettings(const TFormatSettings& settings) {
  Exchange(std::make_shared<const TFormatSettings>(settings));
}

TScopedFormatSettings::TScopedFormatSettings(const TFormatSettings& settings)
    : previous_(Exchange(std::make_shared<const TFormatSettings>(settings))) {}

TScopedFormatSettings::~TScopedFormatSettings() { Exchange(std::move(previous_)); }

}  // namespace tdb
