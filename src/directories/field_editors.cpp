// Makes and binds the dialogs' data-aware editors.
#include "directories/field_editors.h"

#include <QLineEdit>

namespace directories {

QWidget* MakeFieldEditor(FieldEditorKind kind, const char* field, const QString& label, QWidget* parent) {
  // Stand-in until the widget layer's data-aware editors are in.
  auto* editor = new QLineEdit(parent);
  editor->setReadOnly(kind == FieldEditorKind::ReadOnly);
  editor->setObjectName(QString::fromLatin1(field));
  editor->setAccessibleName(label);
  return editor;
}

void BindFieldEditor(QWidget*, tdb::TDataSource*) {}

}  // namespace directories
