// The program's four settings and their file "formix.ini".
//
//   [Main]  WindowsState  boolean, default false: start maximized
//   [Nastr] Summa         boolean, default true:  "Печатать сумму в квитанции"
//   [Nastr] PassLog       boolean, default false: ask for the password at start
//   [Nastr] Password      text, default empty:    the login password, plain
//   [Data]  Server        text, default empty:    where the data lives: empty
//                         for the data folder, else a database server's
//                         connection string (home/data_location.h); read
//                         once at start, never written by the program
//
// and the register window's layout (register/register_layout.h) in a
// section of its own:
//
//   [Register] SortColumn  grid column sorted by, default none (the opening order)
//              Descending  boolean, default false
//              Widths      the grid columns' widths, "40,71,119,..."
//              Width, Height  the window's normal size in pixels
//
// During a run the "Nastr" values live in the settings dialog's controls and
// "WindowsState" in the main window's state; this module only moves them
// between a Settings value and the file.  User-interface thread only.
//
// Where the file lives: "formix.ini" in the program directory while the
// program runs from a writable folder of its own (a build tree, a copy
// unpacked anywhere).  An installed program (bin/ beside share/formix/) or
// one in a folder the user cannot write keeps it in the user's configuration
// folder, $XDG_CONFIG_HOME/formix/formix.ini (~/.config/formix/ by default),
// so closing the program never fails on a read-only /usr/bin, and running it
// as root never leaves a file among the packaged ones.
#pragma once

#include <QString>
#include <functional>

#include "register/register_layout.h"

namespace app {

struct Settings {
  bool windowsState = false;
  bool summa = true;
  bool passLog = false;
  QString password;
  reg::RegisterLayout registerLayout;
};

// The settings file's name inside the program directory.
inline constexpr char16_t kSettingsFileName[] = u"formix.ini";

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path, else $HOME/.config (relative values are ignored, as the XDG base
// directory rules say).  `getenv` returns "" for an unset variable.
QString UserConfigHome(const std::function<QString(const char*)>& getenv);

// The settings file of a program whose directory is `programDir` (ending with
// a separator, or empty for the current directory): in that directory when it
// is writable and not an installed prefix, else in `configHome`/formix/.
QString SettingsFilePath(const QString& programDir, const QString& configHome);
// The same with the configuration folder of this process's environment.
QString SettingsFilePath(const QString& programDir);

// Reads the file at `path` into `settings`, key by key in the order Summa,
// PassLog, Password, WindowsState, then the register's layout; a key that is
// missing or not a number gives its default.  When the file exists but cannot be read, returns false
// and leaves `settings` as it was.  A missing file reads as all defaults.
bool ReadSettingsFile(const QString& path, Settings& settings);

// The [Data] Server value of the file at `path` (empty when the file or the
// key is missing or the file cannot be read).
QString ReadServerConnection(const QString& path);

// Writes the four keys into the file at `path` (WindowsState, Summa, PassLog,
// Password) and the register's layout when it has one, creating the file and its folder when missing and leaving every
// other line alone.  False and the reason in `error` when the file cannot be read or
// written; the file is then unchanged.
bool WriteSettingsFile(const QString& path, const Settings& settings, QString* error);

}  // namespace app
