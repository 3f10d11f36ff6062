// The general error handler around the program's event dispatch.
#include "app/formix_application.h"

#include <exception>

#include "ui/error_report.h"

namespace app {

FormixApplication::FormixApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool FormixApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ui::ReportError(std::current_exception(), prompts_);
  }
  return false;
}

}  // namespace app
