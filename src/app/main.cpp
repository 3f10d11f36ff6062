// Program entry: checks for a display, creates the windows, runs the loop.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/display_check.h"
#include "ui/error_report.h"
#include "app/formix_application.h"
#include "app/program_windows.h"
#include "app/database_login.h"
#include "ui/pictures.h"
#include "ui/russian.h"
#include "register/print_commands.h"
#include "app/program_dir.h"
#include "app/program_home.h"
#include "app/settings_file.h"
#include "app/qt_timer_service.h"
#include "app/startup_check.h"
#include "ui/ui_prompts.h"

int main(int argc, char** argv) {
  const auto missing = app::MissingDisplayMessage([](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  });
  if (missing) {
    std::fprintf(stderr, "%s\n", missing->c_str());
    return 1;
  }

  app::FormixApplication application(argc, argv);
  ui::UseRussian(application);
  // The title goes in the application name, not the display name: Qt would
  // append a display name to every window caption.
  QApplication::setApplicationName(ui::ApplicationTitle());
  QApplication::setWindowIcon(ui::ProgramIcon());
  ui::QtUiPrompts prompts;
  application.SetErrorPrompts(&prompts);

  // The engine asks for the password of an encrypted database in the
  // password dialog, and flushes on the event loop's timers; both
  // report through the same prompts as every other failure.
  app::InstallDatabaseLogin(&prompts);
  app::QtTimerService timers(&prompts);
  tdb::SetTimerService(&timers);

  ui::AppContext context;
  context.programDir = QString::fromStdString(
      app::ProgramDirectoryOf(QCoreApplication::applicationFilePath().toStdString()));
  context.prompts = &prompts;

  // Where the data lives is settled before the windows take their tables.
  std::shared_ptr<const receipts::DataHome> home =
      app::ProgramHome(app::SettingsFilePath(context.programDir), prompts);
  if (!home) return 1;
  receipts::SetHome(home);

  std::unique_ptr<app::ProgramWindows> forms;
  try {
    forms = app::CreateProgramWindows(context);
  } catch (const std::exception& e) {
    prompts.ShowError(ui::ErrorText(e));
    return 1;
  }
  // The templates lie beside the program in a build tree and in share/formix
  // when installed.
  reg::PrintCommands printer(app::ProgramFileFolder(context.programDir, QStringLiteral("f4pd.xlsx")),
                             forms->registerWindow->Chooser(), prompts, forms->registerWindow.get());
  printer.options = [&forms] { return printing::PrintOptions{forms->settings.summa}; };
  forms->registerWindow->SetReceiptPrinter(&printer);
  app::ArmStartupCheck(*forms, context, std::getenv(app::kStartupCheckVariable));
  forms->registerWindow->show();
  const int code = QApplication::exec();
  // The windows close the receipts table, and with it its database and
  // timer, while the timer service still exists.
  forms.reset();
  receipts::SetHome(nullptr);
  tdb::SetTimerService(nullptr);
  app::InstallDatabaseLogin(nullptr);
  return code;
}
