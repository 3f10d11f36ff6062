// The Russian texts of a database server's failures: the same kinds as a
// file's, told as what happened on the server and what the clerk (or the
// server's administrator) can do.  No file is named: the data is not in one.
#include <cctype>
#include <cstring>

#include "data/failure_text.h"
#include "data/receipt_tables.h"
#include "engine/base/codepage.h"

namespace receipts {
namespace {

using namespace tdb;

bool SameName(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// What a table on the server holds, "" for a table the program does not know.
std::string TableForClerk(const std::string& table) {
  static const struct {
    const char* table;
    const char* holds;
  } kTables[] = {
      {receipt_table::kTable, "реестр квитанций"},
      {payer_table::kTable, "справочник плательщиков"},
      {recipient_table::kTable, "справочник получателей"},
      {code_table::kTable, "справочник кодов бюджетной классификации"},
  };
  for (const auto& t : kTables)
    if (SameName(table, t.table)) return t.holds;
  return {};
}

}  // namespace

FailureText DescribeServerFailure(const EDatabaseError& error, const FailureContext& context) {
  const TErrorParams& p = error.Params();
  const std::string which = context.subject.empty() ? "" : " (" + context.subject + ")";
  const std::string holds = TableForClerk(p.Table);
  FailureText t;
  switch (error.Kind()) {
    case ekCannotOpen:
      t.what = "Не удалось подключиться к серверу базы данных «" + p.Server + "»: он не отвечает.";
      t.advice =
          "Проверьте, что компьютер подключён к сети, и повторите через минуту. Если не помогает, сообщите "
          "администратору сервера: сервер может быть выключен, или в настройках программы (formix.ini, "
          "раздел [Data], ключ Server) указан не тот адрес.";
      break;
    case ekWrongPassword:
      t.what = "Сервер базы данных «" + p.Server + "» не принял имя пользователя или пароль.";
      t.advice = "Запустите программу снова и введите пароль ещё раз; если пароль забыт, обратитесь к "
                 "администратору сервера.";
      break;
    case ekIoFailure:
      t.what = "Связь с сервером базы данных «" + p.Server + "» прервалась: последнее действие" + which +
               " не выполнено, на сервере оно не сохранено ни частично, ни целиком.";
      t.advice = "Проверьте подключение к сети и повторите действие: программа подключится к серверу заново.";
      break;
    case ekReadOnly:
      t.what = "Вам разрешено только просматривать " + (holds.empty() ? std::string("данные") : holds) +
               " на сервере «" + p.Server + "»: изменение" + which + " не сохранено.";
      t.advice = "Чтобы вносить изменения, попросите администратора сервера дать вам право записи.";
      break;
    case ekLockTimeout:
      t.what = "Эту запись" + which + " сейчас изменяет другой пользователь; ваше изменение не сохранено.";
      t.advice = "Подождите немного и повторите.";
      break;
    case ekDiskFull:
      t.what = "На сервере базы данных «" + p.Server + "» не осталось места: изменение" + which + " не сохранено.";
      t.advice = "Сообщите администратору сервера.";
      break;
    case ekTableMissing:
      t.what = "На сервере базы данных «" + p.Server + "» нет " +
               (holds.empty() ? std::string("нужной программе таблицы") : "таблицы, где хранится " + holds) +
               ": база данных не подготовлена для программы.";
      t.advice = "Сообщите администратору сервера: таблицы программы создаёт команда «tdb server-create».";
      break;
    case ekRecordChanged:
    case ekRecordDeleted:
    case ekOutOfRange:
    case ekInvalidValue: {
      // Told as for a file: these texts name the record, not where it is kept.
      TErrorParams params = p;
      params.Server.clear();
      return DescribeFailure(EDatabaseError(error.Kind(), error.what(), params), context);
    }
    case ekGeneral:
    default:
      t.what = "Сервер базы данных «" + p.Server + "» отказался выполнить действие" + which +
               ": на сервере ничего не изменено.";
      t.advice = "Повторите действие; если отказ повторяется, сообщите администратору сервера, что вы делали "
                 "и когда.";
      break;
  }
  return t;
}

}  // namespace receipts
