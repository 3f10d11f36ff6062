// The requisite checks attached to the editors of the windows that take
// requisites: the directories' edit dialogs and the tax receipt dialog.
//
// Editors are found by object name, which is their field's name: the payer's
// "InnPlat"; the recipient's "InnPoluch", "KppPoluch", "schetpoluch", "Bik",
// "korSchet"; the code directory's "kodBK"; the tax receipt's "kodklass",
// "okato", "status", "srok", "indexdoc".  Names a window lacks are skipped.
// The warnings belong to their editors.  On "Ok" the window passes what
// WarnRequisites returned to widgets::ConfirmDespiteWarnings with its
// prompts' AskYesNo.  User-interface thread only.
#pragma once

#include <functional>
#include <vector>

#include "widgets/field_warning.h"

class QWidget;

namespace ui {

// Attaches a warning to every requisite editor of `dialog`, in the order of
// the printed form.  The account and the correspondent account are judged
// against the BIK and rechecked as it changes; OKTMO "0" passes only with the
// single tax payment's code, rechecked as the code changes; the status is
// judged by the codes in force on the receipt's date, YYYYMMDD from
// `receiptDate` (0 or no function: today's rules).
std::vector<widgets::FieldWarning*> WarnRequisites(QWidget* dialog, std::function<int()> receiptDate = {});

}  // namespace ui
