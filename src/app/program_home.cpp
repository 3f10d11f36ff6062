// The program's home from its settings.
#include "app/program_home.h"

#include <cstdio>

#include "app/database_login.h"
#include "app/settings_file.h"
#include "engine/base/codepage.h"
#include "home/data_location.h"
#include "server/server_connection.h"

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
    // Told in the settings' terms; libpq's own account goes to stderr only.
    std::fprintf(stderr, "formix: %s\n", e.what());
    bool password = false;
    try {
      password = server::HoldsPassword(location.server);
    } catch (const tdb::EDatabaseError&) {
    }
    const QString where = QStringLiteral("В файле настроек %1 (раздел [Data], ключ Server) ").arg(settingsPath);
    const QString what =
        password ? where + QStringLiteral("в строке подключения к серверу базы данных записан пароль. Программа "
                                          "такую строку не принимает: пароль в настройках может прочитать "
                                          "каждый, кто открывает этот файл.")
                 : where + QStringLiteral("строка подключения к серверу базы данных записана неверно.");
    const QString advice =
        password ? QStringLiteral("Уберите пароль из строки: программа спросит его при входе или возьмёт из файла "
                                  "паролей сервера.")
                 : QStringLiteral("Укажите строку подключения вида «host=сервер dbname=formix user=пользователь» или "
                                  "удалите ключ, чтобы работать с папкой данных.");
    prompts.ShowError(what + QStringLiteral("\n\n") + advice);
    return nullptr;
  }
}

}  // namespace app
