// The program's home from its settings.
#include "app/program_home.h"

#include "app/database_login.h"
#include "app/settings_file.h"
#include "engine/base/codepage.h"
#include "home/data_location.h"

namespace app {

std::shared_ptr<const receipts::DataHome> ProgramHome(const QString& settingsPath, ui::UiPrompts& prompts) {
  home::DataLocation location;
  location.server = ReadServerConnection(settingsPath).toStdString();
  auto ask = [&prompts](const std::string& server, bool refused) -> std::optional<std::string> {
    if (refused)
      prompts.ShowError(QStringLiteral("Сервер %1 не принял пароль. Введите пароль ещё раз.").arg(QString::fromStdString(server)));
    std::string password;
    if (!AskDatabasePassword(prompts, server, password)) return std::nullopt;
    return tdb::Cp1251ToUtf8(password);
  };
  try {
    return home::OpenHome(location, ask);
  } catch (const tdb::EDatabaseError& e) {
    prompts.ShowError(QStringLiteral("В файле настроек %1 неверно указан сервер базы данных (раздел [Data], "
                                     "ключ Server): %2.\n\nУкажите строку подключения вида "
                                     "«host=сервер dbname=formix user=пользователь» без пароля или удалите ключ, "
                                     "чтобы работать с папкой данных.")
                          .arg(settingsPath, QString::fromUtf8(e.what())));
    return nullptr;
  }
}

}  // namespace app
