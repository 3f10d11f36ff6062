// Repair of a damaged data file, asked for from a window.
#include "ui/file_repair.h"

#include <QDir>
#include <QFileInfo>

#include "data/failure_text.h"
#include "engine/base/database_error.h"
#include "engine/database/session.h"
#include "ui/error_report.h"

namespace ui {
namespace {

QString FileName(const std::string& path) { return QFileInfo(QString::fromLocal8Bit(path)).fileName(); }

QString Capitalised(QString text) {
  if (!text.isEmpty()) text[0] = text[0].toUpper();
  return text;
}

}  // namespace

bool IsRepairableDamageOf(const std::exception_ptr& error, const std::string& file) {
  try {
    std::rethrow_exception(error);
  } catch (const tdb::EDatabaseError& e) {
    const std::string& named = e.Params().File;
    return receipts::DescribeFailure(e).offer_repair &&
           (named.empty() || FileName(named).compare(FileName(file), Qt::CaseInsensitive) == 0);
  } catch (...) {
    return false;
  }
}

std::optional<tdb::TRepairResult> RepairDataFile(const std::string& file, UiPrompts& prompts) {
  try {
    try {
      return tdb::RepairDatabaseFile(file, nullptr);
    } catch (const tdb::EDatabaseError& e) {
      if (e.Kind() != tdb::ekWrongPassword) throw;
    }
    // An encrypted file: its password, asked as the table's open asks it.
    std::string password;
    if (!tdb::Session().Login(file, password)) return std::nullopt;
    return tdb::RepairDatabaseFile(file, &password);
  } catch (...) {
    ReportError(std::current_exception(), &prompts);
    return std::nullopt;
  }
}

QString RepairReport(const tdb::TRepairResult& result, const std::string& file, const std::string& table,
                     const QString& records, int count) {
  const QString which = QString::fromStdString(receipts::FileForClerk(file));
  if (!result.Repaired)
    return QStringLiteral("Повреждений не найдено: %1 не изменён. В нём %2: %3.").arg(which, records).arg(count);
  int kept = count;
  int dropped = 0;
  for (const tdb::TTableRepairResult& t : result.Tables) {
    if (QString::fromLatin1(t.Table.c_str()).compare(QString::fromLatin1(table.c_str()), Qt::CaseInsensitive) != 0)
      continue;
    kept = t.Kept;
    dropped = static_cast<int>(t.Dropped.size());
  }
  QString text = QStringLiteral("%1 восстановлен. Сохранено %2: %3.").arg(Capitalised(which), records).arg(kept);
  if (dropped > 0) text += QStringLiteral(" Не удалось прочитать и пришлось убрать: %1.").arg(dropped);
  text += QStringLiteral("\n\nКопия файла до восстановления сохранена как «%1».")
              .arg(QDir::toNativeSeparators(QFileInfo(QString::fromLocal8Bit(result.Backup)).absoluteFilePath()));
  return text;
}

}  // namespace ui
