// Program entry: checks for a display, creates the windows, runs the loop.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/display_check.h"
#include "app/formix_application.h"
#include "app/forms.h"
#include "app/pictures.h"
#include "app/program_dir.h"
#include "app/startup_check.h"
#include "app/ui_prompts.h"

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
  // The title goes in the application name, not the display name: Qt would
  // append a display name to every window caption.
  QApplication::setApplicationName(app::ApplicationTitle());
  QApplication::setWindowIcon(app::ProgramIcon());
  app::QtUiPrompts prompts;
  application.SetErrorPrompts(&prompts);

  app::AppContext context;
  context.programDir = QString::fromStdString(
      app::ProgramDirectoryOf(QCoreApplication::applicationFilePath().toStdString()));
  context.prompts = &prompts;

  std::unique_ptr<app::Forms> forms;
  try {
    forms = app::CreateForms(context);
  } catch (const std::exception& e) {
    prompts.ShowError(app::ErrorText(e));
    return 1;
  }
  app::ArmStartupCheck(*forms, context, std::getenv(app::kStartupCheckVariable));
  forms->Fmain->show();
  return QApplication::exec();
}
