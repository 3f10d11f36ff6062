// Start-up check that there is somewhere to show the program's windows.
//
// Without a display the toolkit aborts with a long diagnostic; the program
// prints one line and exits instead.  Pure function; any thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace app {

// Returns the one-line complaint to print when none of DISPLAY,
// WAYLAND_DISPLAY and QT_QPA_PLATFORM is set (non-empty), nullopt otherwise.
// `getenv` looks up an environment variable and returns "" when it is unset.
std::optional<std::string> MissingDisplayMessage(
    const std::function<std::string(const char*)>& getenv);

}  // namespace app
