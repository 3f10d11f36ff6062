// The program's QApplication with its general error handler.
//
// The screens catch no errors: an exception that escapes an event handler
// (the engine's tdb::EDatabaseError or any std::exception) ends the command
// that raised it and its text is shown in a message box through the prompts
// given here; the engine's tdb::EAbort ends it silently.  Without prompts the
// text goes to stderr.  One per process, user-interface thread only.
#pragma once

#include <QApplication>
#include <exception>

#include "app/ui_prompts.h"

namespace app {

// The text of an exception as the user reads it.  An engine error's message
// is Windows-1251, as every text of the engine is: the field, table and index
// names and the values it quotes are stored text, and the program names its
// files in ASCII.  Any other exception's text is UTF-8.
QString ErrorText(const std::exception& e);

class FormixApplication : public QApplication {
  Q_OBJECT

 public:
  FormixApplication(int& argc, char** argv);

  // `prompts` (not owned) shows the errors; it must outlive the event loop.
  void SetErrorPrompts(UiPrompts* prompts) { prompts_ = prompts; }

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  void ReportError(const QString& text);

  UiPrompts* prompts_ = nullptr;
};

}  // namespace app
