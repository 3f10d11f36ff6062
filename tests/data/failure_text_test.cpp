// The clerk's texts of the engine's failures: chosen by kind, naming the file
// by what it holds, saying what to do, never the engine's English.
#include "data/failure_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

namespace receipts {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using tdb::EDatabaseError;
using tdb::TErrorParams;

EDatabaseError Failure(tdb::TErrorKind kind, TErrorParams params = {}) {
  return EDatabaseError(kind, "English text that must not show", std::move(params));
}

TErrorParams Opening(tdb::TOpenFailure why, int system_error = 0) {
  TErrorParams p = tdb::FileParams("/data/formix.tdb");
  p.Open = why;
  p.SystemError = system_error;
  return p;
}

TEST(FailureTextTest, EveryKindIsToldInRussianWithWhatToDo) {
  const FailureContext receipt{"formix.tdb", "квитанция № 12", "/data"};
  struct Case {
    EDatabaseError error;
    FailureContext context;
    const char* what;  // a part of what happened
    bool repair;
  } cases[] = {
      {Failure(tdb::ekDamaged, tdb::FileParams("/data/formix.tdb")), {}, "Реестр квитанций «formix.tdb» повреждён", true},
      {Failure(tdb::ekDamaged), {"platel.tdb", "", ""}, "Справочник плательщиков «platel.tdb» повреждён", true},
      {Failure(tdb::ekNotDatabaseFile, tdb::FileParams("Poluchat.tdb")), {}, "не является файлом данных", false},
      {Failure(tdb::ekUnsupportedVersion, tdb::FileParams("formix.tdb")), {}, "более новой версией", false},
      {Failure(tdb::ekTableMissing, tdb::TableParams("formix.tdb", "formix")), {}, "нет нужной таблицы «formix»",
       false},
      {Failure(tdb::ekCannotOpen, Opening(tdb::ofMissing)), receipt, "не найден в папке «/data»", false},
      {Failure(tdb::ekCannotOpen, Opening(tdb::ofFolder)), {}, "лежит папка с тем же именем", false},
      {Failure(tdb::ekCannotOpen, Opening(tdb::ofNoPermission)), {}, "Нет прав на чтение", false},
      {Failure(tdb::ekCannotOpen, Opening(tdb::ofInUse)), {}, "занят другой программой", false},
      {Failure(tdb::ekCannotOpen, Opening(tdb::ofOther, EIO)), {}, "ошибка чтения или записи диска", false},
      {Failure(tdb::ekReadOnly, tdb::FileParams("formix.tdb")), {}, "только для чтения", false},
      {Failure(tdb::ekDiskFull, tdb::FileParams("formix.tdb")), {}, "не осталось места", false},
      {Failure(tdb::ekLockTimeout, tdb::FileParams("formix.tdb")), {}, "занят другим пользователем", false},
      {Failure(tdb::ekRecordChanged), receipt, "изменил эту запись (квитанция № 12)", false},
      {Failure(tdb::ekRecordDeleted, tdb::TableParams("formix.tdb", "formix", 3)), receipt,
       "удалил эту запись (квитанция № 12)", false},
      {Failure(tdb::ekWrongPassword, tdb::FileParams("formix.tdb")), {}, "Неверный пароль", false},
      {Failure(tdb::ekOutOfRange), {}, "вне допустимых пределов", false},
      {Failure(tdb::ekInvalidValue), {}, "не подходит для этого поля", false},
      {Failure(tdb::ekFileTooLarge, tdb::FileParams("formix.tdb")), {}, "предельного размера", false},
      {Failure(tdb::ekGeneral), {"sprkodBK.tdb", "", ""}, "справочник кодов бюджетной классификации", false},
  };
  for (const Case& c : cases) {
    const FailureText t = DescribeFailure(c.error, c.context);
    EXPECT_THAT(t.what, HasSubstr(c.what)) << c.what;
    EXPECT_FALSE(t.advice.empty()) << c.what;
    EXPECT_EQ(t.offer_repair, c.repair) << c.what;
    EXPECT_THAT(t.Message(), Not(HasSubstr("English"))) << c.what;
    EXPECT_THAT(t.Message(), Not(HasSubstr("/data/formix.tdb"))) << "the folder is not part of a file's name";
  }
}

// A database server's failures never speak of a file, whatever their kind:
// they name the server where the clerk needs it, and offer no repair.
TEST(FailureTextTest, AServersFailuresSpeakOfTheServerNotOfAFile) {
  const FailureContext receipt{"formix.tdb", "квитанция № 12", ""};
  const struct {
    tdb::TErrorKind kind;
    const char* what;  // a part of what happened; the server's name where it matters
  } cases[] = {
      {tdb::ekCannotOpen, "Не удалось подключиться к серверу базы данных «db.office/formix (ivanova)»"},
      {tdb::ekWrongPassword, "«db.office/formix (ivanova)» не принял имя пользователя или пароль"},
      {tdb::ekIoFailure, "Связь с сервером базы данных «db.office/formix (ivanova)» прервалась"},
      {tdb::ekReadOnly, "Вам разрешено только просматривать реестр квитанций на сервере"},
      {tdb::ekLockTimeout, "сейчас изменяет другой пользователь"},
      {tdb::ekDiskFull, "На сервере базы данных «db.office/formix (ivanova)» не осталось места"},
      {tdb::ekTableMissing, "нет таблицы, где хранится реестр квитанций"},
      {tdb::ekRecordChanged, "изменил эту запись (квитанция № 12)"},
      {tdb::ekRecordDeleted, "удалил эту запись (квитанция № 12)"},
      {tdb::ekOutOfRange, "вне допустимых пределов"},
      {tdb::ekInvalidValue, "не подходит для этого поля"},
      {tdb::ekGeneral, "отказался выполнить действие (квитанция № 12): на сервере ничего не изменено"},
      {tdb::ekDamaged, "отказался выполнить действие"},
      {tdb::ekFileTooLarge, "отказался выполнить действие"},
  };
  for (const auto& c : cases) {
    TErrorParams params = tdb::TableParams("", "formix");
    params.Server = "db.office/formix (ivanova)";
    params.Open = tdb::ofMissing;  // a file's reason, never taken for the server's
    const FailureText t = DescribeFailure(Failure(c.kind, params), receipt);
    EXPECT_THAT(t.what, HasSubstr(c.what)) << c.what;
    EXPECT_FALSE(t.advice.empty()) << c.what;
    EXPECT_FALSE(t.offer_repair) << c.what;
    EXPECT_THAT(t.Message(), Not(HasSubstr("English"))) << c.what;
    EXPECT_THAT(t.Message(), Not(HasSubstr("файл"))) << t.Message();
    EXPECT_THAT(t.Message(), Not(HasSubstr("Файл"))) << t.Message();
  }
}

TEST(FailureTextTest, FilesAreCalledByWhatTheyHoldWhateverTheLetterCase) {
  EXPECT_EQ(FileForClerk("/home/clerk/data/FORMIX.TDB"), "реестр квитанций «FORMIX.TDB»");
  EXPECT_EQ(FileForClerk("poluchat.tdb"), "справочник получателей «poluchat.tdb»");
  EXPECT_EQ(FileForClerk("other.tdb"), "файл «other.tdb»");
}

}  // namespace
}  // namespace receipts
