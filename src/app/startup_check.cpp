// Prints what the started program found, then closes it (see the header).
#include "app/startup_check.h"

#include <QDir>
#include <QTextStream>

#include "app/program_dir.h"

namespace app {

void ArmStartupCheck(ProgramWindows& forms, const ui::AppContext& context, const char* names) {
  if (names == nullptr) return;
  const QStringList files = QString::fromLocal8Bit(names).split(',', Qt::SkipEmptyParts);
  reg::RegisterWindow* main = forms.registerWindow.get();
  const QString programDir = context.programDir;
  QObject::connect(
      main, &reg::RegisterWindow::startupFinished, main,
      [&forms, main, programDir, files] {
        QTextStream out(stdout);
        out << "version\t" << forms.aboutBox->VersionLabel->text() << '\n';
        out << "cwd\t" << QDir::currentPath() << '\n';
        out << "settings\t" << forms.SettingsPath() << '\n';
        for (const QString& name : files) {
          out << "file\t" << name << '\t' << FindProgramFile(programDir, name) << '\n';
        }
        out.flush();
        main->close();
      },
      Qt::QueuedConnection);
}

}  // namespace app
