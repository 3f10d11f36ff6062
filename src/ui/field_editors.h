// The data-aware editors of the receipt dialogs and the directories' edit
// dialogs, made and bound in one place.
//
// Every editor gets its field's name as its object name (so that a check of
// the entered values can find it) and `label` as its accessible name.  An
// editor bound to a data source shows its field of the current record and
// writes what is typed into it before the record is posted.
// User-interface thread only.
#pragma once

#include <QString>
#include <QWidget>

namespace tdb {
class TDataSource;
}

namespace ui {

enum class FieldEditorKind {
  Number,    // numeric editor with a calculator drop-down
  Date,      // date editor with a calendar drop-down
  Text,      // text editor
  ReadOnly,  // read-only text, filled by a directory pick
};

QWidget* MakeFieldEditor(FieldEditorKind kind, const char* field, const QString& label, QWidget* parent);

// A label's text as one line without its closing colon, for the accessible
// name of the editor it stands beside ("Назначение\nплатежа:" gives
// "Назначение платежа").
QString OneLine(const QString& label);

// Binds `editor` (made by MakeFieldEditor) to `source` and its field; null
// unbinds.
void BindFieldEditor(QWidget* editor, tdb::TDataSource* source);

}  // namespace ui
