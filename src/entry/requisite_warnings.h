// The requisite checks attached to the editors of the windows that take
// requisites: the payer and recipient edit dialogs of the directories and the
// tax receipt dialog.  Editors are found by object name (the payer dialog's
// "InnPlat"; the recipient dialog's "InnPoluch", "KppPoluch", "schetpoluch",
// "Bik", "korSchet"; the tax dialog's "kodklass", "OKATO", "ComboBox1"
// (status), "ComboBox3" (period), "indexDoc"); a name the window lacks is
// skipped.  The warnings belong to their editors.  On "Ok" the window passes
// what these return to widgets::ConfirmDespiteWarnings with its prompts'
// AskYesNo.  User-interface thread only.
#pragma once

#include <functional>
#include <vector>

#include "widgets/field_warning.h"

class QWidget;

namespace entry {

// The payer's INN: 12 digits or "0".
std::vector<widgets::FieldWarning*> WarnPayerRequisites(QWidget* dialog);

// INN, KPP, BIK, and the account and the correspondent account against the
// BIK (rechecked as the BIK changes).
std::vector<widgets::FieldWarning*> WarnRecipientRequisites(QWidget* dialog);

// The code, OKTMO ("0" only with the single tax payment's code, rechecked as
// the code changes), status (against the codes in force on the receipt's
// date, YYYYMMDD from `receiptDate`, 0 for today), period and document index.
std::vector<widgets::FieldWarning*> WarnTaxRequisites(QWidget* dialog, std::function<int()> receiptDate);

}  // namespace entry
