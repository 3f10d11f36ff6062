// The general error handler around the program's event dispatch.
#include "app/formix_application.h"

#include <cstdio>
#include <exception>

#include "engine/base/database_error.h"

namespace app {

FormixApplication::FormixApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool FormixApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const tdb::EDatabaseError& e) {
    ReportError(QString::fromUtf8(e.what()));
  } catch (const std::exception& e) {
    ReportError(QString::fromUtf8(e.what()));
  } catch (...) {
    ReportError(QStringLiteral("Неизвестная ошибка"));
  }
  return false;
}

void FormixApplication::ReportError(const QString& text) {
  if (prompts_) {
    prompts_->ShowError(text);
  } else {
    std::fprintf(stderr, "formix: %s\n", text.toLocal8Bit().constData());
  }
}

}  // namespace app
