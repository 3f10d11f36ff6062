// Decides whether the program has a display to open its windows on.
#include "app/display_check.h"

namespace app {

std::optional<std::string> MissingDisplayMessage(
    const std::function<std::string(const char*)>& getenv) {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    if (!getenv(name).empty()) return std::nullopt;
  }
  return std::string(
      "formix: нет дисплея для окна программы (не задан DISPLAY или WAYLAND_DISPLAY)");
}

}  // namespace app
