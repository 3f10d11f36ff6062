// Derives the program directory from the executable's path and finds the
// program's files through it.
#include "app/program_dir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace app {

std::string ProgramDirectoryOf(std::string_view exePath) {
  const std::size_t last = exePath.find_last_of("\\/");
  if (last == std::string_view::npos) return {};
  return std::string(exePath.substr(0, last + 1));
}

QStringList ProgramFileCandidates(const QString& programDir, const QString& name) {
  return {programDir + name, programDir + QString::fromUtf16(kInstalledShareDir) + name};
}

QString FindProgramFile(const QString& programDir, const QString& name) {
  for (const QString& candidate : ProgramFileCandidates(programDir, name)) {
    const QFileInfo info(candidate);
    if (info.isFile()) return QDir::cleanPath(info.absoluteFilePath());
  }
  return {};
}

QString ProgramFileFolder(const QString& programDir, const QString& name) {
  const QString found = FindProgramFile(programDir, name);
  if (found.isEmpty()) return programDir;
  return QFileInfo(found).path() + '/';
}

QString FindProgramFile(const QString& name) {
  return FindProgramFile(QCoreApplication::applicationDirPath() + '/', name);
}

bool IsInstalledLayout(const QString& programDir) {
  return QFileInfo(programDir + QString::fromUtf16(kInstalledShareDir)).isDir();
}

}  // namespace app
