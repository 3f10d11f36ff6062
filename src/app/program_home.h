// Where this run of the program keeps its data: read from the settings file
// before any window exists and made the program's home (data/data_home.h).
#pragma once

#include <QString>
#include <memory>

#include "data/data_home.h"
#include "ui/ui_prompts.h"

namespace app {

// The home that the settings file at `settingsPath` names: the data folder
// when it names no server, else the server, whose password (when libpq's
// files do not give it) is asked in the "Вход в базу данных" dialog with the
// server in place of the file name.  A connection string the program cannot
// use is told through `prompts` and answers null: the program does not start
// on a home other than the one configured.
std::shared_ptr<const receipts::DataHome> ProgramHome(const QString& settingsPath, ui::UiPrompts& prompts);

}  // namespace app
