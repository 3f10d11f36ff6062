// Moves the program's settings between memory and "formix.ini".
#include "app/settings_file.h"

#include "app/ini_file.h"

namespace app {
namespace {
constexpr char16_t kMain[] = u"Main";
constexpr char16_t kNastr[] = u"Nastr";
}  // namespace

bool ReadSettingsFile(const QString& path, Settings& settings) {
  IniFile ini;
  if (!IniFile::Load(path, &ini)) return false;
  const Settings defaults;
  settings.summa = ini.ReadBool(kNastr, u"Summa", defaults.summa);
  settings.passLog = ini.ReadBool(kNastr, u"PassLog", defaults.passLog);
  settings.password = ini.ReadString(kNastr, u"Password", defaults.password);
  settings.windowsState = ini.ReadBool(kMain, u"WindowsState", defaults.windowsState);
  return true;
}

bool WriteSettingsFile(const QString& path, const Settings& settings, QString* error) {
  IniFile ini;
  // Read first so that lines the program does not own survive the write.
  if (!IniFile::Load(path, &ini, error)) return false;
  ini.WriteBool(kMain, u"WindowsState", settings.windowsState);
  ini.WriteBool(kNastr, u"Summa", settings.summa);
  ini.WriteBool(kNastr, u"PassLog", settings.passLog);
  ini.WriteString(kNastr, u"Password", settings.password);
  return ini.Save(path, error);
}

}  // namespace app
