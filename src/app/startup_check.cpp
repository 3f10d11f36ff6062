// Prints what the started program found, then closes it (see the header).
#include "app/startup_check.h"

#include <QDir>
#include <QTextStream>

#include "app/program_dir.h"

namespace app {

void ArmStartupCheck(Forms& forms, const AppContext& context, const char* names) {
  if (names == nullptr) return;
  const QStringList files = QString::fromLocal8Bit(names).split(',', Qt::SkipEmptyParts);
  TFmain* main = forms.Fmain.get();
  const QString programDir = context.programDir;
  QObject::connect(
      main, &TFmain::startupFinished, main,
      [&forms, main, programDir, files] {
        QTextStream out(stdout);
        out << "version\t" << forms.FormAbout->VersionLabel->text() << '\n';
        out << "cwd\t" << QDir::currentPath() << '\n';
        out << "settings\t" << main->SettingsPath() << '\n';
        for (const QString& name : files) {
          out << "file\t" << name << '\t' << FindProgramFile(programDir, name) << '\n';
        }
        out.flush();
        main->close();
      },
      Qt::QueuedConnection);
}

}  // namespace app
