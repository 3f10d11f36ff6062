// Moves the program's settings between memory and "formix.ini".
#include "app/settings_file.h"

#include <QDir>
#include <QFileInfo>
#include <cstdlib>

#include "app/ini_file.h"
#include "app/program_dir.h"

namespace app {
namespace {
constexpr char16_t kMain[] = u"Main";
constexpr char16_t kNastr[] = u"Nastr";
constexpr char16_t kData[] = u"Data";
constexpr char16_t kRegister[] = u"Register";
}  // namespace

QString UserConfigHome(const std::function<QString(const char*)>& getenv) {
  const QString xdg = getenv("XDG_CONFIG_HOME");
  if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return QDir::cleanPath(xdg);
  return QDir::cleanPath(getenv("HOME") + QStringLiteral("/.config"));
}

QString SettingsFilePath(const QString& programDir, const QString& configHome) {
  const QString dir = programDir.isEmpty() ? QStringLiteral(".") : programDir;
  if (!IsInstalledLayout(programDir) && QFileInfo(dir).isWritable()) {
    return programDir + QString::fromUtf16(kSettingsFileName);
  }
  return configHome + QStringLiteral("/formix/") + QString::fromUtf16(kSettingsFileName);
}

QString SettingsFilePath(const QString& programDir) {
  return SettingsFilePath(programDir, UserConfigHome([](const char* name) {
                            return QString::fromLocal8Bit(std::getenv(name));
                          }));
}

bool ReadSettingsFile(const QString& path, Settings& settings) {
  IniFile ini;
  if (!IniFile::Load(path, &ini)) return false;
  const Settings defaults;
  settings.summa = ini.ReadBool(kNastr, u"Summa", defaults.summa);
  settings.passLog = ini.ReadBool(kNastr, u"PassLog", defaults.passLog);
  settings.password = ini.ReadString(kNastr, u"Password", defaults.password);
  settings.windowsState = ini.ReadBool(kMain, u"WindowsState", defaults.windowsState);
  reg::RegisterLayout& layout = settings.registerLayout;
  layout = {};
  auto integer = [&ini](const char16_t* key) -> std::optional<long long> {
    const std::optional<QString> value = ini.Value(kRegister, key);
    return value ? ParseIniInteger(*value) : std::nullopt;
  };
  if (const auto column = integer(u"SortColumn"); column && *column >= 0 && *column < 100)
    layout.sortColumn = static_cast<int>(*column);
  layout.descending = ini.ReadBool(kRegister, u"Descending", false);
  layout.widths = reg::ReadWidths(ini.ReadString(kRegister, u"Widths", QString()));
  const auto width = integer(u"Width"), height = integer(u"Height");
  if (width && height && *width > 0 && *height > 0 && *width <= 100000 && *height <= 100000)
    layout.size = QSize(static_cast<int>(*width), static_cast<int>(*height));
  return true;
}

QString ReadServerConnection(const QString& path) {
  IniFile ini;
  if (!IniFile::Load(path, &ini)) return QString();
  return ini.ReadString(kData, u"Server", QString()).trimmed();
}

bool WriteSettingsFile(const QString& path, const Settings& settings, QString* error) {
  const QString folder = QFileInfo(path).absolutePath();
  if (!QDir().mkpath(folder)) {
    if (error) *error = QStringLiteral("не удалось создать папку %1").arg(QDir::toNativeSeparators(folder));
    return false;
  }
  IniFile ini;
  // Read first so that lines the program does not own survive the write.
  if (!IniFile::Load(path, &ini, error)) return false;
  ini.WriteBool(kMain, u"WindowsState", settings.windowsState);
  ini.WriteBool(kNastr, u"Summa", settings.summa);
  ini.WriteBool(kNastr, u"PassLog", settings.passLog);
  ini.WriteString(kNastr, u"Password", settings.password);
  // The layout only once a register has been shown: a file of an older run
  // gains no empty section.
  const reg::RegisterLayout& layout = settings.registerLayout;
  if (layout.sortColumn >= 0) {
    ini.WriteString(kRegister, u"SortColumn", QString::number(layout.sortColumn));
    ini.WriteBool(kRegister, u"Descending", layout.descending);
  }
  if (!layout.widths.empty()) ini.WriteString(kRegister, u"Widths", reg::WidthsText(layout.widths));
  if (layout.size.isValid()) {
    ini.WriteString(kRegister, u"Width", QString::number(layout.size.width()));
    ini.WriteString(kRegister, u"Height", QString::number(layout.size.height()));
  }
  return ini.Save(path, error);
}

}  // namespace app
