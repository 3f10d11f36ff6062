// Turning an exception into what the user is shown.
#include "ui/error_report.h"

#include <cstdio>

#include "engine/base/database_error.h"
#include "widgets/data_text.h"

namespace ui {

QString ErrorText(const std::exception& e) {
  if (dynamic_cast<const tdb::EDatabaseError*>(&e)) {
    return widgets::FromCp1251(e.what());
  }
  return QString::fromUtf8(e.what());
}

QString ErrorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const tdb::EAbort&) {
    return {};
  } catch (const std::exception& e) {
    return ErrorText(e);
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

}  // namespace ui
