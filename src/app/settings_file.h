// The program's four settings and their file "formix.ini".
//
//   [Main]  WindowsState  boolean, default false: start maximized
//   [Nastr] Summa         boolean, default true:  "Печатать сумму в квитанции"
//   [Nastr] PassLog       boolean, default false: ask for the password at start
//   [Nastr] Password      text, default empty:    the login password, plain
//
// During a run the "Nastr" values live in the settings dialog's controls and
// "WindowsState" in the main window's state; this module only moves them
// between a Settings value and the file.  User-interface thread only.
#pragma once

#include <QString>

namespace app {

struct Settings {
  bool windowsState = false;
  bool summa = true;
  bool passLog = false;
  QString password;
};

// The settings file's name inside the program directory.
inline constexpr char16_t kSettingsFileName[] = u"formix.ini";

// Reads the file at `path` into `settings`, key by key in the order Summa,
// PassLog, Password, WindowsState; a key that is missing or not a number
// gives its default.  When the file exists but cannot be read, returns false
// and leaves `settings` as it was.  A missing file reads as all defaults.
bool ReadSettingsFile(const QString& path, Settings& settings);

// Writes the four keys into the file at `path` (WindowsState, Summa, PassLog,
// Password), creating the file when missing and leaving every other line
// alone.  False and the reason in `error` when the file cannot be read or
// written; the file is then unchanged.
bool WriteSettingsFile(const QString& path, const Settings& settings, QString* error);

}  // namespace app
