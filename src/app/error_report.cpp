// Turning an exception into what the user is shown.
#include "app/error_report.h"

#include <cstdio>

#include "engine/base/database_error.h"

namespace app {

QString ErrorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const tdb::EAbort&) {
    return {};
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QStringLiteral("Неизвестная ошибка");
  }
}

void ReportError(const std::exception_ptr& error, UiPrompts* prompts) {
  const QString text = ErrorText(error);
  if (text.isEmpty()) return;
  if (prompts) {
    prompts->ShowError(text);
  } else {
    std::fprintf(stderr, "formix: %s\n", text.toLocal8Bit().constData());
  }
}

}  // namespace app
