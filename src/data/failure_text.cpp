// The Russian texts of the engine's failures.
#include "data/failure_text.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "engine/base/codepage.h"

namespace receipts {
namespace {

using namespace tdb;

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SameName(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// "Реестр квитанций «formix.tdb»" at the start of a sentence.
std::string Capitalised(const std::string& text) {
  // Every description begins with a Cyrillic lower-case letter of two bytes.
  static const struct {
    const char* lower;
    const char* upper;
  } kFirst[] = {{"р", "Р"}, {"с", "С"}, {"ф", "Ф"}};
  for (const auto& f : kFirst)
    if (text.compare(0, std::strlen(f.lower), f.lower) == 0) return f.upper + text.substr(std::strlen(f.lower));
  return text;
}

// The system's reason in Russian, for the errors a clerk can do something about.
std::string SystemReason(int error) {
  switch (error) {
    case 0: return "";
    case EIO: return "ошибка чтения или записи диска";
    case EACCES:
    case EPERM: return "нет прав доступа";
    case EROFS: return "диск защищён от записи";
    case ENOSPC:
    case EDQUOT: return "на диске нет места";
    case ENOENT: return "файл не найден";
    case EMFILE:
    case ENFILE: return "открыто слишком много файлов";
    case ENAMETOOLONG: return "слишком длинное имя файла";
    default: return "код ошибки системы " + std::to_string(error);
  }
}

std::string WithReason(const std::string& text, int error) {
  const std::string reason = SystemReason(error);
  return reason.empty() ? text + "." : text + ": " + reason + ".";
}

}  // namespace

std::string FileForClerk(const std::string& path) {
  const std::string name = BaseName(path);
  static const struct {
    const char* file;
    const char* holds;
  } kFiles[] = {
      {"formix.tdb", "реестр квитанций"},
      {"platel.tdb", "справочник плательщиков"},
      {"Poluchat.tdb", "справочник получателей"},
      {"sprkodBK.tdb", "справочник кодов бюджетной классификации"},
  };
  for (const auto& f : kFiles)
    if (SameName(name, f.file)) return std::string(f.holds) + " «" + name + "»";
  return "файл «" + name + "»";
}

FailureText DescribeFailure(const EDatabaseError& error, const FailureContext& context) {
  const TErrorParams& p = error.Params();
  if (!p.Server.empty()) return DescribeServerFailure(error, context);
  const std::string path = p.File.empty() ? context.file : p.File;
  const std::string file = path.empty() ? "файл данных" : FileForClerk(path);
  const std::string File = Capitalised(file);
  const std::string which = context.subject.empty() ? "" : " (" + context.subject + ")";
  FailureText t;
  switch (error.Kind()) {
    case ekDamaged:
      t.what = File + " повреждён: часть его данных не читается.";
      t.advice =
          "Нажмите «Восстановить…»: программа сохранит копию файла рядом с ним и оставит все записи, "
          "которые уцелели.";
      t.offer_repair = true;
      break;
    case ekNotDatabaseFile:
      t.what = File + " не является файлом данных программы.";
      t.advice = "Верните на его место настоящий файл, например из резервной копии.";
      break;
    case ekUnsupportedVersion:
      t.what = File + " записан более новой версией программы, эта версия его не читает.";
      t.advice = "Откройте его в той версии программы, которой он записан.";
      break;
    case ekTableMissing:
      t.what = "В файле «" + BaseName(path) + "» нет нужной таблицы «" + Cp1251ToUtf8(p.Table) +
               "»: файл подменён другим.";
      t.advice = "Верните на его место настоящий файл, например из резервной копии.";
      break;
    case ekCannotOpen:
      switch (p.Open) {
        case ofMissing:
          t.what = File + " не найден" + (context.folder.empty() ? "" : " в папке «" + context.folder + "»") + ".";
          t.advice = "Верните файл в папку с данными или запустите программу из той папки, где лежат её файлы.";
          break;
        case ofFolder:
          t.what = "Вместо файла «" + BaseName(path) + "» в папке с данными лежит папка с тем же именем.";
          t.advice = "Переименуйте или уберите эту папку и верните файл на место.";
          break;
        case ofNoPermission:
          t.what = "Нет прав на чтение: " + file + ".";
          t.advice = "Попросите администратора открыть вам доступ к этому файлу.";
          break;
        case ofInUse:
          t.what = File + " занят другой программой.";
          t.advice = "Закройте программу, которая его держит, и повторите.";
          break;
        default:
          t.what = WithReason("Не удалось открыть " + file, p.SystemError);
          t.advice = "Проверьте диск или сетевую папку и повторите.";
          break;
      }
      break;
    case ekReadOnly:
      t.what = File + " открыт только для чтения: изменения в нём невозможны.";
      t.advice = "Чтобы вносить изменения, разрешите запись в этот файл и перезапустите программу.";
      break;
    case ekDiskFull:
      t.what = "На диске не осталось места: изменение не сохранено (" + file + ").";
      t.advice = "Освободите место на диске и повторите.";
      break;
    case ekIoFailure:
      t.what = WithReason("Не удалось прочитать или записать " + file, p.SystemError);
      t.advice = "Проверьте диск или сетевую папку и повторите.";
      break;
    case ekLockTimeout:
      t.what = File + " долго занят другим пользователем.";
      t.advice = "Подождите немного и повторите.";
      break;
    case ekRecordChanged:
      t.what = "Другой пользователь только что изменил эту запись" + which + "; ваши изменения не сохранены.";
      t.advice = "Список обновлён: откройте запись снова и внесите изменения ещё раз.";
      break;
    case ekRecordDeleted:
      t.what = "Другой пользователь удалил эту запись" + which + "; изменение не сохранено.";
      t.advice = "Список обновлён.";
      break;
    case ekWrongPassword:
      t.what = "Неверный пароль к файлу «" + BaseName(path) + "».";
      t.advice = "Введите пароль ещё раз.";
      break;
    case ekOutOfRange:
      t.what = "Значение вне допустимых пределов; запись" + which + " не сохранена.";
      t.advice = "Исправьте значение и повторите.";
      break;
    case ekInvalidValue:
      t.what = "Введённое значение не подходит для этого поля; запись" + which + " не сохранена.";
      t.advice = "Исправьте значение и повторите.";
      break;
    case ekFileTooLarge:
      t.what = File + " достиг предельного размера (2 ГБ); изменение не сохранено.";
      t.advice = "Удалите помеченные записи или перенесите старые записи в другой файл.";
      break;
    case ekGeneral:
    default:
      t.what = "Внутренняя ошибка программы при работе с файлом: " + file + ".";
      t.advice = "Повторите действие; если ошибка повторяется, перезапустите программу.";
      break;
  }
  return t;
}

}  // namespace receipts
