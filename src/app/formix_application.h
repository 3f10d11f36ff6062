// The program's QApplication with its general error handler.
//
// The screens catch no errors: an exception that escapes an event handler
// (the engine's tdb::EDatabaseError or any std::exception) ends the command
// that raised it and its text is shown in a message box through the prompts
// given here (error_report.h; the silent abort shows nothing).  Without
// prompts the text goes to stderr.  One per process,
// user-interface thread only.
#pragma once

#include <QApplication>

#include "ui/ui_prompts.h"

namespace app {

class FormixApplication : public QApplication {
  Q_OBJECT

 public:
  FormixApplication(int& argc, char** argv);

  // `prompts` (not owned) shows the errors; it must outlive the event loop.
  void SetErrorPrompts(ui::UiPrompts* prompts) { prompts_ = prompts; }
  ui::UiPrompts* ErrorPrompts() const { return prompts_; }

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  ui::UiPrompts* prompts_ = nullptr;
};

}  // namespace app
