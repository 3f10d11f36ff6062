// Turning an exception into what the user is shown.
#include "ui/error_report.h"

#include <cstdio>

#include "data/failure_text.h"
#include "engine/base/database_error.h"

namespace ui {

QString ErrorText(const std::exception& e) {
  // The engine's own text is English and names internals: the clerk reads
  // what its kind means instead.
  if (const auto* failure = dynamic_cast<const tdb::EDatabaseError*>(&e)) {
    receipts::FailureText text = receipts::DescribeFailure(*failure);
    if (text.offer_repair)
      text.advice =
          "Закройте окно и сообщите о повреждении тому, кто обслуживает программу: файл можно восстановить "
          "(команда «tdb repair»), копия прежнего файла сохранится рядом с ним.";
    return QString::fromStdString(text.Message());
  }
  return QString::fromUtf8(e.what());
}

QString RepairOfferText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const tdb::EDatabaseError& e) {
    return QString::fromStdString(receipts::DescribeFailure(e).Message());
  } catch (...) {
    return ErrorText(error);
  }
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
  // The engine's English text, for whoever looks after the program.
  try {
    std::rethrow_exception(error);
  } catch (const tdb::EDatabaseError& e) {
    std::fprintf(stderr, "formix: %s\n", e.what());
  } catch (...) {
  }
  if (prompts) {
    prompts->ShowError(text);
  } else {
    std::fprintf(stderr, "formix: %s\n", text.toLocal8Bit().constData());
  }
}

}  // namespace ui
