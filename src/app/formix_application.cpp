// The general error handler around the program's event dispatch.
#include "app/formix_application.h"

#include <cstdio>
#include <exception>

#include "engine/base/codepage.h"
#include "engine/base/database_error.h"

namespace app {

QString ErrorText(const std::exception& e) {
  if (dynamic_cast<const tdb::EDatabaseError*>(&e)) {
    const std::u16string text = tdb::Cp1251ToUtf16(e.what());
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
  }
  return QString::fromUtf8(e.what());
}

FormixApplication::FormixApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool FormixApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const tdb::EAbort&) {
    // The silent abort: the command ends and nothing is shown.
  } catch (const std::exception& e) {
    ReportError(ErrorText(e));
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
