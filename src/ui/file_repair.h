// Repair of a damaged data file from the window that found the damage.
//
// The window that holds the file offers "Восстановить…" (UiPrompts::
// OfferRepair with RepairOfferText); when the clerk accepts, it lets go of
// the file (the repair needs it to itself), calls RepairDataFile, opens the
// table again and shows RepairReport: how many records were kept and where
// the copy of the damaged file lies.  User-interface thread only.
#pragma once

#include <QString>
#include <exception>
#include <optional>
#include <string>

#include "engine/repair/file_repair.h"
#include "ui/ui_prompts.h"

namespace ui {

// Whether `error` is the damage of `file` (compared by name, without the
// folder) that the program offers to repair.  An error that names no file is
// taken as the file's own.
bool IsRepairableDamageOf(const std::exception_ptr& error, const std::string& file);

// Repairs `file` as `tdb repair` does (a copy of the original is kept
// beside it).  An encrypted file's password is asked through the session's
// login; a cancelled login gives up quietly.  Every dataset on the file must
// be closed.  A failure is reported through `prompts` and answers nullopt;
// the file is then as it was.
std::optional<tdb::TRepairResult> RepairDataFile(const std::string& file, UiPrompts& prompts);

// What the clerk is told after a repair of `file`: "Справочник плательщиков
// «platel.tdb» восстановлен. Сохранено записей: 12." with the records that
// had to go and the copy's full path, or that nothing was damaged.
// `records` names what the table holds in the genitive plural
// ("квитанций", "записей"); `count` is the table's record count now, for a
// file found sound.
QString RepairReport(const tdb::TRepairResult& result, const std::string& file, const std::string& table,
                     const QString& records, int count);

}  // namespace ui
